#pragma once
// The texture dictionary's format in one place: its chunk ids, and what each
// depth a raster can have means for its palette, its transfers and the
// console's pixel formats. The walk, the decoder and encoder, the record writer,
// the edits and the properties all read them from here.
#include <cstdint>

namespace kelmora {

// Chunk ids.
inline constexpr std::uint32_t kStructChunk = 0x01;     // a chunk's own data
inline constexpr std::uint32_t kStringChunk = 0x02;     // a NUL-terminated name
inline constexpr std::uint32_t kExtensionChunk = 0x03;  // plugin data, often empty
inline constexpr std::uint32_t kTextureChunk = 0x15;    // one texture record
inline constexpr std::uint32_t kDictionaryChunk = 0x16; // the dictionary
inline constexpr std::uint32_t kSkyMipmapChunk = 0x110; // the extension real records carry

// The console's pixel storage modes (TEX0's PSM field).
inline constexpr std::uint32_t kPsmCt32 = 0x00, kPsmCt16S = 0x0A, kPsmT8 = 0x13, kPsmT4 = 0x14;

struct DepthInfo {
    std::uint32_t Depth;                // bits a texel
    std::uint32_t PaletteEntries;       // 16 or 256; 0 for true colour
    std::uint32_t PaletteBytes;         // the palette's bytes as a decode reads them: 64 or 1024
    std::uint32_t PaletteTransferBytes; // the palette's bytes after its transfer header: 96 or 1024
    std::uint32_t PaletteTransferWidth, PaletteTransferHeight; // its transfer rectangle
    std::uint32_t GsPixelFormat;        // PSM of the texture
    std::uint32_t RasterFormatBits;     // the raster format word's depth bits
    bool Palettised() const { return PaletteEntries != 0; }
};

// The depths a raster may have (4, 8, 16 and 32 bits); null for any other.
const DepthInfo* FindDepth(std::uint32_t depth);

// 4 and 8 bits: a palette and an index a texel.
inline bool IsPalettisedDepth(std::uint32_t depth) { return depth == 4 || depth == 8; }

} // namespace kelmora
