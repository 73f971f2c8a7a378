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
    // its last chunk, its two string chunks' and its raster's headers, its
    // raster's data, and its extension's header.
    std::uint64_t Start = 0, End = 0, NameChunk = 0, MaskChunk = 0, RasterChunk = 0, RasterData = 0, ExtensionChunk = 0;
};

// The dictionary's own header: the dictionary chunk (its size at byte 4, its
// version at 8), then its struct, whose size is at 16 and whose first 16 bits
// (byte 24) count the textures; the records follow the struct. Each reads
// and writes bytes the caller has checked are there (kDictionaryHeaderBytes).
std::uint32_t DictionaryChunkSize(const std::vector<std::uint8_t>& bytes);
void SetDictionaryChunkSize(std::vector<std::uint8_t>& bytes, std::uint32_t size);
std::uint32_t DictionaryVersion(const std::vector<std::uint8_t>& bytes);
std::uint16_t DictionaryTextureCount(const std::vector<std::uint8_t>& bytes);
void SetDictionaryTextureCount(std::vector<std::uint8_t>& bytes, std::uint16_t count);
std::uint64_t FirstRecordOffset(const std::vector<std::uint8_t>& bytes);
// The same count from the header's first 26 bytes as read.
inline std::uint16_t DictionaryTextureCount(const std::uint8_t* header) {
    return static_cast<std::uint16_t>(header[24] | header[25] << 8);
}

// The fixed layout: where a record's parts lie when its chunk sizes do not say.
// The names are found by their stop bytes; the distances are from the record's
// start to its name, from the name's stop byte to the mask, from the mask's stop
// byte to the raster's size word, from after that word to the raster's data, and
// past the raster's bytes to the next record.
inline constexpr std::uint64_t kFixedNameOffset = 44;
inline constexpr std::uint32_t kFixedMaskSkip = 11, kFixedSizeSkip = 3, kFixedDataSkip = 16, kFixedRecordTail = 32;

// The device id a 3.6 stamp's struct keeps beside the count (bytes 26 and 27);
// 0 where the struct is an older 32-bit count or not 4 bytes.
std::uint16_t DictionaryDevice(const std::vector<std::uint8_t>& bytes);
void SetDictionaryDevice(std::vector<std::uint8_t>& bytes, std::uint16_t device);
// An extension chunk with nothing in it, as records and dictionaries end.
std::vector<std::uint8_t> EmptyExtensionChunk(std::uint32_t version);

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
