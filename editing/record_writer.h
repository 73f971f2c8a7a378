#pragma once
// New texture records, written as the console's tools write them: the chunks,
// the raster info, a transfer header per level and the palette's, with the values
// real records of that depth, size and level count hold. The pictures are then
// put in by the raster encoder.
#include <cstdint>
#include <string>
#include <vector>

#include "editing/record_layout.h"

namespace kelmora {

struct RecordSettings {
    std::string Name, Mask;             // stored bytes (Windows-1252), at most kMaxNameLength
    std::uint32_t Depth = 8, Width = 0, Height = 0, Levels = 1;
    std::uint32_t Version = 0x1803FFFF; // the file's version word
    std::uint32_t FilterWord = 0;       // 0: 0x1106 with levels, else 0x1102
    bool EmptyExtension = false;        // a (3, 0) extension instead of the 16-byte one
};

// Names live in 32-byte fields on the console: 31 characters and a NUL.
inline constexpr std::size_t kMaxNameLength = 31;

// A whole texture record (chunk 0x15) with zero pixels and palette.
std::vector<std::uint8_t> BuildRecord(const RecordSettings& settings);

// A string chunk: the characters, a NUL, zeros up to a multiple of 4.
std::vector<std::uint8_t> StringChunk(const std::string& text, std::uint32_t version);

} // namespace kelmora
