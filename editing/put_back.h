#pragma once
// Putting an image into a dictionary as a texture: the one implementation that
// kelmora-cli's commands and the window's Edit menu both call.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/native_encode.h"
#include "dictionary/native_format.h"
#include "editing/dictionary_edit.h"
#include "editing/texture_import.h"
#include "images/image_input.h"

namespace kelmora {

struct PutBackOptions {
    bool Unswizzle = true;    // the filter the image was exported with
    ImportOptions Import;     // brighten, dither, keep palette
    std::uint32_t Depth = 0;  // 4, 8, 16 or 32; 0 keeps the texture's (8 for new ones)
    // PC and Xbox textures: the storage (Unknown keeps the texture's; new ones
    // get DXT1, or DXT5 with alpha) and how hard DXT blocks are fitted.
    NativeFormat Format = NativeFormat::Unknown;
    DxtQuality Quality = DxtQuality::Normal;
};

// Sides of new textures: powers of two from 8 to 1024, as the console's tools make.
void CheckSides(const std::string& image, std::uint32_t w, std::uint32_t h);

// The sides a texture of the platform may take: the console's rule, or 1 to
// 4096 on the PC and Xbox.
void CheckSidesFor(TexturePlatform platform, const std::string& image, std::uint32_t w, std::uint32_t h);

// A texture's shape: what a put-back may change.
struct TextureShape {
    std::uint32_t Width = 0, Height = 0, Depth = 0;
    std::size_t Levels = 1;
    std::string Format; // PC and Xbox textures: "DXT1", "8888", ...; empty on the console
    bool operator==(const TextureShape&) const = default;
};

// Where the alpha of a texture put back came from.
enum class AlphaSource {
    Image,   // the image's own
    Kept,    // the image has none: the texture's present alpha
    Opaque,  // the image has none and the texture's size changed: opaque
};

// What putting an image back did, for the front ends to say.
struct PutOutcome {
    bool Changed = false; // false: the image holds what the texture holds
    TextureShape Before, After;
    AlphaSource Alpha = AlphaSource::Image;
    bool FormatForAlpha = false; // the format changed to hold the picture's alpha
    bool Reshaped() const { return !(Before == After); }
    bool Resized() const { return Before.Width != After.Width || Before.Height != After.Height; }
};

// The shape texture index would have with image put in: its own size, the depth
// asked for (or its own) and the level count a reshape gives.
PutOutcome PlanPut(const Dictionary& dictionary, std::size_t index, const InputImage& image,
                   const PutBackOptions& options);

// Puts image (named name in messages) in place of texture index. An image of
// another size, or another depth asked for, lays the record out anew. An image
// without alpha keeps the texture's. mipFiles[n], where given, are level n's images.
PutOutcome PutImage(DictionaryEdit& edit, std::size_t index, const InputImage& image, const std::string& name,
                    const PutBackOptions& options, const std::vector<std::string>& mipFiles = {});

// Level 0 and the levels below it: from mipFiles[n] where there is one, else
// halved from the level above.
std::vector<DecodeState> LevelsFrom(DecodeState level0, std::uint32_t count, const ImportOptions& options,
                                    const std::vector<std::string>& mipFiles);

// A new texture from image after the last, with levels made from it.
// The most levels a new texture of that depth and size holds.
std::uint32_t MostLevels(std::uint32_t depth, std::uint32_t w, std::uint32_t h);
void AddImage(DictionaryEdit& edit, const InputImage& image, const std::string& imageName, const std::string& name,
              const std::string& mask, std::uint32_t levels, const PutBackOptions& options);

// Whether putting image into a texture of this depth must quantise or map colours:
// the image's colours are neither its own palette within the depth nor all on
// the texture's palette. The window asks how only then.
bool NeedsColourChoice(const InputImage& image, const DecodeState& texture);

} // namespace kelmora
