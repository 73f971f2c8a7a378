#pragma once
// Decodes one texture of a dictionary into the decode state.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/byte_source.h"
#include "dictionary/decode_state.h"
#include "dictionary/tex_entry.h"
#include "dictionary/texture_platform.h"

namespace kelmora {

// Larger sides are refused before anything is allocated for them.
inline constexpr std::uint32_t kMaxTextureSide = 16384;

enum class DecodeStatus {
    Ok, UnsupportedDepth, TooLarge, DataMissing, NoSuchLevel, OutOfMemory,
    UnsupportedPlatform, // PlatformId: a record of no platform Kelmora reads
    UnsupportedFormat,   // Platform, FormatCode: a storage format it does not know
    NoPixels,            // a side of 0
};

struct DecodeResult {
    DecodeStatus Status = DecodeStatus::Ok;
    std::uint32_t PaletteOffset = 0; // absolute file offsets: the palette and level 0's pixels
    std::uint32_t ImageOffset = 0;
    bool LayoutFromFile = false;     // the file's own headers placed the levels; else the fixed offsets
    std::size_t LevelCount = 1;      // levels the raster stores
    std::uint32_t Level = 0;         // the level decoded
    std::uint32_t Width = 0;         // level 0's size, whatever level was decoded
    std::uint32_t Height = 0;
    std::uint64_t DataNeeded = 0;    // bytes of level 0's pixels, and how many the file holds
    std::uint64_t DataPresent = 0;
    std::uint32_t PaletteBytesRead = 0; // of the palette, from its first byte on
    bool PaletteReordered = false;      // the 8-bit palette order was undone after the read
    std::uint32_t Depth = 0;         // the raster's bits a texel, as its header says
    TexturePlatform Platform = TexturePlatform::Ps2;
    std::uint32_t PlatformId = 0;    // of a record whose platform is not read
    std::uint32_t FormatCode = 0;    // the record's word for a format that is not read

    bool Ok() const { return Status == DecodeStatus::Ok; }
    // Decoded, but the file ends inside level 0's pixels.
    bool CutShort() const { return DataPresent < DataNeeded; }
};

// Reads the raster at entry.DataOffset of the source into state. level 0 is the
// full picture; the state then holds the level's size. A 4-bit decode writes
// palette entries 0 to 15 only. An unsupported depth or size is a result, not an
// error. Callers that want a value use DecodeTexture (dictionary.h).
DecodeResult DecodeRaster(const ByteSource& source, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                          std::uint32_t level = 0);

// Whether the row-pair reading with the three passes gives the console's picture
// for a palettised level stored in a transfer of rrw x rrh pixels.
bool RowPassesApply(std::uint32_t depth, std::uint32_t w, std::uint32_t h, std::uint32_t rrw, std::uint32_t rrh);

// A 16-bit texel (5-5-5-1, red in the low bits) as the decode gives it: 5-bit
// channels widened to 0..255, the alpha bit as 128 or 0.
PaletteEntry FromColour16(std::uint16_t v);

} // namespace kelmora
