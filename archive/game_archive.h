#pragma once
// The game archives console games of this family keep their files in: a table of
// 32-byte entries (offset and size in 2048-byte sectors, a 24-byte name) and the
// data. Version 2 is one ".img" file that starts with "VER2" and a 32-bit entry
// count; version 1 is a ".dir" file holding the table beside an ".img" of the
// same name holding the data.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_source.h"

namespace kelmora {

inline constexpr std::uint64_t kSectorBytes = 2048;
inline constexpr std::size_t kArchiveEntryBytes = 32;
inline constexpr std::size_t kArchiveNameBytes = 24;
// Damaged rows named in full before the rest are only counted.
inline constexpr std::size_t kArchiveProblemsInFull = 8;

enum class ArchiveKind { Version1, Version2 };

struct ArchiveEntry {
    std::size_t Number = 0; // in the table, from 1
    std::string Name;       // as stored: up to the first NUL, at most 24 bytes
    std::uint64_t Offset = 0, Size = 0; // in bytes
};

// What is wrong with a table, as facts for the front ends to word.
enum class ArchiveProblemKind {
    EndsInHeader,  // the file ends inside its header
    ClaimsMore,    // Count: entries the header claims; Limit: those the file holds
    TrailingBytes, // Count: bytes after the last whole row
    Empty,         // Entry has no sectors; skipped
    StartsPastEnd, // Entry starts past the end; Limit: the archive's bytes; skipped
    EndsPastEnd,   // Entry ends past the end; read as far as it goes
    Overlaps,      // Entry shares bytes with Other; skipped
    More,          // Count: further damaged entries, not listed
};
struct ArchiveProblem {
    ArchiveProblemKind Kind = ArchiveProblemKind::Empty;
    ArchiveEntry Entry{}, Other{}; // Number and Name name them
    std::uint64_t Count = 0, Limit = 0;
};

struct GameArchive {
    ArchiveKind Kind = ArchiveKind::Version2;
    std::string DataFile;      // the file holding the data
    std::string TableFile;     // the file holding the table (the same for version 2)
    std::uint64_t DataSize = 0;
    std::vector<ArchiveEntry> Entries; // the readable ones, in table order
    // One for each entry that cannot be read or is cut short, up to
    // kArchiveProblemsInFull; then one (More) that counts the rest.
    std::vector<ArchiveProblem> Problems;

    // The entries that are texture dictionaries (named "*.txd", any case).
    std::vector<const ArchiveEntry*> Dictionaries() const;
    // Where an entry's bytes are, for opening them again.
    SourceLocation Location(const ArchiveEntry& entry) const;
};

// The tables alone, for callers that hold the bytes (the fuzzer, the tests).
// Never throws for what the bytes say.
GameArchive ReadVersion2Table(const ByteSource& img);
GameArchive ReadVersion1Table(const ByteSource& dir, std::uint64_t dataSize);

// Whether path names a game archive: a file that starts with "VER2", a ".dir"
// file, or an ".img" file with a ".dir" beside it.
bool IsGameArchive(const std::string& path);
// Opens the archive path names (its ".img" or, for version 1, either file).
// An edit of it that a crash cut off is rolled back first (RecoverInterruptedEdit).
// Throws KelmoraError when a file cannot be opened, NoDataFile for a ".dir"
// without its ".img", and NotAnArchive otherwise.
GameArchive OpenGameArchive(const std::string& path);

// The archive's name for folders and titles: its file name without extension.
std::string ArchiveStem(const GameArchive& archive);
// Whether wanted names the entry of that name: the name itself, or without its
// ".txd", with ASCII letters of either case alike.
bool NamesEntry(const std::string& entryName, const std::string& wanted);

// An entry's name without its extension (the part before the last dot).
std::string EntryStem(const ArchiveEntry& entry);

} // namespace kelmora
