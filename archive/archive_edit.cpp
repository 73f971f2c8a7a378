#include "archive/archive_edit.h"

#include <algorithm>
#include <array>
#include <memory>
#include <cstring>
#include <utility>

#include "base/atomic_output.h"
#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "base/rollback_journal.h"
#include "base/text.h"

namespace kelmora {

namespace {

ArchiveWriteHook& Hook() {
    static ArchiveWriteHook hook;
    return hook;
}

std::uint64_t Sectors(std::uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }
std::uint64_t RoundUp(std::uint64_t bytes) { return Sectors(bytes) * kSectorBytes; }

// The first byte after a version 2 table of n rows, at a sector's start.
std::uint64_t TableEnd(std::size_t rows) { return RoundUp(8 + kArchiveEntryBytes * rows); }

// The largest entry a version 2 row can hold: its size is 16 bits of sectors.
constexpr std::uint64_t kMaxVersion2Sectors = 0xFFFF;

void Put32(std::uint8_t* at, std::uint64_t v) {
    for (int k = 0; k < 4; ++k)
        at[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

// One table row as the game's tools write it: offset and size in sectors, then
// the name NUL-padded to 24 bytes. Version 2 has two 16-bit sizes, the streamed
// one first and the second 0, as real archives fill them.
std::array<std::uint8_t, kArchiveEntryBytes> EncodeRow(const std::string& name, std::uint64_t offset,
                                                       std::uint64_t size, bool version2) {
    std::array<std::uint8_t, kArchiveEntryBytes> row{};
    Put32(row.data(), offset / kSectorBytes);
    if (version2) {
        row[4] = static_cast<std::uint8_t>(Sectors(size));
        row[5] = static_cast<std::uint8_t>(Sectors(size) >> 8);
    } else {
        Put32(row.data() + 4, Sectors(size));
    }
    std::memcpy(row.data() + 8, name.data(), std::min(name.size(), kArchiveNameBytes));
    return row;
}

std::size_t& WriteCount() {
    static std::size_t count = 0;
    return count;
}

void BeforeWrite() {
    if (Hook())
        Hook()(WriteCount());
    ++WriteCount();
}

// Bytes and their zero padding to the next sector, as two writes at most.
void WritePadded(OsFile& file, std::uint64_t at, const std::vector<std::uint8_t>& bytes) {
    BeforeWrite();
    file.WriteAt(at, bytes.data(), bytes.size());
    const std::size_t pad = static_cast<std::size_t>(RoundUp(bytes.size()) - bytes.size());
    if (pad > 0) {
        const std::vector<std::uint8_t> zeros(pad, 0);
        BeforeWrite();
        file.WriteAt(at + bytes.size(), zeros.data(), pad);
    }
}

void WriteAt(OsFile& file, std::uint64_t at, const void* data, std::size_t n) {
    BeforeWrite();
    file.WriteAt(at, data, n);
}

std::vector<std::uint8_t> ReadEntry(const ByteSource& data, std::uint64_t offset, std::uint64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    data.ReadExactly(offset, bytes.data(), bytes.size());
    return bytes;
}

// The bytes of an open file at offset, all of them or a KelmoraError.
std::vector<std::uint8_t> ReadExactly(const OsFile& file, std::uint64_t offset, std::uint64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    const std::size_t got = file.ReadAt(offset, bytes.data(), bytes.size());
    if (got != bytes.size())
        throw KelmoraError(ErrorCode::ReadEndsEarly, {.File = file.Path(), .Number = offset + got, .Limit = offset + size});
    return bytes;
}

} // namespace

std::vector<std::uint8_t> ArchiveTableBytes(const GameArchive& a) {
    if (a.Kind == ArchiveKind::Version1)
        return ReadAllBytes(FileSource(a.TableFile));
    FileSource img(a.DataFile);
    std::uint8_t header[8] = {};
    img.ReadExactly(0, header, 8);
    const std::uint64_t rows = header[4] | header[5] << 8 | header[6] << 16 | static_cast<std::uint64_t>(header[7]) << 24;
    const std::uint64_t bytes = std::min(img.Size(), 8 + kArchiveEntryBytes * rows);
    std::vector<std::uint8_t> table(static_cast<std::size_t>(bytes));
    img.ReadExactly(0, table.data(), table.size());
    return table;
}

namespace {

// Takes the archive's lock and undoes what a crashed edit left; then the table is
// read as it stands under the lock. Files that may not be written are refused.
GameArchive OpenLocked(const std::string& path, FileLock& lock) {
    const GameArchive first = OpenGameArchive(path);
    if (!FileLock::TryTake(first.DataFile, lock))
        throw KelmoraError(ErrorCode::FileBusy, {.File = path});
    RecoverInterruptedEdit(first.DataFile, true);
    for (const std::string& f : {first.DataFile, first.TableFile})
        if (IsReadOnlyFile(f))
            throw KelmoraError(ErrorCode::ReadOnly, {.File = f});
    return OpenGameArchive(path);
}

} // namespace

void SetArchiveWriteHook(ArchiveWriteHook hook) {
    Hook() = std::move(hook);
    WriteCount() = 0;
}

void CheckEntryName(const std::string& name) {
    auto refuse = [&](ErrorCode code) { throw KelmoraError(code, {.Name = name, .Limit = kArchiveNameBytes - 1}); };
    if (name.empty())
        refuse(ErrorCode::EntryNameEmpty);
    if (name.size() >= kArchiveNameBytes)
        refuse(ErrorCode::EntryNameTooLong);
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126)
            refuse(ErrorCode::EntryNameNotAscii);
        if (c == '/' || c == '\\')
            refuse(ErrorCode::EntryNameSeparator);
    }
    if (name.front() == ' ' || name.back() == ' ')
        refuse(ErrorCode::EntryNameBlank);
}

ArchiveEdit::ArchiveEdit(const std::string& path) : path_(path), archive_(OpenLocked(path, lock_)) {
    if (!archive_.Problems.empty())
        throw ArchiveDamagedError(path, archive_.Problems.front());
    table_ = ArchiveTableBytes(archive_);
    // Files that cannot be written are refused before anything is asked of them.
    OsFile::OpenUpdate(archive_.DataFile);
    if (archive_.Kind == ArchiveKind::Version1)
        OsFile::OpenUpdate(archive_.TableFile);
    for (const ArchiveEntry& e : archive_.Entries)
        disk_.push_back({e.Name, e.Offset, e.Size, nextId_++, nullptr});
    rows_ = disk_;
}

std::size_t ArchiveEdit::Find(const std::string& name) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (SameNameIgnoringCase(rows_[i].Name, name))
            return i;
    return rows_.size();
}

bool ArchiveEdit::Has(const std::string& name) const { return Find(name) < rows_.size(); }

std::size_t ArchiveEdit::RowOf(const std::string& name) const {
    const std::size_t i = Find(name);
    if (i == rows_.size())
        throw KelmoraError(ErrorCode::NoSuchEntry, {.File = path_, .Name = name});
    return i;
}

void ArchiveEdit::DependOn(const std::string& name, std::uint64_t offset, std::uint64_t size) const {
    for (const Row& r : disk_)
        if (r.Name == name && r.Offset == offset && r.Size == size)
            return;
    throw KelmoraError(ErrorCode::ChangedOnDisk, {.File = path_});
}

void ArchiveEdit::CheckSize(const std::string& name, std::uint64_t bytes) const {
    if (bytes == 0)
        throw KelmoraError(ErrorCode::EntryEmpty, {.Name = name});
    if (archive_.Kind == ArchiveKind::Version2 && Sectors(bytes) > kMaxVersion2Sectors)
        throw KelmoraError(ErrorCode::EntryTooLarge,
                           {.Name = name, .Number = bytes, .Limit = kMaxVersion2Sectors * kSectorBytes});
}

std::vector<std::uint8_t> ArchiveEdit::Read(const std::string& name) const {
    for (const Row& r : disk_)
        if (SameNameIgnoringCase(r.Name, name))
            return ReadEntry(FileSource(archive_.DataFile), r.Offset, r.Size);
    throw KelmoraError(ErrorCode::NoSuchEntry, {.File = path_, .Name = name});
}

void ArchiveEdit::Put(const std::string& name, std::vector<std::uint8_t> bytes) {
    CheckEntryName(name);
    CheckSize(name, bytes.size());
    auto data = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    const std::size_t i = Find(name);
    if (i < rows_.size()) {
        // The same bytes again change nothing, and are not written.
        if (!rows_[i].Data && rows_[i].Id < disk_.size() && RoundUp(rows_[i].Size) == RoundUp(data->size())) {
            std::vector<std::uint8_t> now = ReadEntry(FileSource(archive_.DataFile), rows_[i].Offset, RoundUp(rows_[i].Size));
            std::vector<std::uint8_t> padded = *data;
            padded.resize(now.size(), 0);
            if (padded == now)
                return;
        }
        rows_[i].Data = data;
        changes_.push_back({ArchiveChangeKind::Replaced, rows_[i].Name, "", data->size()});
        return;
    }
    rows_.push_back({name, 0, data->size(), nextId_++, data});
    changes_.push_back({ArchiveChangeKind::Added, name, "", data->size()});
}

void ArchiveEdit::Insert(const std::string& name, std::vector<std::uint8_t> bytes, std::size_t index) {
    CheckEntryName(name);
    CheckSize(name, bytes.size());
    if (const std::size_t i = Find(name); i < rows_.size())
        throw KelmoraError(ErrorCode::EntryExists, {.File = path_, .Name = rows_[i].Name});
    auto data = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    index = std::min(index, rows_.size());
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(index), {name, 0, data->size(), nextId_++, data});
    changes_.push_back({ArchiveChangeKind::Added, name, "", data->size()});
}

void ArchiveEdit::Remove(const std::string& name) {
    const std::size_t i = Find(name);
    if (i == rows_.size())
        throw KelmoraError(ErrorCode::NoSuchEntry, {.File = path_, .Name = name});
    changes_.push_back({ArchiveChangeKind::Removed, rows_[i].Name, "", rows_[i].Size});
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(i));
}

void ArchiveEdit::Rename(const std::string& from, const std::string& to) {
    const std::size_t i = Find(from);
    if (i == rows_.size())
        throw KelmoraError(ErrorCode::NoSuchEntry, {.File = path_, .Name = from});
    CheckEntryName(to);
    const std::size_t other = Find(to);
    if (other != rows_.size() && other != i)
        throw KelmoraError(ErrorCode::EntryExists, {.File = path_, .Name = rows_[other].Name});
    changes_.push_back({ArchiveChangeKind::Renamed, rows_[i].Name, to, rows_[i].Size});
    rows_[i].Name = to;
}

void ArchiveEdit::Commit() {
    if (changes_.empty())
        return;
    const bool v2 = archive_.Kind == ArchiveKind::Version2;
    const std::string& dataPath = archive_.DataFile;
    // Another program may have written since the edit read the table.
    if (ArchiveTableBytes(archive_) != table_)
        throw KelmoraError(ErrorCode::ChangedOnDisk, {.File = path_});
    if (!v2)
        RemoveStaleTemporariesBeside(archive_.TableFile);

    // A growing version 2 table needs the sectors after it: entries there move.
    const std::uint64_t tableEnd = v2 ? TableEnd(std::max(rows_.size(), disk_.size())) : 0;
    {
        const FileSource source(dataPath);
        for (Row& r : rows_)
            if (!r.Data && r.Offset < tableEnd)
                r.Data = std::make_shared<const std::vector<std::uint8_t>>(ReadEntry(source, r.Offset, r.Size));
    }

    // Space in use: every range the table on disk names (old bytes stay until no
    // row names them), what stays where it is, and the table itself.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> used;
    for (const Row& r : disk_)
        used.emplace_back(r.Offset, r.Offset + RoundUp(r.Size));
    for (const Row& r : rows_)
        if (!r.Data)
            used.emplace_back(r.Offset, r.Offset + RoundUp(r.Size));
    if (v2)
        used.emplace_back(0, tableEnd);
    std::sort(used.begin(), used.end());
    // First fit from the table's end on; past everything when nothing fits.
    for (Row& r : rows_) {
        if (!r.Data)
            continue;
        const std::uint64_t need = RoundUp(r.Data->size());
        std::uint64_t at = tableEnd;
        for (const auto& [start, end] : used) {
            if (start >= at + need)
                break;
            at = std::max(at, end);
        }
        r.Offset = at;
        r.Size = r.Data->size();
        used.insert(std::upper_bound(used.begin(), used.end(), std::pair{at, at + need}), {at, at + need});
    }

    // What the edit writes over goes to the journal first: the rows and the count,
    // and the bytes where new ones go. The journal's file handles are closed
    // before the one that writes opens: Windows refuses a writer beside a reader.
    RollbackJournal journal(v2 ? std::vector<std::string>{dataPath}
                               : std::vector<std::string>{dataPath, archive_.TableFile});
    if (v2) {
        // The rows that steps 2 and 3 below write, and the count: no more, so that
        // a replace keeps one row, whatever the archive's size.
        if (rows_.size() != disk_.size())
            journal.Keep(0, 4, 4);
        std::vector<bool> rewritten(disk_.size(), false); // step 2: an entry's row changes in place
        for (const Row& r : rows_)
            if (r.Id < disk_.size() && (r.Data || r.Name != disk_[r.Id].Name))
                rewritten[r.Id] = true;
        for (std::size_t i = 0; i < std::max(rows_.size(), disk_.size()); ++i) {
            const bool shifted = i < rows_.size() && i < disk_.size() && rows_[i].Id != disk_[i].Id;
            if (i >= disk_.size() || shifted || rewritten[i])
                journal.Keep(0, 8 + kArchiveEntryBytes * i, kArchiveEntryBytes);
        }
    } else {
        journal.KeepWhole(1);
    }
    for (const Row& r : rows_)
        if (r.Data)
            journal.Keep(0, r.Offset, RoundUp(r.Data->size()));
    journal.Begin();
    OsFile data = OsFile::OpenUpdate(dataPath);

    // 1. The new bytes, written before any row names them.
    for (const Row& r : rows_)
        if (r.Data)
            WritePadded(data, r.Offset, *r.Data);
    // Version 2: with the journal kept, the steps need no flush between them, only
    // their order (for a kill); the journal answers for a power cut. One flush
    // at the end, before the journal goes.
    auto barrier = [&] {
        if (!journal.Active())
            data.Sync();
    };
    if (v2)
        barrier();
    else
        data.Sync();

    if (!v2) {
        // 4. The table whole, in place of the old one.
        std::vector<std::uint8_t> table;
        for (const Row& r : rows_) {
            const auto row = EncodeRow(r.Name, r.Offset, r.Size, false);
            table.insert(table.end(), row.begin(), row.end());
        }
        AtomicOutput out(archive_.TableFile);
        out.Write(table.data(), table.size());
        BeforeWrite();
        out.Commit(true);
        journal.Commit();
        return;
    }

    // 2. Rows whose entry keeps its place, in place.
    auto rowAt = [](std::size_t i) { return 8 + kArchiveEntryBytes * i; };
    std::vector<std::array<std::uint8_t, kArchiveEntryBytes>> onDisk;
    for (const Row& r : disk_)
        onDisk.push_back(EncodeRow(r.Name, r.Offset, r.Size, true));
    bool wrote = false;
    for (const Row& r : rows_) {
        if (r.Id >= disk_.size())
            continue;
        const auto row = EncodeRow(r.Name, r.Offset, r.Size, true);
        if (row != onDisk[r.Id]) {
            WriteAt(data, rowAt(r.Id), row.data(), row.size());
            onDisk[r.Id] = row;
            wrote = true;
        }
    }
    if (wrote)
        barrier();

    // 3. Rows that shift, or follow the last. Each write goes over a row whose
    // entry is removed or can be read at another row, so that a reader that knows
    // nothing of the journal finds every entry after a kill. Rows past the old
    // count are written first (unseen until the count grows), and a count that
    // grows is written before the rows shift into it; one that shrinks, last.
    const std::size_t n = rows_.size();
    std::vector<std::size_t> at(std::max(n, onDisk.size()));
    std::vector<bool> kept(nextId_, false);
    for (std::size_t i = 0; i < at.size(); ++i)
        at[i] = i < disk_.size() ? disk_[i].Id : nextId_; // nextId_: no entry yet
    std::vector<std::size_t> seen(nextId_ + 1, 0);
    for (std::size_t i = 0; i < disk_.size(); ++i)
        ++seen[at[i]];
    for (const Row& r : rows_)
        kept[r.Id] = true;
    auto write = [&](std::size_t i) {
        const auto row = EncodeRow(rows_[i].Name, rows_[i].Offset, rows_[i].Size, true);
        WriteAt(data, rowAt(i), row.data(), row.size());
        if (i < disk_.size()) // rows past the old count are seen once the count grows
            --seen[at[i]], ++seen[rows_[i].Id];
        at[i] = rows_[i].Id;
    };
    std::vector<std::size_t> pending;
    for (std::size_t i = 0; i < n; ++i) {
        const auto row = EncodeRow(rows_[i].Name, rows_[i].Offset, rows_[i].Size, true);
        if (i >= onDisk.size() || onDisk[i] != row)
            pending.push_back(i);
    }
    wrote = false;
    // Rows past the old count.
    for (auto it = pending.begin(); it != pending.end();)
        if (*it >= disk_.size()) {
            write(*it);
            it = pending.erase(it);
            wrote = true;
        } else {
            ++it;
        }
    if (n > disk_.size()) {
        barrier();
        for (std::size_t i = disk_.size(); i < n; ++i)
            ++seen[at[i]];
        std::uint8_t count[4];
        Put32(count, n);
        WriteAt(data, 4, count, 4);
        barrier();
        wrote = false;
    }
    // The rest, in passes down and up the table, each write safe in its turn;
    // a cycle (rows that trade places) is broken at its first row.
    for (bool down = true; !pending.empty(); down = !down) {
        bool progress = false;
        for (std::size_t k = 0; k < pending.size();) {
            const std::size_t idx = down ? pending.size() - 1 - k : k;
            const std::size_t i = pending[idx];
            const std::size_t there = at[i];
            if (there == nextId_ || !kept[there] || seen[there] > 1) {
                write(i);
                pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(idx));
                progress = wrote = true;
                continue; // the next row to look at has the same place in the count
            }
            ++k;
        }
        if (!progress) {
            write(pending.front());
            pending.erase(pending.begin());
            wrote = true;
        }
    }
    if (wrote)
        barrier();
    if (n < disk_.size()) {
        std::uint8_t count[4];
        Put32(count, n);
        WriteAt(data, 4, count, 4);
        barrier();
    }
    if (journal.Active())
        data.Sync();
    journal.Commit();
}

std::uint64_t FreeBytes(const GameArchive& a) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> used;
    for (const ArchiveEntry& e : a.Entries)
        used.emplace_back(e.Offset, std::min(a.DataSize, e.Offset + RoundUp(e.Size)));
    if (a.Kind == ArchiveKind::Version2)
        used.emplace_back(0, std::min(a.DataSize, TableEnd(a.Entries.size())));
    std::sort(used.begin(), used.end());
    std::uint64_t covered = 0, at = 0;
    for (const auto& [start, end] : used) {
        const std::uint64_t from = std::max(start, at);
        if (end > from) {
            covered += end - from;
            at = end;
        }
    }
    return a.DataSize - std::min(covered, a.DataSize);
}

namespace {

// A version 1 archive is two files, which no rename replaces together: its data
// is compacted in place instead, each step leaving every entry whole.
//   1. every entry is copied past the end of the data, and flushed;
//   2. the table names the copies (replaced whole through AtomicOutput);
//   3. the copies go to their compacted places, which no row names now, flushed;
//   4. the table names those;
//   5. the data is cut after the last entry.
void RebuildVersion1(const GameArchive& a, RebuildOutcome& outcome, const RebuildProgress& progress) {
    // Compaction writes over the whole of the old data, and the cut drops its end:
    // all of it is kept, with the table.
    RollbackJournal journal({a.DataFile, a.TableFile});
    journal.KeepWhole(0);
    journal.KeepWhole(1);
    journal.Begin();
    OsFile data = OsFile::OpenUpdate(a.DataFile);
    auto read = [&](std::uint64_t offset, std::uint64_t size) { return ReadExactly(data, offset, size); };
    auto writeTable = [&](const std::vector<std::uint64_t>& offsets) {
        std::vector<std::uint8_t> table;
        for (std::size_t i = 0; i < a.Entries.size(); ++i) {
            const auto row = EncodeRow(a.Entries[i].Name, offsets[i], a.Entries[i].Size, false);
            table.insert(table.end(), row.begin(), row.end());
        }
        AtomicOutput dir(a.TableFile);
        dir.Write(table.data(), table.size());
        BeforeWrite();
        dir.Commit(true);
    };
    std::vector<std::uint64_t> parked, compact;
    std::uint64_t at = RoundUp(std::max(a.DataSize, data.Size()));
    const std::size_t n = a.Entries.size();
    for (const ArchiveEntry& e : a.Entries) {
        parked.push_back(at);
        WritePadded(data, at, read(e.Offset, e.Size));
        at += RoundUp(e.Size);
        if (progress)
            progress(parked.size(), 2 * n);
    }
    data.Sync();
    writeTable(parked);
    at = 0;
    for (std::size_t i = 0; i < a.Entries.size(); ++i) {
        compact.push_back(at);
        WritePadded(data, at, read(parked[i], a.Entries[i].Size));
        at += RoundUp(a.Entries[i].Size);
        if (progress)
            progress(n + i + 1, 2 * n);
    }
    data.Sync();
    writeTable(compact);
    BeforeWrite();
    data.Truncate(at);
    data.Sync();
    data.Close();
    journal.Commit();
    outcome.After = at;
}

} // namespace

RebuildOutcome RebuildArchive(const std::string& path, const RebuildProgress& progress) {
    FileLock lock;
    const GameArchive a = OpenLocked(path, lock);
    const bool v2 = a.Kind == ArchiveKind::Version2;
    RebuildOutcome outcome;
    outcome.Before = a.DataSize;
    outcome.Entries = a.Entries.size();
    // The files are checked for writing first: a rebuild replaces them.
    OsFile::OpenUpdate(a.DataFile);
    if (!v2)
        OsFile::OpenUpdate(a.TableFile);
    RemoveStaleTemporariesBeside(a.DataFile);
    if (!v2) {
        RebuildVersion1(a, outcome, progress);
        return outcome;
    }
    // One file: the compacted copy replaces it whole.
    auto source = std::make_unique<FileSource>(a.DataFile);
    std::vector<std::uint8_t> table = {'V', 'E', 'R', '2', 0, 0, 0, 0};
    Put32(table.data() + 4, a.Entries.size());
    std::uint64_t at = TableEnd(a.Entries.size());
    for (const ArchiveEntry& e : a.Entries) {
        const auto row = EncodeRow(e.Name, at, e.Size, true);
        table.insert(table.end(), row.begin(), row.end());
        at += RoundUp(e.Size);
    }
    outcome.After = at;
    AtomicOutput img(a.DataFile);
    table.resize(static_cast<std::size_t>(TableEnd(a.Entries.size())), 0);
    img.Write(table.data(), table.size());
    for (std::size_t k = 0; k < a.Entries.size(); ++k) {
        const ArchiveEntry& e = a.Entries[k];
        std::vector<std::uint8_t> bytes = ReadEntry(*source, e.Offset, e.Size);
        bytes.resize(static_cast<std::size_t>(RoundUp(e.Size)), 0);
        img.Write(bytes.data(), bytes.size());
        if (progress)
            progress(k + 1, a.Entries.size());
    }
    // Closed before the copy takes its place: Windows replaces no file held open.
    source.reset();
    lock.ReleaseBeforeReplacing();
    BeforeWrite();
    img.Commit(true);
    return outcome;
}

} // namespace kelmora
