#pragma once
// Putting an image into a dictionary as a texture: the one implementation that
// kelmora-cli's commands and the window's Edit menu both call.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "editing/dictionary_edit.h"
#include "editing/texture_import.h"
#include "images/image_input.h"

namespace kelmora {

struct PutBackOptions {
    bool Unswizzle = true;    // the filter the image was exported with
    ImportOptions Import;     // brighten, dither, keep palette
    std::uint32_t Depth = 0;  // 4, 8, 16 or 32; 0 keeps the texture's (8 for new ones)
};

// Sides of new textures: powers of two from 8 to 1024, as the console's tools make.
void CheckSides(const std::string& image, std::uint32_t w, std::uint32_t h);

// Puts image (named name in messages) in place of texture index; false when it
// holds what the texture holds. An image of another size, or another depth asked
// for, lays the record out anew. mipFiles[n], where given, are level n's images.
bool PutImage(DictionaryEdit& edit, std::size_t index, const InputImage& image, const std::string& name,
              const PutBackOptions& options, const std::vector<std::string>& mipFiles = {});

// A new texture from image after the last, with levels made from it.
void AddImage(DictionaryEdit& edit, const InputImage& image, const std::string& imageName, const std::string& name,
              const std::string& mask, std::uint32_t levels, const PutBackOptions& options);

// Whether putting image into a texture of this depth must quantise or map colours:
// the image's colours are neither its own palette within the depth nor all on
// the texture's palette. The window asks how only then.
bool NeedsColourChoice(const InputImage& image, const DecodeState& texture);

} // namespace kelmora
