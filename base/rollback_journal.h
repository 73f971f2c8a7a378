#pragma once
// All or nothing for edits made in place. Before the first byte of a file is
// written over, the bytes about to change and the files' lengths are copied to a
// journal beside the first file, and the journal is made durable. The edit then
// writes; deleting the journal, durably, is the moment it takes effect. A journal
// found with no writer holding the first file's lock is hot: the edit it belongs
// to was cut off, and rolling it back puts every byte and length back.
//
// The journal, all numbers little-endian:
//   "KELMORA JOURNAL\n"  16 bytes
//   u32 version (1), u32 file count
//   per file: u32 name length, the name (the file's name alone: the files share
//             the journal's folder), u64 length before the edit
//   per kept range: u32 file index, u64 offset, u64 length, the bytes
//   u32 0xFFFFFFFF, u64 ranges, u64 FNV-1a of everything before the marker
// A journal that does not parse to its end and checksum was cut off while it was
// written, before any file was touched: it is deleted and nothing else happens.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/os_file.h"

namespace kelmora {

// The journal of an edit of file (the archive's data file, say).
std::string JournalPathFor(const std::string& file);

class RollbackJournal {
public:
    // files: every file the edit may change, all in one folder; the journal goes
    // beside the first. The caller holds the first file's FileLock throughout.
    explicit RollbackJournal(std::vector<std::string> files);
    RollbackJournal(const RollbackJournal&) = delete;
    RollbackJournal& operator=(const RollbackJournal&) = delete;
    // An edit left unfinished (a thrown error) is rolled back at once.
    ~RollbackJournal();

    // Keeps what file holds at offset .. offset + size now, where that lies
    // before its length at the start; bytes past it need no copy, since the
    // rollback cuts the file back. Only before Begin.
    void Keep(std::size_t file, std::uint64_t offset, std::uint64_t size);
    void KeepWhole(std::size_t file);
    // Writes the journal and syncs it and its folder: the files may be written
    // from here on. Throws KelmoraError StreamWrite or CannotCreate.
    void Begin();
    // Whether Begin wrote a journal that is not yet deleted (not skipped for a measurement).
    bool Active() const { return begun_ && !done_; }
    // The commit point: the journal is deleted and the folder synced.
    void Commit();
    // Puts back what Begin kept and deletes the journal.
    void RollBack();

private:
    struct Range {
        std::size_t File;
        std::uint64_t Offset, Size;
    };
    std::vector<std::string> files_;
    std::vector<std::uint64_t> lengths_;
    std::vector<Range> kept_;
    bool begun_ = false, done_ = false;
};

// Rolls back a hot journal beside file, if there is one and no writer holds the
// file's lock; the caller may hold that lock itself (holdsLock). Returns whether
// an interrupted edit was undone. Throws KelmoraError when the files cannot be
// put back (the journal stays for the next try).
bool RecoverInterruptedEdit(const std::string& file, bool holdsLock = false);

// For the benchmark that says what the journal costs, and for nothing else:
// edits then run without a journal, as they did before there was one.
void SetJournalSkippedForMeasurement(bool skipped);

// Who hears that an interrupted edit was undone, with the file's name as given:
// the command line prints it, the window shows it. Process-wide.
using RecoveryNotice = std::function<void(const std::string& file)>;
void SetRecoveryNotice(RecoveryNotice notice);

} // namespace kelmora
