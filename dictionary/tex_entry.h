#pragma once
#include <cstdint>
#include <string>

#include "dictionary/texture_platform.h"

namespace kelmora {

// One texture of the index. Texts hold the file's 8-bit bytes, at most 255.
struct TTexEntry {
    std::string Name;
    std::string AlphaName;
    std::string Caption;
    std::uint32_t DataOffset = 0;
    // What the caption shows, as read: the mask name (empty when there is none)
    // and the raster header's width, height and depth.
    std::string Mask;
    std::uint32_t Width = 0, Height = 0, Depth = 0;
    // Where the record lies, and whether its chunk sizes said so (they add up and
    // fit the file); otherwise the fixed distances placed it.
    std::uint64_t RecordStart = 0, RecordEnd = 0;
    bool Chunked = false;
    // The record's platform (its platform id where that is not read), and what
    // the caption shows in parentheses: "8bit" on the console, "DXT1" and the like
    // elsewhere.
    TexturePlatform Platform = TexturePlatform::Ps2;
    std::uint32_t PlatformId = 0;
    std::string Format;
};

} // namespace kelmora
