#include "dictionary/os_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dictionary/errors.h"

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
        throw KelmoraError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    struct stat st {};
    if (::fstat(f.fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        throw KelmoraError("Cannot open file \"" + path + "\". " + std::strerror(err));
    }
    return f;
}

OsFile OsFile::Create(const std::string& path) {
    OsFile f;
    f.fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (f.fd_ < 0)
        throw KelmoraError("Cannot create file \"" + AbsolutePath(path) + "\". " + std::strerror(errno));
    return f;
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

std::size_t OsFile::Write(const void* src, std::size_t n) {
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        ssize_t r = ::write(fd_, in + done, n - done);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return done;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && DirectoryExists(path));
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

} // namespace kelmora
