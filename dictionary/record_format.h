#pragma once
// The texture dictionary's format in one place: its chunk ids, what each depth
// a raster can have means for its palette, its transfers and the console's
// pixel formats, and a texture record read and written side by side. The walk,
// the decoder and encoder, the edits and the properties all go through here.
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_reader.h"

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

// One texture record: what the writer is given and what the reader finds. The
// picture's size, depth and levels come from its raster; a record read from a
// file also says where its parts are.
struct TextureRecord {
    std::string Name, Mask;             // stored bytes (Windows-1252), at most kMaxNameLength
    std::uint32_t Depth = 8, Width = 0, Height = 0, Levels = 1;
    std::uint32_t Version = 0x1803FFFF; // the file's version word
    std::uint32_t FilterWord = 0;       // 0: 0x1106 with levels, else 0x1102
    bool EmptyExtension = false;        // a (3, 0) extension instead of the 16-byte one
    std::vector<std::uint8_t> Extension; // when not empty: the record's chunks after its raster, as they are

    // Where a record read from a file is: its header's offset and the end of
    // its last chunk, its two string chunks' headers, and its raster's data.
    std::uint64_t Start = 0, End = 0, NameChunk = 0, MaskChunk = 0, RasterData = 0, ExtensionChunk = 0;
};

// Names live in 32-byte fields on the console: 31 characters and a NUL.
inline constexpr std::size_t kMaxNameLength = 31;

// A whole texture record (chunk 0x15) with zero pixels and palette.
std::vector<std::uint8_t> BuildRecord(const TextureRecord& record);

// A string chunk: the characters, a NUL, zeros up to a multiple of 4.
std::vector<std::uint8_t> StringChunk(const std::string& text, std::uint32_t version);

// Reads the record at start from its chunk sizes (the texture chunk and its
// struct, name, mask, raster and extension children): false when they do not
// add up or reach past the end of the source. Name and mask are the string
// chunks' texts up to their first NUL, trimmed; depth and size are the raster's.
bool ParseRecord(ByteReader& reader, std::uint64_t start, TextureRecord& record);

} // namespace kelmora
