#pragma once
// Small helpers every library needs: little-endian words and UTF-8 paths.
#include <cstdint>
#include <filesystem>
#include <string>

namespace kelmora {

// The 32-bit little-endian word at b.
inline std::uint32_t LoadLE32(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// The 16-bit little-endian word at b.
inline std::uint16_t LoadLE16(const std::uint8_t* b) {
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

// Paths are UTF-8 everywhere in Kelmora, whatever the platform's narrow encoding.
inline std::filesystem::path PathFromUtf8(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}
inline std::string PathToUtf8(const std::filesystem::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

} // namespace kelmora
