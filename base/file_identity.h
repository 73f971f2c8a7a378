#pragma once
// The files a batch reads, known once by their identity, so that each output can
// be checked against all of them in constant time.
#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/os_file.h"

namespace kelmora {

struct FileIdentityHash {
    std::size_t operator()(const FileIdentity& f) const noexcept {
        return std::hash<std::uint64_t>{}(f.Index * 0x9E3779B97F4A7C15ull ^ f.Device);
    }
};

class InputSet {
public:
    // Files that do not exist are not inputs; adding one does nothing.
    void Add(const std::string& path);
    // Whether writing path would replace an input, under any of its names (a hard
    // link or a symbolic link to it included). One look-up, one file status.
    bool Contains(const std::string& path) const;
    std::size_t Size() const { return files_.size(); }

private:
    std::unordered_set<FileIdentity, FileIdentityHash> files_;
};

} // namespace kelmora

namespace kelmora {

// What a file was when it was read, so that a save planned on it can refuse to
// replace what changed since: its size, its modification time and a hash of its bytes.
struct FileStamp {
    bool Exists = false;
    std::uint64_t Size = 0;
    std::int64_t Time = 0; // nanoseconds, as the file system keeps them
    std::uint64_t Hash = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the file at path as it is now (read whole); Exists false when there is none.
FileStamp StampOf(const std::string& path);
// The stamp of bytes just read from path: their size and hash, the file's time now.
FileStamp StampOfRead(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::uint64_t HashBytes(const std::uint8_t* data, std::size_t n);

} // namespace kelmora
