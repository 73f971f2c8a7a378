#pragma once
// Direct3D 8, Direct3D 9 and Xbox levels written: the inverse of
// DecodeNativeTexels and DecodeNativeIndices, with DXT blocks from libsquish.
#include <cstdint>
#include <vector>

#include "dictionary/decode_state.h"
#include "dictionary/native_format.h"

namespace kelmora {

// How hard the DXT encoder looks for each block's two colours: range fit,
// cluster fit (the default) or iterative cluster fit.
enum class DxtQuality : std::uint8_t { Fast, Normal, Best };

// What a texel (R, G, B, A, alpha 0..255) of a raw format reads back as: its
// channels rounded to the format's bits, alpha 255 where the format has none.
// DXT and palettised formats give the texel back unchanged.
PaletteEntry AsStoredNative(NativeFormat format, PaletteEntry texel);

// One level's stored bytes: w x h texels (rows top first) in format, rows of
// pitch bytes with zero padding; DXT as blocks (pitch ignored), DXT2 and DXT4
// as DXT3 and DXT5 blocks of the colours as given. morton: Xbox's raw order.
std::vector<std::uint8_t> EncodeNativeTexels(NativeFormat format, const PaletteEntry* texels, std::uint32_t w,
                                             std::uint32_t h, std::uint32_t pitch, DxtQuality quality, bool morton);
// One palettised level: a byte an index, rows of pitch bytes.
std::vector<std::uint8_t> EncodeNativeIndices(const std::uint8_t* indices, std::uint32_t w, std::uint32_t h,
                                              std::uint32_t pitch, bool morton);

} // namespace kelmora
