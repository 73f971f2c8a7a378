#include "base/os_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/errors.h"

namespace kelmora {

bool IsPathSeparator(char c) { return c == '/'; }

OsFile::OsFile(OsFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

OsFile& OsFile::operator=(OsFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
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
        throw KelmoraError(ErrorCode::CannotOpenForWriting, {.File = path, .Reason = std::strerror(EACCES)});
    return f;
}

bool OsFile::WriteAt(std::uint64_t offset, const void* src, std::size_t n, std::string* reason) {
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        const ssize_t r = ::pwrite(fd_, in + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            if (reason)
                *reason = std::strerror(r < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(r);
    }
    return true;
}

bool OsFile::Truncate(std::uint64_t size, std::string* reason) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) == 0)
        return true;
    if (reason)
        *reason = std::strerror(errno);
    return false;
}

bool OsFile::Sync(std::string* reason) {
    if (::fsync(fd_) == 0)
        return true;
    if (reason)
        *reason = std::strerror(errno);
    return false;
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

bool OsFile::CloseChecked(std::string* reason) {
    if (fd_ < 0)
        return true;
    const int r = ::close(fd_);
    fd_ = -1;
    if (r != 0 && errno != EINTR) {
        if (reason)
            *reason = std::strerror(errno);
        return false;
    }
    return true;
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
    std::size_t done = 0;
    auto* out = static_cast<char*>(dst);
    while (done < n) {
        ssize_t r = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

std::size_t OsFile::Write(const void* src, std::size_t n, std::string* reason) {
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        ssize_t r = ::write(fd_, in + done, n - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            if (reason)
                *reason = std::strerror(r < 0 ? errno : ENOSPC);
            break;
        }
        done += static_cast<std::size_t>(r);
    }
    return done;
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

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string* reason) {
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    if (reason)
        *reason = std::strerror(errno);
    return false;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

std::string LastSystemError() { return std::strerror(errno); }

long CurrentProcessId() { return static_cast<long>(::getpid()); }

bool ProcessAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path, std::string* reason) {
    if (::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && DirectoryExists(path)))
        return true;
    // Something that is no directory stands under that name.
    if (reason)
        *reason = std::strerror(errno == EEXIST ? ENOTDIR : errno);
    return false;
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
