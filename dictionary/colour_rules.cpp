#include "dictionary/colour_rules.h"

#include "dictionary/picture.h"

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
    brighten = state.Brightens(brighten);
    IndexedImage img;
    if (state.TrueColour) {
        // The alpha of a true-colour texture as a grey picture: index = alpha.
        for (int a = 0; a < 256; ++a) {
            const auto g = brighten ? BrightenAlpha(static_cast<std::uint8_t>(a)) : static_cast<std::uint8_t>(a);
            img.Colours[static_cast<std::size_t>(a)] = {g, g, g};
        }
        if (!state.HasGrid())
            return img;
        img.Width = state.TexWidth;
        img.Height = state.TexHeight;
        img.Rows.resize(state.Texels.size());
        for (std::size_t i = 0; i < state.Texels.size(); ++i)
            img.Rows[i] = state.Texels[i].A;
        return img;
    }
    img.Colours = MakeViewPalette(state.Palette, alphaView, brighten);
    // A decode refused for its size left no grid: there is no picture to make.
    if (!state.HasGrid())
        return img;
    img.Width = state.TexWidth;
    img.Height = state.TexHeight;
    img.Rows = state.Pixels; // the grid is already stored row by row, top first
    return img;
}

Picture MakePicture(const DecodeState& state, bool alphaView, bool brighten) {
    if (!state.TrueColour || alphaView)
        return MakeIndexedImage(state, alphaView, brighten);
    RgbImage img;
    if (!state.HasGrid())
        return img;
    img.Width = state.TexWidth;
    img.Height = state.TexHeight;
    img.Pixels.reserve(state.Texels.size());
    for (const PaletteEntry& e : state.Texels)
        img.Pixels.push_back({e.R, e.G, e.B});
    return img;
}

std::uint32_t PictureWidth(const Picture& p) {
    return std::visit([](const auto& img) { return img.Width; }, p);
}

std::uint32_t PictureHeight(const Picture& p) {
    return std::visit([](const auto& img) { return img.Height; }, p);
}

} // namespace kelmora
