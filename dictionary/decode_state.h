#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace kelmora {

// One palette entry in file order; alpha 128 is opaque on the console, 255 on
// the other platforms. True-colour texels use the same four bytes.
struct PaletteEntry {
    std::uint8_t R = 0, G = 0, B = 0, A = 0;
    bool operator==(const PaletteEntry&) const = default;
};
static_assert(sizeof(PaletteEntry) == 4);

using TexPalette = std::array<PaletteEntry, 256>;

// What the last decode left: every decode overwrites it. A palettised texture
// (4 or 8 bits) fills Palette and Pixels; a true-colour one (16 or 32 bits) fills
// Texels instead. TexWidth and TexHeight are those of the level decoded.
struct DecodeState {
    std::uint32_t TexWidth = 0;
    std::uint32_t TexHeight = 0;
    std::uint32_t TexDepth = 0;
    TexPalette Palette{};
    // Pixels[x][y] lives at Pixels[y * TexWidth + x]: rows are what pictures and
    // files are made of, so they are kept contiguous.
    std::vector<std::uint8_t> Pixels;
    // True colour: R, G, B, A (alpha 0..128) per texel, rows top first.
    std::vector<PaletteEntry> Texels;
    bool TrueColour = false;
    // Alpha already runs 0..255 (the PC and Xbox platforms): no brightening applies.
    bool FullAlpha = false;
    // Entries the palette holds when that is not what the depth says (32 for a
    // Direct3D 8 4-bit texture); 0: the depth's 16 or 256.
    std::uint32_t PaletteSize = 0;

    std::uint32_t PaletteEntries() const {
        return TrueColour ? 0 : PaletteSize ? PaletteSize : TexDepth == 4 ? 16 : 256;
    }
    // The alpha as a picture shows it: the console's 0..128 brightened on request.
    bool Brightens(bool brighten) const { return brighten && !FullAlpha; }

    std::uint8_t Pixel(std::uint32_t x, std::uint32_t y) const {
        return Pixels[static_cast<std::size_t>(y) * TexWidth + x];
    }
    // The colour and alpha of one texel, whatever the kind of texture.
    PaletteEntry Colour(std::uint32_t x, std::uint32_t y) const {
        const std::size_t i = static_cast<std::size_t>(y) * TexWidth + x;
        return TrueColour ? Texels[i] : Palette[Pixels[i]];
    }
    // False after a decode that stopped before it filled the picture.
    bool HasGrid() const {
        const std::size_t n = static_cast<std::size_t>(TexWidth) * TexHeight;
        return TrueColour ? Texels.size() == n : Pixels.size() == n;
    }
};

} // namespace kelmora
