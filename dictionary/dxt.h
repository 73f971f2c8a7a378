#pragma once
// Block compression as Direct3D decodes it: DXT1 (colour, with a transparent
// code when its first colour is not above its second), DXT2/DXT3 (explicit 4-bit
// alpha) and DXT4/DXT5 (interpolated alpha). DXT2 and DXT4 hold colours already
// multiplied by their alpha; they decode as stored.
#include <cstddef>
#include <cstdint>

#include "dictionary/decode_state.h"

namespace kelmora {

enum class DxtKind { Dxt1, Dxt3, Dxt5 };

// One block's 16 texels, row by row, alpha 0..255.
void DecodeDxtBlock(DxtKind kind, const std::uint8_t* block, PaletteEntry out[16]);

// A w x h picture from its blocks (row after row of ceil(w/4) blocks); texels of
// partial blocks past the picture's edge are dropped.
void DecodeDxt(DxtKind kind, const std::uint8_t* blocks, std::uint32_t w, std::uint32_t h, PaletteEntry* out);

} // namespace kelmora
