#pragma once
// A picture brought to another size for a texture that keeps its own: each
// side area-averaged when it shrinks and interpolated linearly when it grows,
// in premultiplied alpha so that transparent texels lend no colour to their
// neighbours. The result is true colour with the picture's alpha.
#include <cstdint>

#include "images/image_input.h"

namespace kelmora {

InputImage ScaleImage(const InputImage& image, std::uint32_t width, std::uint32_t height);

} // namespace kelmora
