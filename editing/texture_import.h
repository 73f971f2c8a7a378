#pragma once
// Turns an image into a texture's picture, undoing what an export did: the
// brightened alpha, and for palettised textures the palette and indices kept
// exactly where the image is palettised within the texture's depth. Other
// pictures are quantised (libimagequant) or mapped onto the present palette.
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/decode_state.h"
#include "images/image_input.h"

namespace kelmora {

struct ImportOptions {
    bool Brighten = true;     // the image's alpha was brightened on export
    bool Dither = true;       // when quantising
    bool KeepPalette = false; // map onto the texture's present palette instead of quantising
};

// The exact inverse of BrightenAlpha for every value it gives (0, 1, 3, ... 255);
// other values come to the nearest console alpha.
constexpr std::uint8_t UnbrightenAlpha(std::uint8_t b) {
    return b == 0 ? 0 : static_cast<std::uint8_t>((b + 1) / 2);
}

// Whether a palettised image's indices all fit a palette of `entries` entries.
bool IndicesFit(const InputImage& image, std::size_t entries);
// Whether every colour of the image (alpha un-brightened on request) is an entry
// of the texture's palette; the image has the texture's size. indices, when
// given, gets an index per texel: the texture's present one wherever it still
// holds that colour, else the colour's first entry.
bool ColoursOnPalette(const InputImage& image, const DecodeState& texture, bool brighten,
                      std::vector<std::uint8_t>* indices);

// Level 0 of the texture from the image. current is the texture's present level 0
// (its depth and size, and the palette entries an image leaves unsaid). Throws
// KelmoraError naming the image when it does not fit.
DecodeState PictureFromImage(const InputImage& image, const DecodeState& current, const ImportOptions& options,
                             const std::string& name);

// A further level from a picture of the same palette: how the image's pixels map
// onto level 0's palette (indices kept when the image is palettised within it).
DecodeState LevelFromImage(const InputImage& image, const DecodeState& level0, std::uint32_t w, std::uint32_t h,
                           const ImportOptions& options, const std::string& name);

// The next smaller level: each texel the 2 x 2 average of the level above, in
// colour and alpha, then the nearest entry of the palette.
DecodeState HalvedLevel(const DecodeState& above, std::uint32_t w, std::uint32_t h);

// Whether two pictures hold the same texels (and, palettised, the same palette
// entries as far as the depth reaches).
bool SamePicture(const DecodeState& a, const DecodeState& b);

// The picture with the alpha of its grey companion (the file extract writes beside
// a BMP or JPEG): each pixel's alpha is the companion's grey there. Throws
// KelmoraError when the two differ in size.
InputImage WithAlphaFrom(const InputImage& image, const InputImage& companion, const std::string& companionName);
// The picture with the texture's present alpha texel by texel (brightened on
// request, as an export would have shown it); current has the image's size.
InputImage WithPresentAlpha(const InputImage& image, const DecodeState& current, bool brighten);

} // namespace kelmora
