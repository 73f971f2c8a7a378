#pragma once
// Pictures read from image files, for putting edited textures back: PNG through
// libspng, JPEG through libjpeg, TGA and BMP read here. Sizes are checked before
// anything is allocated for the pixels.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/decode_state.h"

namespace kelmora {

// Larger pictures are refused before their pixels are read: textures are at most
// 1024 on a side, and a few bytes of PNG must not cost gigabytes.
inline constexpr std::uint32_t kMaxImageSide = 4096;

struct InputImage {
    std::uint32_t Width = 0, Height = 0;
    // Palettised: an index per pixel and the palette as stored (colours and the
    // file's alpha, 0..255, 255 where the file has none).
    bool Indexed = false;
    std::vector<std::uint8_t> Indices;
    std::vector<PaletteEntry> Palette;
    // Otherwise, or as well: R, G, B and alpha 0..255 per pixel, rows top first.
    std::vector<PaletteEntry> Rgba;
    bool HasAlpha = false; // the file says something about alpha

    // The colour of pixel i, whatever the kind of picture.
    PaletteEntry Pixel(std::size_t i) const { return Indexed ? Palette[Indices[i]] : Rgba[i]; }
};

// Reads a PNG, TGA, BMP or JPEG file, told apart by its content. Throws
// KelmoraError with the user's text ("PATH is not an image Kelmora reads",
// "PATH: ... is cut short", "PATH: 65535 x 65535 is too large", ...).
InputImage ReadImage(const std::string& path);
// The same from bytes; name is what messages call them.
InputImage ReadImage(const std::vector<std::uint8_t>& bytes, const std::string& name);

} // namespace kelmora
