#include "base/atomic_output.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#include "base/bytes.h"
#include "base/errors.h"

namespace kelmora {

namespace {

constexpr const char* kPrefix = ".kelmora-";
constexpr const char* kSuffix = ".tmp";

namespace fs = std::filesystem;

} // namespace

bool IsTemporaryName(const std::string& name) {
    const std::string prefix = kPrefix, suffix = kSuffix;
    return name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

AtomicOutput::AtomicOutput(const std::string& path) : path_(path) {
    static std::atomic<unsigned> counter{0};
    // Replacing a device or a FIFO by a file would break the system, not save a picture.
    if (FileExists(path) && !IsRegularFile(path) && !IsSymbolicLink(path))
        throw KelmoraError(ErrorCode::CreateOverNonRegular, {.File = AbsolutePath(path)});
    // A file its owner made read-only is not replaced, whoever runs this.
    if (!IsSymbolicLink(path) && IsReadOnlyFile(path))
        throw KelmoraError(ErrorCode::ReadOnly, {.File = path});
    const std::string dir = FolderOfPath(path);
    // A name that exists already (a left-over of a run with our process id) is skipped.
    for (int attempt = 0;; ++attempt) {
        temporary_ = dir + kPrefix + std::to_string(CurrentProcessId()) + "-" + std::to_string(counter++) + kSuffix;
        try {
            file_ = OsFile::CreateNew(temporary_, path);
            // A file replaced keeps who may read and write it.
            file_.KeepAttributesOf(path);
            return;
        } catch (const KelmoraError&) {
            if (attempt >= 100 || !FileExists(temporary_))
                throw;
        }
    }
}

AtomicOutput::~AtomicOutput() {
    if (!committed_) {
        file_.Close();
        RemoveFile(temporary_);
    }
}

void AtomicOutput::Write(const void* data, std::size_t n) {
    try {
        file_.Write(data, n);
    } catch (const KelmoraError& e) {
        Discard();
        throw KelmoraError(ErrorCode::StreamWrite, {.File = AbsolutePath(path_), .Reason = e.Facts().Reason});
    }
}

void AtomicOutput::Commit(bool durable) {
    try {
        if (durable)
            file_.Sync();
        file_.CloseChecked();
        MoveIntoPlace(temporary_, path_);
    } catch (const KelmoraError& e) {
        // Said of the target, not of the temporary the user never sees.
        Discard();
        throw KelmoraError(ErrorCode::StreamWrite, {.File = AbsolutePath(path_), .Reason = e.Facts().Reason});
    }
    committed_ = true;
    // The new name survives a power cut only once the folder is on the disk too.
    if (durable)
        SyncDirectoryOf(path_);
}

void AtomicOutput::Discard() {
    file_.Close();
    RemoveFile(temporary_);
    committed_ = true; // nothing left to clean up
}

void RemoveStaleTemporariesBeside(const std::string& file) {
    const std::string dir = FolderOfPath(file);
    RemoveStaleTemporaries(dir.empty() ? "." : dir);
}

void RemoveStaleTemporaries(const std::string& dir) {
    std::error_code ec;
    for (fs::directory_iterator it(PathFromUtf8(dir), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = PathToUtf8(it->path().filename());
        if (!IsTemporaryName(name))
            continue;
        const std::string digits = name.substr(std::string(kPrefix).size());
        long pid = 0;
        try {
            pid = std::stol(digits);
        } catch (const std::exception&) {
            continue;
        }
        if (pid != CurrentProcessId() && !ProcessAlive(pid))
            RemoveFile(PathToUtf8(it->path()));
    }
}

} // namespace kelmora
