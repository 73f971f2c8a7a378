#include "base/rollback_journal.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#include "base/errors.h"
#include "base/file_identity.h"

namespace kelmora {

namespace {

constexpr char kMagic[] = "KELMORA JOURNAL\n"; // 16 bytes and the NUL
constexpr std::size_t kMagicBytes = 16;
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kEndMarker = 0xFFFFFFFFu;
constexpr std::size_t kChunk = 1 << 20;

// The checksum: each field's or block's hash folded in, in order. Writer and
// reader cut the kept bytes into the same blocks.
struct Fnv {
    std::uint64_t Value = 0xcbf29ce484222325ull;
    void Add(const std::uint8_t* p, std::size_t n) { Value = (Value ^ HashBytes(p, n)) * 0x100000001b3ull; }
};

std::string FileNameOf(const std::string& path) { return path.substr(FolderOfPath(path).size()); }

std::atomic<bool>& Skipped() {
    static std::atomic<bool> skipped{false};
    return skipped;
}

RecoveryNotice& Notice() {
    static RecoveryNotice notice;
    return notice;
}
std::mutex& NoticeLock() {
    static std::mutex m;
    return m;
}

// The journal as it is written: every byte goes through the checksum.
class JournalWriter {
public:
    explicit JournalWriter(const std::string& path) : path_(path), file_(OsFile::CreateNew(path, path)) {
        buffer_.reserve(kChunk + 64);
    }
    void Bytes(const void* p, std::size_t n) {
        fnv_.Add(static_cast<const std::uint8_t*>(p), n);
        if (buffer_.size() + n > kChunk)
            Flush();
        if (n > kChunk) {
            Put(p, n);
            return;
        }
        const auto* b = static_cast<const std::uint8_t*>(p);
        buffer_.insert(buffer_.end(), b, b + n);
    }
    void U32(std::uint32_t v) {
        std::uint8_t b[4];
        for (int k = 0; k < 4; ++k)
            b[k] = static_cast<std::uint8_t>(v >> (8 * k));
        Bytes(b, 4);
    }
    void U64(std::uint64_t v) {
        std::uint8_t b[8];
        for (int k = 0; k < 8; ++k)
            b[k] = static_cast<std::uint8_t>(v >> (8 * k));
        Bytes(b, 8);
    }
    std::uint64_t Sum() const { return fnv_.Value; }
    void Finish() {
        Flush();
        file_.Sync();
        file_.CloseChecked();
    }

private:
    void Put(const void* p, std::size_t n) { file_.Write(p, n); }
    void Flush() {
        if (!buffer_.empty())
            Put(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
    std::string path_;
    OsFile file_;
    Fnv fnv_;
    std::vector<std::uint8_t> buffer_;
};

// The journal as it is read back; any damage makes Ok false.
class JournalReader {
public:
    explicit JournalReader(const std::string& path) : file_(OsFile::OpenRead(path)), size_(file_.Size()) {}
    bool Ok() const { return ok_; }
    std::uint64_t At() const { return at_; }
    std::uint64_t Size() const { return size_; }
    bool Bytes(void* p, std::size_t n, bool sum = true) {
        if (!ok_ || n > size_ - at_ || file_.ReadAt(at_, p, n) != n)
            return ok_ = false;
        if (sum)
            fnv_.Add(static_cast<const std::uint8_t*>(p), n);
        at_ += n;
        return true;
    }
    std::uint32_t U32(bool sum = true) {
        std::uint8_t b[4] = {};
        Bytes(b, 4, sum);
        return static_cast<std::uint32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24);
    }
    std::uint64_t U64(bool sum = true) {
        std::uint8_t b[8] = {};
        Bytes(b, 8, sum);
        std::uint64_t v = 0;
        for (int k = 7; k >= 0; --k)
            v = v << 8 | b[k];
        return v;
    }
    void Skip(std::uint64_t n, std::vector<std::uint8_t>& buffer) {
        while (ok_ && n > 0) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, kChunk));
            buffer.resize(take);
            Bytes(buffer.data(), take);
            n -= take;
        }
    }
    std::uint64_t Sum() const { return fnv_.Value; }
    void Seek(std::uint64_t at) { at_ = at; }

private:
    OsFile file_;
    std::uint64_t size_, at_ = 0;
    Fnv fnv_;
    bool ok_ = true;
};

struct ParsedJournal {
    std::vector<std::string> Files;
    std::vector<std::uint64_t> Lengths;
    std::uint64_t RangesAt = 0, Ranges = 0;
};

// The header, and whether the whole journal is there as written.
bool Parse(JournalReader& in, ParsedJournal& j) {
    char magic[kMagicBytes];
    if (!in.Bytes(magic, kMagicBytes) || std::memcmp(magic, kMagic, kMagicBytes) != 0 || in.U32() != kVersion)
        return false;
    const std::uint32_t files = in.U32();
    if (!in.Ok() || files == 0 || files > 16)
        return false;
    for (std::uint32_t i = 0; i < files; ++i) {
        const std::uint32_t n = in.U32();
        if (!in.Ok() || n == 0 || n > 4096)
            return false;
        std::string name(n, '\0');
        if (!in.Bytes(name.data(), n))
            return false;
        j.Files.push_back(name);
        j.Lengths.push_back(in.U64());
    }
    j.RangesAt = in.At();
    std::vector<std::uint8_t> buffer;
    for (;;) {
        const std::uint32_t file = in.U32();
        if (!in.Ok())
            return false;
        if (file == kEndMarker)
            break;
        if (file >= files)
            return false;
        in.U64();
        in.Skip(in.U64(), buffer);
        ++j.Ranges;
    }
    const std::uint64_t sum = in.Sum();
    const std::uint64_t ranges = in.U64(false), stored = in.U64(false);
    return in.Ok() && ranges == j.Ranges && stored == sum && in.At() == in.Size();
}

// Puts back what a whole journal kept; false for one cut off while it was
// written (no file was touched yet), which puts nothing back.
bool PutBack(const std::string& journal, const std::string& folder) {
    JournalReader in(journal);
    ParsedJournal j;
    if (!Parse(in, j))
        return false;
    std::vector<std::unique_ptr<OsFile>> files(j.Files.size());
    auto open = [&](std::size_t k) -> OsFile& {
        if (!files[k]) {
            const std::string path = folder + j.Files[k];
            // A file the edit had not made yet is made again, empty, to be filled.
            if (!FileExists(path))
                OsFile::CreateNew(path, path).Close();
            files[k] = std::make_unique<OsFile>(OsFile::OpenUpdate(path));
        }
        return *files[k];
    };
    in.Seek(j.RangesAt);
    std::vector<std::uint8_t> buffer;
    for (std::uint64_t r = 0; r < j.Ranges; ++r) {
        const std::size_t k = in.U32();
        std::uint64_t offset = in.U64(), size = in.U64();
        OsFile& f = open(k);
        while (size > 0) {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk));
            buffer.resize(take);
            in.Bytes(buffer.data(), take);
            f.WriteAt(offset, buffer.data(), take);
            offset += take;
            size -= take;
        }
    }
    for (std::size_t k = 0; k < files.size(); ++k) {
        OsFile& f = open(k);
        if (f.Size() != j.Lengths[k])
            f.Truncate(j.Lengths[k]);
        f.Sync();
    }
    return true;
}

} // namespace

std::string JournalPathFor(const std::string& file) { return file + ".kelmora-journal"; }

RollbackJournal::RollbackJournal(std::vector<std::string> files) : files_(std::move(files)) {
    for (const std::string& f : files_)
        lengths_.push_back(FileExists(f) ? OsFile::OpenRead(f).Size() : 0);
}

RollbackJournal::~RollbackJournal() {
    if (begun_ && !done_) {
        try {
            RollBack();
        } catch (const std::exception&) {
            // The journal stays: the next open of the file finishes the rollback.
        }
    }
}

void RollbackJournal::Keep(std::size_t file, std::uint64_t offset, std::uint64_t size) {
    const std::uint64_t end = std::min(offset + size, lengths_[file]);
    if (offset < end)
        kept_.push_back({file, offset, end - offset});
}

void RollbackJournal::KeepWhole(std::size_t file) { Keep(file, 0, lengths_[file]); }

void RollbackJournal::Begin() {
    if (Skipped())
        return;
    const std::string path = JournalPathFor(files_[0]);
    {
        JournalWriter out(path);
        out.Bytes(kMagic, kMagicBytes);
        out.U32(kVersion);
        out.U32(static_cast<std::uint32_t>(files_.size()));
        for (std::size_t k = 0; k < files_.size(); ++k) {
            const std::string name = FileNameOf(files_[k]);
            out.U32(static_cast<std::uint32_t>(name.size()));
            out.Bytes(name.data(), name.size());
            out.U64(lengths_[k]);
        }
        std::vector<std::uint8_t> buffer;
        for (std::size_t k = 0; k < files_.size(); ++k) {
            std::unique_ptr<OsFile> source;
            for (const Range& r : kept_) {
                if (r.File != k)
                    continue;
                if (!source)
                    source = std::make_unique<OsFile>(OsFile::OpenRead(files_[k]));
                out.U32(static_cast<std::uint32_t>(k));
                out.U64(r.Offset);
                out.U64(r.Size);
                for (std::uint64_t done = 0; done < r.Size;) {
                    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(r.Size - done, kChunk));
                    buffer.resize(take);
                    if (source->ReadAt(r.Offset + done, buffer.data(), take) != take)
                        throw KelmoraError(ErrorCode::ReadEndsEarly,
                                           {.File = files_[k], .Number = r.Offset + done, .Limit = r.Offset + r.Size});
                    out.Bytes(buffer.data(), take);
                    done += take;
                }
            }
        }
        out.U32(kEndMarker);
        const std::uint64_t sum = out.Sum();
        std::uint8_t tail[16];
        for (int k = 0; k < 8; ++k) {
            tail[k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(kept_.size()) >> (8 * k));
            tail[8 + k] = static_cast<std::uint8_t>(sum >> (8 * k));
        }
        out.Bytes(tail, sizeof tail);
        out.Finish();
    }
    SyncDirectoryOf(path);
    begun_ = true;
}

void RollbackJournal::Commit() {
    if (!begun_ || done_)
        return;
    const std::string path = JournalPathFor(files_[0]);
    RemoveFile(path);
    done_ = true;
    SyncDirectoryOf(path);
}

void RollbackJournal::RollBack() {
    if (!begun_ || done_)
        return;
    const std::string path = JournalPathFor(files_[0]);
    PutBack(path, FolderOfPath(path));
    RemoveFile(path);
    done_ = true;
    SyncDirectoryOf(path);
}

bool RecoverInterruptedEdit(const std::string& file, bool holdsLock) {
    const std::string journal = JournalPathFor(file);
    if (!FileExists(journal))
        return false;
    FileLock lock;
    if (!holdsLock && (!FileExists(file) || !FileLock::TryTake(file, lock)))
        return false; // a live writer's journal, or nothing to put back into
    if (!FileExists(journal))
        return false; // its writer finished meanwhile
    const bool whole = PutBack(journal, FolderOfPath(journal));
    RemoveFile(journal);
    SyncDirectoryOf(journal);
    if (whole) {
        std::lock_guard<std::mutex> hold(NoticeLock());
        if (Notice())
            Notice()(file);
    }
    return whole;
}

void SetJournalSkippedForMeasurement(bool skipped) { Skipped() = skipped; }

void SetRecoveryNotice(RecoveryNotice notice) {
    std::lock_guard<std::mutex> hold(NoticeLock());
    Notice() = std::move(notice);
}

} // namespace kelmora
