#include "base/file_identity.h"

namespace kelmora {

void InputSet::Add(const std::string& path) {
    FileIdentity id;
    if (IdentityOf(path, id))
        files_.insert(id);
}

bool InputSet::Contains(const std::string& path) const {
    FileIdentity id;
    return !files_.empty() && IdentityOf(path, id) && files_.count(id) != 0;
}

} // namespace kelmora

#include "base/byte_source.h"

namespace kelmora {

std::uint64_t HashBytes(const std::uint8_t* data, std::size_t n) {
    // FNV-1a over 8 lanes, so that the loop is not one long chain of multiplies.
    std::uint64_t lane[8];
    for (std::uint64_t& l : lane)
        l = 0xcbf29ce484222325ull;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        for (int k = 0; k < 8; ++k)
            lane[k] = (lane[k] ^ data[i + k]) * 0x100000001b3ull;
    std::uint64_t h = n;
    for (; i < n; ++i)
        h = (h ^ data[i]) * 0x100000001b3ull;
    for (std::uint64_t l : lane)
        h = (h ^ l) * 0x100000001b3ull;
    return h;
}

FileStamp StampOfRead(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    FileStamp s;
    s.Exists = ModifiedTimeOf(path, s.Time);
    s.Size = bytes.size();
    s.Hash = HashBytes(bytes.data(), bytes.size());
    return s;
}

FileStamp StampOf(const std::string& path) {
    if (!IsRegularFile(path))
        return {};
    return StampOfRead(path, ReadAllBytes(FileSource(path)));
}

} // namespace kelmora
