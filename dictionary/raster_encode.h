#pragma once
// Writes a picture back into a texture's raster: the exact inverse of
// DecodeRaster, step for step. Encoding what a decode gave back yields the bytes
// that were there; bytes no texel covers (padding of small and narrow levels,
// the unused bytes after a 4-bit palette) stay as they are.
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/decode_state.h"
#include "dictionary/tex_entry.h"

namespace kelmora {

enum class EncodeStatus {
    Ok, UnsupportedDepth, WrongSize,
    OtherPlatform, // the texture is not the console's: its raster is not written here
};

struct EncodeResult {
    EncodeStatus Status = EncodeStatus::Ok;
    std::uint32_t Depth = 0; // the raster's bits a texel
    std::uint32_t Level = 0; // the level the picture was for
    bool Ok() const { return Status == EncodeStatus::Ok; }
};

// Writes one level of state (its indices and, at level 0, its palette; or its
// texels) into the raster at entry.DataOffset of the dictionary's bytes.
// unswizzle must be what the picture was decoded with. The state must have the
// level's size and the raster's depth; nothing is written otherwise.
EncodeResult EncodeRaster(std::vector<std::uint8_t>& dictionary, const TTexEntry& entry, bool unswizzle,
                          const DecodeState& state, std::uint32_t level = 0);

// The 5-5-5-1 texel of a colour: the inverse of the decode's widening, and alpha
// of 64 or more sets the opaque bit.
std::uint16_t ToColour16(const PaletteEntry& e);

// A colour as a 16-bit texture stores it and reads it back.
PaletteEntry AsStored16(const PaletteEntry& e);

} // namespace kelmora
