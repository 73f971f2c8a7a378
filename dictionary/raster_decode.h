#pragma once
// Decodes one texture of a dictionary into the decode state.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "dictionary/decode_state.h"
#include "dictionary/tex_entry.h"

namespace kelmora {

// Larger sides are refused before anything is allocated for them.
inline constexpr std::uint32_t kMaxTextureSide = 16384;

enum class DecodeStatus { Ok, UnsupportedDepth, TooLarge, DataMissing, NoSuchLevel, OutOfMemory };

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
    std::string Message;             // the user's text when Status is not Ok

    bool Ok() const { return Status == DecodeStatus::Ok; }
    // Decoded, but the file ends inside level 0's pixels.
    bool CutShort() const { return DataPresent < DataNeeded; }
};

// Reads the raster at entry.DataOffset of path. onHeader runs once the raster
// header is read, before the grid is sized. level 0 is the full picture; the
// state then holds the level's size. Throws KelmoraError when the file cannot
// be opened; an unsupported depth or size is a result, not an error.
DecodeResult DecodeRaster(const std::string& path, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                          const std::function<void()>& onHeader = {}, std::uint32_t level = 0);

// Whether the row-pair reading with the three passes gives the console's picture
// for a palettised level stored in a transfer of rrw x rrh pixels.
bool RowPassesApply(std::uint32_t depth, std::uint32_t w, std::uint32_t h, std::uint32_t rrw, std::uint32_t rrh);

} // namespace kelmora
