#pragma once
// How palette entries become colours on screen and in files.
#include <array>
#include <cstdint>

#include "dictionary/decode_state.h"
#include "dictionary/indexed_image.h"

namespace kelmora {

// Doubles the console's 0..128 alpha to 0..255: 0 stays 0, else (2a - 1) mod 256.
constexpr std::uint8_t BrightenAlpha(std::uint8_t a) {
    return a == 0 ? 0 : static_cast<std::uint8_t>(2 * a - 1);
}

// The colour of one palette entry: its RGB, or with the alpha view the grey of its alpha.
Rgb ViewColour(const PaletteEntry& e, bool alphaView, bool brighten);

// The 256-entry colour table of a picture built from the palette.
std::array<Rgb, 256> MakeViewPalette(const TexPalette& palette, bool alphaView, bool brighten);

// The decode state as an 8-bit picture. For a true-colour texture this is its
// alpha as grey, whatever alphaView says: only the alpha fits 256 indices.
IndexedImage MakeIndexedImage(const DecodeState& state, bool alphaView, bool brighten);

} // namespace kelmora
