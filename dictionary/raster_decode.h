#pragma once
// Decodes one texture of a dictionary into the decode state.
#include <cstdint>
#include <functional>
#include <string>

#include "dictionary/decode_state.h"
#include "dictionary/tex_entry.h"

namespace kelmora {

// Larger sides are refused before anything is allocated for them.
inline constexpr std::uint32_t kMaxTextureSide = 16384;

enum class DecodeStatus { Ok, UnsupportedDepth, TooLarge };

struct DecodeResult {
    DecodeStatus Status = DecodeStatus::Ok;
    std::uint32_t PaletteOffset = 0; // absolute file offsets
    std::uint32_t ImageOffset = 0;
    std::string Message;             // the user's text when Status is not Ok

    bool Ok() const { return Status == DecodeStatus::Ok; }
};

// Reads the raster at entry.DataOffset of path. onHeader runs once the raster
// header is read, before the grid is sized. Throws KelmoraError when the file
// cannot be opened; an unsupported depth or size is a result, not an error.
DecodeResult DecodeRaster(const std::string& path, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                          const std::function<void()>& onHeader = {});

} // namespace kelmora
