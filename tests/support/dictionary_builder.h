#pragma once
// Builds dictionary files: in the fixed layout (zeros where real files keep their
// raster info and transfer headers), or in the layout real console dictionaries
// have, with raster info, one transfer per mip level and a palette transfer.
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
    // The real layout. Depth 4 and 8: Pixels is level 0 and MipPixels levels 1 and
    // up (each (W >> n) x (H >> n), at least 1); depth 16 and 32: Texels.
    bool Real = false;
    std::vector<std::vector<std::uint8_t>> MipPixels;
    std::vector<PaletteEntry> Texels;     // 32-bit: as stored; 16-bit: what 5-5-5-1 holds
    bool EmptyExtension = false;          // a 12-byte extension chunk instead of 28 bytes
};

// Where a texel of a palettised level lies in its transfer data, by the console's
// addressing written out as one formula: a byte offset for 8 bits, a nibble
// offset (even = low half) for 4 bits. rrw is the transfer's width.
std::size_t TexelPosition(std::uint32_t depth, std::uint32_t x, std::uint32_t y, std::uint32_t rrw);
// The transfer rectangle of a palettised level, as the console's uploader pads it.
std::uint32_t TransferWidth(std::uint32_t depth, std::uint32_t w);
std::uint32_t TransferHeight(std::uint32_t depth, std::uint32_t h);
// One level's transfer data: the texels at their places, padding filled with pad.
std::vector<std::uint8_t> EncodeLevel(std::uint32_t depth, std::uint32_t w, std::uint32_t h,
                                      const std::vector<std::uint8_t>& texels, std::uint8_t pad = 0);
// A real-layout texture with n levels of pseudo-random pictures.
TextureSpec RealTexture(const std::string& name, std::uint32_t w, std::uint32_t h, std::uint32_t depth,
                        std::uint32_t levels, std::uint32_t seed);

// The pixel bytes (P bytes, P as the palette offset counts them) and palette bytes
// of one raster, encoded so that the decode with unswizzle = texture.Swizzled gives
// back texture.Pixels and texture.Palette.
std::vector<std::uint8_t> EncodePixels(const TextureSpec& texture);
std::vector<std::uint8_t> EncodePalette(const TextureSpec& texture);

// A whole dictionary; records stay 4-byte aligned.
std::vector<std::uint8_t> BuildDictionary(const std::vector<TextureSpec>& textures);

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// A true-colour opaque picture of side x side texels, nearly each of its own
// colour (red x, green y, blue x ^ y): one that has to be quantised, which takes a while.
DecodeState ManyColourPicture(std::uint32_t side);
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
