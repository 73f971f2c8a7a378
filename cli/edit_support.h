#pragma once
// What kelmora-cli's edit commands share: where the dictionary is (a file or
// ARCHIVE::NAME), opening it for an edit, a picture put back and said, and the
// dictionary written whole once the edit is done.
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_edit.h"
#include "base/file_identity.h"
#include "cli/edit_commands.h"
#include "editing/dictionary_edit.h"
#include "editing/put_back.h"
#include "images/image_input.h"

namespace kelmora::cli {

std::string Label(const Dictionary& d, std::size_t i);

// Where the dictionary of an edit is: a file, or an entry of a game archive
// written ARCHIVE::NAME (the name with or without ".txd", any case).
struct Place {
    std::string File;  // the dictionary file, or the archive
    std::string Entry; // the entry's name as the table holds it; empty for a file
    bool InArchive() const { return !Entry.empty(); }
    // An edit written back where it was read holds the writer's lock from its
    // read to its write: the archive's edit, or the file's lock and stamp.
    std::shared_ptr<ArchiveEdit> Archive;
    std::shared_ptr<FileLock> Lock;
    FileStamp Stamp;
};
Place PlaceOf(const std::string& arg);
std::vector<std::uint8_t> ReadPlace(const Place& p);
// The dictionary to change, walked whole, or the command ends; an archive that
// will be written into is checked first.
DictionaryEdit OpenForEdit(const EditOptions& o, Place& place);
PutBackOptions PutOptionsOf(const EditOptions& o);
// A refusal said of the dictionary, the texture and the image (empty: none),
// each named once.
[[noreturn]] void Refuse(const KelmoraError& error, const std::string& dictionary, const std::string& texture,
                         const std::string& image);
// What a put-back did, said after the dictionary is written.
void Report(std::vector<std::string>& lines, const std::string& label, const std::string& image, const PutOutcome& r);
// The image of a texture, with the alpha of its grey companion where it has none
// of its own and the companion is there.
InputImage ImageWithCompanion(const std::string& image, const std::string& companion);
bool PutBack(DictionaryEdit& edit, const std::string& dictionary, std::size_t i, const std::string& image,
             const std::string& companion, const EditOptions& o, const std::vector<std::string>& mipFiles,
             std::vector<std::string>& lines);
// Writes the dictionary (to -o, into its archive, or over its file), then says
// what was done. replaced: the count of pictures put back, or -1 for an edit of
// the list itself.
void FinishEdit(const DictionaryEdit& edit, const EditOptions& o, const Place& place, long replaced,
                const std::vector<std::string>& lines);

} // namespace kelmora::cli
