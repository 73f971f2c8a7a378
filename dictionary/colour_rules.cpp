#include "dictionary/colour_rules.h"

namespace kelmora {

Rgb ViewColour(const PaletteEntry& e, bool alphaView, bool brighten) {
    if (!alphaView)
        return {e.R, e.G, e.B};
    std::uint8_t g = brighten ? BrightenAlpha(e.A) : e.A;
    return {g, g, g};
}

std::array<Rgb, 256> MakeViewPalette(const TexPalette& palette, bool alphaView, bool brighten) {
    std::array<Rgb, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = ViewColour(palette[i], alphaView, brighten);
    return table;
}

IndexedImage MakeIndexedImage(const DecodeState& state, bool alphaView, bool brighten) {
    IndexedImage img;
    img.Colours = MakeViewPalette(state.Palette, alphaView, brighten);
    // A decode refused for its size left no grid: there is no picture to make.
    if (!state.HasGrid())
        return img;
    img.Width = state.TexWidth;
    img.Height = state.TexHeight;
    img.Rows = state.Pixels; // the grid is already stored row by row, top first
    return img;
}

} // namespace kelmora
