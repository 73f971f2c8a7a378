#pragma once
// The files a batch reads, known once by their identity, so that each output can
// be checked against all of them in constant time.
#include <cstddef>
#include <string>
#include <unordered_set>

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
