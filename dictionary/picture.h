#pragma once
// What the display shows and the BMP and JPEG writers take: an 8-bit palettised
// picture for 4- and 8-bit textures and for every alpha view, a true-colour one
// for the colours of 16- and 32-bit textures.
#include <cstdint>
#include <variant>
#include <vector>

#include "dictionary/decode_state.h"
#include "dictionary/indexed_image.h"

namespace kelmora {

struct RgbImage {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::vector<Rgb> Pixels; // Height rows of Width pixels, top row first

    const Rgb* Row(std::uint32_t y) const { return Pixels.data() + static_cast<std::size_t>(y) * Width; }
};

using Picture = std::variant<IndexedImage, RgbImage>;

// The decode state as the picture to show or write: the colours, or with the
// alpha view the grey of each texel's alpha (brightened on request).
Picture MakePicture(const DecodeState& state, bool alphaView, bool brighten);

std::uint32_t PictureWidth(const Picture& p);
std::uint32_t PictureHeight(const Picture& p);

} // namespace kelmora
