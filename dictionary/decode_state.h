#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace kelmora {

// One palette entry in file order; alpha 128 is opaque.
struct PaletteEntry {
    std::uint8_t R = 0, G = 0, B = 0, A = 0;
};
static_assert(sizeof(PaletteEntry) == 4);

using TexPalette = std::array<PaletteEntry, 256>;

// What the last decode left: every decode overwrites it.
struct DecodeState {
    std::uint32_t TexWidth = 0;
    std::uint32_t TexHeight = 0;
    std::uint32_t TexDepth = 0;
    TexPalette Palette{};
    // Pixels[x][y] lives at Pixels[y * TexWidth + x]: rows are what pictures and
    // files are made of, so they are kept contiguous.
    std::vector<std::uint8_t> Pixels;

    std::uint8_t Pixel(std::uint32_t x, std::uint32_t y) const {
        return Pixels[static_cast<std::size_t>(y) * TexWidth + x];
    }
    // False after a decode that stopped before sizing the grid.
    bool HasGrid() const {
        return Pixels.size() == static_cast<std::size_t>(TexWidth) * TexHeight;
    }
};

} // namespace kelmora
