#include "base/os_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/errors.h"

namespace kelmora {

bool IsPathSeparator(char c) { return c == '/'; }

namespace {

[[noreturn]] void WriteFailed(const std::string& path, int err) {
    throw KelmoraError(ErrorCode::StreamWrite, {.File = AbsolutePath(path), .Reason = std::strerror(err)});
}

} // namespace

OsFile::OsFile(OsFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), appended_(other.appended_) {
    other.fd_ = -1;
}

OsFile& OsFile::operator=(OsFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        appended_ = other.appended_;
        other.fd_ = -1;
    }
    return *this;
}

OsFile::~OsFile() { Close(); }

void OsFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

OsFile OsFile::OpenRead(const std::string& path) {
    OsFile f;
    // O_NONBLOCK keeps a FIFO from blocking the open; it does not affect regular files.
    f.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (f.fd_ < 0)
        throw KelmoraError(ErrorCode::CannotOpen, {.File = path, .Reason = std::strerror(errno)});
    f.path_ = path;
    struct stat st {};
    if (::fstat(f.fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        throw KelmoraError(ErrorCode::CannotOpen, {.File = path, .Reason = std::strerror(err)});
    }
    // A FIFO or a device has no size to walk and may never end.
    if (!S_ISREG(st.st_mode))
        throw KelmoraError(ErrorCode::NotRegularFile, {.File = path});
    return f;
}

OsFile OsFile::CreateNew(const std::string& path, const std::string& shownPath) {
    OsFile f;
    f.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (f.fd_ < 0)
        throw KelmoraError(ErrorCode::CannotCreate, {.File = AbsolutePath(shownPath), .Reason = std::strerror(errno)});
    f.path_ = path;
    RecordFileEvent({.Kind = FileEventKind::Create, .Path = path});
    return f;
}

OsFile OsFile::OpenUpdate(const std::string& path) {
    OsFile f;
    f.fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (f.fd_ < 0)
        throw KelmoraError(ErrorCode::CannotOpenForWriting, {.File = path, .Reason = std::strerror(errno)});
    struct stat st {};
    if (::fstat(f.fd_, &st) != 0 || !S_ISREG(st.st_mode))
        throw KelmoraError(ErrorCode::WriteToNonRegular, {.File = path});
    // The superuser may write anything: the file's own bits say whether it is meant to change.
    if ((st.st_mode & 0222) == 0)
        throw KelmoraError(ErrorCode::ReadOnly, {.File = path});
    f.path_ = path;
    return f;
}

void OsFile::WriteAt(std::uint64_t offset, const void* src, std::size_t n) {
    RecordFileEvent({.Kind = FileEventKind::Write, .Path = path_, .Offset = offset, .Size = n,
                     .Data = static_cast<const std::uint8_t*>(src)});
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        const ssize_t r = ::pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            WriteFailed(path_, r < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(r);
    }
}

void OsFile::Truncate(std::uint64_t size) {
    RecordFileEvent({.Kind = FileEventKind::Truncate, .Path = path_, .Size = size});
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        WriteFailed(path_, errno);
}

void OsFile::Sync() {
    RecordFileEvent({.Kind = FileEventKind::Sync, .Path = path_});
    if (::fsync(fd_) != 0)
        WriteFailed(path_, errno);
}

void OsFile::KeepAttributesOf(const std::string& path) {
    struct stat st {};
    if (fd_ < 0 || ::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    // The owner first: changing it clears the set-id bits the mode then restores.
    // Only the superuser may give a file away; anyone keeps the mode.
    if (::fchown(fd_, st.st_uid, st.st_gid) != 0)
        (void)::fchown(fd_, static_cast<uid_t>(-1), st.st_gid);
    (void)::fchmod(fd_, st.st_mode & 07777);
}

void OsFile::CloseChecked() {
    if (fd_ < 0)
        return;
    const int r = ::close(fd_);
    fd_ = -1;
    if (r != 0 && errno != EINTR)
        WriteFailed(path_, errno);
}

std::uint64_t OsFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t OsFile::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset > static_cast<std::uint64_t>(LLONG_MAX))
        return 0;
    if (n > 0 && ReadFailsFor(path_))
        throw KelmoraError(ErrorCode::ReadFailed, {.File = path_, .Reason = std::strerror(EIO)});
    std::size_t done = 0;
    auto* out = static_cast<char*>(dst);
    while (done < n) {
        ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throw KelmoraError(ErrorCode::ReadFailed, {.File = path_, .Reason = std::strerror(errno)});
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

void OsFile::Write(const void* src, std::size_t n) {
    RecordFileEvent({.Kind = FileEventKind::Write, .Path = path_, .Offset = appended_, .Size = n,
                     .Data = static_cast<const std::uint8_t*>(src)});
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        ssize_t r = ::write(fd_, in + done, n - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            WriteFailed(path_, r < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(r);
    }
    appended_ += done;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode))
        return !(::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    return !S_ISDIR(st.st_mode);
}

bool IdentityOf(const std::string& path, FileIdentity& identity) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

bool ModifiedTimeOf(const std::string& path, std::int64_t& time) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

void MoveIntoPlace(const std::string& from, const std::string& to) {
    RecordFileEvent({.Kind = FileEventKind::Rename, .Path = from, .To = to});
    if (::rename(from.c_str(), to.c_str()) != 0)
        WriteFailed(to, errno);
}

void RemoveFile(const std::string& path) {
    RecordFileEvent({.Kind = FileEventKind::Remove, .Path = path});
    ::unlink(path.c_str());
}

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // The mode bits hold for the superuser too, who could write anyway.
    return (st.st_mode & 0222) == 0 || (::access(path.c_str(), W_OK) != 0 && errno == EACCES);
}

void SyncDirectoryOf(const std::string& file) {
    std::string dir = FolderOfPath(file);
    if (dir.empty())
        dir = ".";
    RecordFileEvent({.Kind = FileEventKind::SyncDirectory, .Path = dir});
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && ::fsync(fd) == 0) {
        ::close(fd);
        return;
    }
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    // Some file systems cannot sync a folder at all; their names are as safe as they get.
    if (err != EINVAL && err != ENOTSUP)
        WriteFailed(dir, err);
}

void SyncFileSystemOf(const std::string& path) {
    const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 && ::syncfs(fd) == 0) {
        ::close(fd);
        return;
    }
    const int err = errno;
    if (fd >= 0)
        ::close(fd);
    WriteFailed(path, err);
}

FileLock::FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FileLock::~FileLock() { Release(); }

bool FileLock::Held() const { return fd_ >= 0; }

void FileLock::ReleaseBeforeReplacing() {}

void FileLock::Release() {
    if (fd_ >= 0) {
        ::close(fd_); // the lock goes with the last descriptor of this open
        fd_ = -1;
    }
}

bool FileLock::TryTake(const std::string& path, FileLock& lock) {
    lock.Release();
    for (int attempt = 0; attempt < 8; ++attempt) {
        // flock belongs to this open of the file: another open, in this process
        // or another, is refused, and closing other descriptors keeps it.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            throw KelmoraError(ErrorCode::CannotOpen, {.File = path, .Reason = std::strerror(errno)});
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK || err == EINTR)
                return false;
            throw KelmoraError(ErrorCode::CannotOpen, {.File = path, .Reason = std::strerror(err)});
        }
        // A writer that replaced the file while this one waited leaves the lock on
        // a file the name no longer reaches: take the one it reaches now.
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            lock.fd_ = fd;
            return true;
        }
        ::close(fd);
    }
    return false;
}

std::string LastSystemError() { return std::strerror(errno); }

long CurrentProcessId() { return static_cast<long>(::getpid()); }

bool ProcessAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void MakeDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && DirectoryExists(path)))
        return;
    // Something that is no directory stands under that name.
    throw KelmoraError(ErrorCode::CannotCreateDirectory,
                       {.File = AbsolutePath(path), .Reason = std::strerror(errno == EEXIST ? ENOTDIR : errno)});
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/')
        return path;
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf))
        return path;
    std::string cwd = buf;
    if (cwd.empty() || cwd.back() != '/')
        cwd += '/';
    return cwd + path;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void PrepareStandardStreams() {}

} // namespace kelmora
