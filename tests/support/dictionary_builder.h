#pragma once
// Builds dictionary files in exactly the layout the walk and the decode read.
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/decode_state.h"

namespace kelmora::testing {

struct TextureSpec {
    std::string Name;
    std::string Mask;
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint32_t Depth = 8;              // 4 or 8; anything else is written as an 8-bit body
    std::vector<std::uint8_t> Pixels;     // row-major, what the decode should give back
    TexPalette Palette{};                 // what the decode should give back
    bool Swizzled = true;                 // stored as the console stores it
};

// The pixel bytes (P bytes, P as the palette offset counts them) and palette bytes
// of one raster, encoded so that the decode with unswizzle = texture.Swizzled gives
// back texture.Pixels and texture.Palette.
std::vector<std::uint8_t> EncodePixels(const TextureSpec& texture);
std::vector<std::uint8_t> EncodePalette(const TextureSpec& texture);

// A whole dictionary; records stay 4-byte aligned.
std::vector<std::uint8_t> BuildDictionary(const std::vector<TextureSpec>& textures);

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::string& path);

// A fresh, empty directory below the system's temporary directory.
std::string MakeTempDir(const std::string& tag);

// Cells the decode never reaches (last row of an odd height when swizzled, last
// column of an odd width in the plain 4-bit read) read back as zero.
bool CellIsRead(const TextureSpec& texture, std::uint32_t x, std::uint32_t y);

// A texture filled with a deterministic pseudo-random picture and palette.
TextureSpec RandomTexture(const std::string& name, std::uint32_t w, std::uint32_t h, std::uint32_t depth,
                          bool swizzled, std::uint32_t seed);

} // namespace kelmora::testing
