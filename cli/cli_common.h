#pragma once
// What kelmora-cli's commands share: the exit statuses, its one error line,
// Ctrl+C, and the dictionaries an argument stands for (a file, a folder's
// dictionaries, an archive's, or one entry of an archive written ARCHIVE::NAME).
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "dictionary/dictionary.h"

namespace kelmora::cli {

// Exit statuses.
inline constexpr int kOk = 0, kFailed = 1, kUsage = 2;

// A dictionary text (Windows-1252) for the terminal.
std::string ForTerminal(const std::string& cp1252);
// One error line on standard error after the program's name; text is UTF-8 and
// may hold line breaks, which become blanks.
void Fail(const std::string& text);
std::string Lower(std::string s);
// "bmp|jpg|tga|png", from the table of formats.
std::string FormatNames();

// Set by Ctrl+C, read by the workers: a run stops after the file it is writing.
extern std::atomic<bool> Interrupted;
extern "C" void OnInterrupt(int);

// One dictionary to work on: a file of its own, or an entry of a game archive.
struct Target {
    std::string Label;          // for messages: the file, or "ARCHIVE:NAME"
    std::string File;           // the file the bytes are in
    std::string ArchiveName;    // the entry's name, for dictionaries inside an archive
    std::uint64_t Size = 0;     // the entry's size in the archive
    std::shared_ptr<const ByteSource> Shared; // the archive's data, opened once
    std::string Dest;           // extract: where its files go
    std::string Footer;         // list: a line said after an archive's dictionaries, and nothing else
    bool ByName = false;        // named as ARCHIVE::NAME: listed as a dictionary of its own
    bool InArchive() const { return !ArchiveName.empty(); }
};

// Calls visit for the dictionaries of an archive argument, its data file opened
// once for all of them. With report, what cannot be read of the archive is said;
// onlyDicts picks dictionaries by name, and a name that matches none is an error.
void ForEachArchiveTarget(const std::string& path, const std::vector<std::string>& onlyDicts, bool report,
                          bool& clean, const std::function<void(Target&&)>& visit,
                          const std::function<void()>& afterVisits = {});
Target FileTarget(const std::string& file);
// ARCHIVE::NAME: the entry of that name (with or without ".txd", any case).
Target EntryTarget(const std::string& arg);
// The dictionary of a target: the archive's shared bytes, or its file opened now.
Dictionary OpenTarget(const Target& t);
// The textures to list: those whose records are whole. The record a walk stopped
// at is named in its error line instead.
std::span<const TTexEntry> WholeEntries(const Dictionary& d);

// What an argument holds: a directory's dictionaries, an archive's, one entry of
// an archive (ARCHIVE::NAME), or itself.
enum class InputKind { Directory, Archive, ArchiveEntry, Dictionary };
InputKind KindOf(const std::string& arg);

// "texture 3 (name)" for messages about one texture.
std::string TextureLabel(const Dictionary& d, std::size_t entry);

} // namespace kelmora::cli
