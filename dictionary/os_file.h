#pragma once
// The few file-system services the core needs, one implementation per OS.
// Paths are UTF-8 everywhere.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelmora {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

bool IsPathSeparator(char c);

class OsFile {
public:
    OsFile() = default;
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;
    OsFile(OsFile&& other) noexcept;
    OsFile& operator=(OsFile&& other) noexcept;
    ~OsFile();

    // Opens for reading; other writers are denied where the platform can.
    // Throws KelmoraError "Cannot open file \"path\". reason".
    static OsFile OpenRead(const std::string& path);
    // Creates a new file or truncates an existing one, without sharing.
    // Throws KelmoraError "Cannot create file \"path\". reason".
    static OsFile Create(const std::string& path);

    std::uint64_t Size() const;
    // Returns the number of bytes read; fewer than n only at the end of the file.
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const;
    // Returns the number of bytes stored.
    std::size_t Write(const void* src, std::size_t n);
    void Close();

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// True for an existing file system entry that is not a directory.
bool FileExists(const std::string& path);
// True when the attributes can be read and carry the directory flag;
// a trailing separator does not matter.
bool DirectoryExists(const std::string& path);
// Creates one directory; false when that fails (an existing one is no failure).
bool MakeDirectory(const std::string& path);
// The absolute form of path (not resolving links).
std::string AbsolutePath(const std::string& path);

} // namespace kelmora
