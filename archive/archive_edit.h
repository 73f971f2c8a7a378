#pragma once
// Writing into game archives in place, whole entries at a time. The cost follows
// the change: new bytes go to space no entry uses (or to the end), and only the
// table rows that change are written.
//
// An edit holds the archive's FileLock from its start to its end: a second
// writer is refused at once. Every byte it writes over (below the files' old
// ends) is first kept in a rollback journal, made durable with its folder before
// the first write; the edit's writes are flushed once at the end, and deleting
// the journal (the folder flushed again) is the moment the edit takes effect.
// After a crash or a power cut at any point, the next open finds the archive
// exactly as it was before the edit or exactly as after it. For a program that
// ignores the journal, the order of writes keeps every entry readable as its old
// or its new bytes after a kill:
//   1. new bytes (and the bytes of entries a growing table must move) are written
//      where no row points;
//   2. rows whose entry keeps its place in the table are rewritten in place, one
//      row per write (old row or new row, each naming whole bytes);
//   3. version 2: the rows past the old count, then a count that grows; the rows
//      that shift, each over a row whose entry is removed or can be read at
//      another row; a count that shrinks, last;
//   4. version 1: the ".img" is flushed, then the ".dir" is replaced whole
//      through AtomicOutput.
// Old bytes that a row names are never written over in the edit that frees them,
// but for a version 2 table that grows over a removed entry (kept in the journal).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/game_archive.h"
#include "base/errors.h"
#include "base/os_file.h"

namespace kelmora {

// Called before every write an archive edit or rebuild makes, with its number
// from 0: tests stop the edit there (by throwing) to see what a crash leaves.
using ArchiveWriteHook = std::function<void(std::size_t write)>;
void SetArchiveWriteHook(ArchiveWriteHook hook);

// A name a table row holds and gives back: 1 to 23 printable ASCII characters
// (the 24th byte is the NUL), no path separator, no blank at either end. Throws
// KelmoraError (EntryName...) saying which rule it breaks.
void CheckEntryName(const std::string& name);

// An archive whose table is damaged is not written into; Problem is the first
// thing wrong with it.
class ArchiveDamagedError : public KelmoraError {
public:
    ArchiveDamagedError(const std::string& path, ArchiveProblem problem)
        : KelmoraError(ErrorCode::ArchiveDamaged, {.File = path}), Problem(std::move(problem)) {}
    ArchiveProblem Problem;
};

enum class ArchiveChangeKind { Replaced, Added, Removed, Renamed };
struct ArchiveChange {
    ArchiveChangeKind Kind;
    std::string Name;    // as the table holds it (before a rename)
    std::string NewName; // renames
    std::uint64_t Bytes = 0;
};

class ArchiveEdit {
public:
    // Opens the archive path names (its ".img" or ".dir") and takes its lock.
    // Throws KelmoraError FileBusy when another writer holds it, ReadOnly for a
    // file that may not be written, and errors for a damaged table (writing there
    // could destroy an entry's bytes; a rebuild copies what is readable) and for
    // files that cannot be written.
    explicit ArchiveEdit(const std::string& path);

    const GameArchive& Archive() const { return archive_; }
    // Whether an entry of that name (any case) is in the table as it will be.
    bool Has(const std::string& name) const;
    // The bytes of the entry of that name as the archive holds them now.
    std::vector<std::uint8_t> Read(const std::string& name) const;
    // The entry of that name (any case) takes bytes, or a new one after the last;
    // bytes the entry holds already (but for its padding) change nothing.
    void Put(const std::string& name, std::vector<std::uint8_t> bytes);
    // A new entry of that name at row index of the table as it will be (past the
    // last: after it). Refuses a name the table holds (any case).
    void Insert(const std::string& name, std::vector<std::uint8_t> bytes, std::size_t index);
    void Remove(const std::string& name);
    // The row of the entry of that name (any case) in the table as it will be.
    std::size_t RowOf(const std::string& name) const;
    void Rename(const std::string& from, const std::string& to);
    const std::vector<ArchiveChange>& Changes() const { return changes_; }
    // The edit was planned on a table read earlier, where the entry of that name
    // had these offset and size. Refuses with ChangedOnDisk when the table now
    // holds it elsewhere or not at all; other rows may have changed.
    void DependOn(const std::string& name, std::uint64_t offset, std::uint64_t size) const;
    // Writes the changes in the order above; nothing when there are none. Throws
    // KelmoraError ChangedOnDisk when the table changed since the edit read it
    // (nothing written), and "Stream write error: ..." when a write fails (every
    // byte put back).
    void Commit();

private:
    struct Row {
        std::string Name;
        std::uint64_t Offset = 0, Size = 0;
        std::size_t Id = 0; // the row's index on disk, or past them for new entries
        std::shared_ptr<const std::vector<std::uint8_t>> Data; // bytes to write
    };
    std::size_t Find(const std::string& name) const;
    void CheckSize(const std::string& name, std::uint64_t bytes) const;

    std::string path_;
    FileLock lock_;
    GameArchive archive_;
    std::vector<std::uint8_t> table_; // the table's bytes as the edit read them
    std::vector<Row> disk_, rows_;
    std::size_t nextId_ = 0;
    std::vector<ArchiveChange> changes_;
};

struct RebuildOutcome {
    std::uint64_t Before = 0, After = 0; // the data file's size
    std::size_t Entries = 0;             // entries copied
};
// Writes the archive compacted: the readable entries in table order, no free
// space, under the archive's lock. Version 2 is one file, replaced whole through
// AtomicOutput; version 1's data is compacted in place in steps that each leave
// every entry whole (its entries parked past the end first), with the ".dir"
// replaced at each step, and the whole of it journaled first: a crash leaves it
// as it was or compacted.
// progress is told the steps done and their count as it copies (each entry once,
// version 1's twice).
using RebuildProgress = std::function<void(std::size_t done, std::size_t steps)>;
RebuildOutcome RebuildArchive(const std::string& path, const RebuildProgress& progress = {});

// The table's bytes as they are on disk now: version 2's header and rows, version
// 1's ".dir". Two reads that differ mean the archive was changed between them.
std::vector<std::uint8_t> ArchiveTableBytes(const GameArchive& archive);

// The bytes of the data file that no entry and no table uses: what a rebuild recovers.
std::uint64_t FreeBytes(const GameArchive& archive);

} // namespace kelmora
