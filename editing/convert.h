#pragma once
// A dictionary converted to another platform's records: the console's (swizzled,
// palettised, alpha 0..128) and the PC and Xbox ones. Each texture is decoded and
// written again in what the target holds best; whatever it loses is said per
// texture. The console's alpha becomes 0..255 by the rule converting back undoes
// exactly, so a palettised texture goes to Direct3D 8 and back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/errors.h"
#include "dictionary/dictionary.h"
#include "dictionary/native_encode.h"

namespace kelmora {

struct ConvertOptions {
    TexturePlatform To = TexturePlatform::Direct3D9;
    bool Compress = false;        // PC and Xbox: DXT1 (DXT5 with alpha) instead of raw texels
    DxtQuality Quality = DxtQuality::Normal;
    std::uint32_t Depth = 0;      // to the console: 4 or 8 bits, 16 or 32 true colour; 0: a palettised
                                  // texture's own depth, else 8
    bool Resize = false;          // to the console: sides it cannot hold scaled to ones it can
    bool Dither = true;
    bool Unswizzle = true;
};

// What converting did to one texture, where it did more than change the record.
struct ConvertNote {
    std::size_t Texture = 0;
    std::string Name;
    std::string FormatBefore, FormatAfter; // "8bit", "DXT1", "8888", ...
    std::uint32_t WidthBefore = 0, HeightBefore = 0, Width = 0, Height = 0;
    std::size_t LevelsBefore = 0, Levels = 0;
    bool LostColours = false; // colours that differ after quantising or rounding
    bool Compressed = false;  // DXT blocks: colours come near, not back
    bool LostAlpha = false;   // alpha the target's range cannot give back
};

struct ConvertResult {
    std::vector<std::uint8_t> Bytes;     // empty when any texture was refused
    std::vector<ConvertNote> Notes;      // the textures that lost or changed something
    struct Refusal {
        std::size_t Texture;
        std::string Name;
        KelmoraError Error;
    };
    std::vector<Refusal> Refused;        // per texture
    std::size_t Textures = 0;
};

// Converts a whole dictionary; textures already of the target platform are kept
// as they are. Throws KelmoraError for a dictionary that cannot be converted at all.
ConvertResult ConvertDictionary(const Dictionary& source, const ConvertOptions& options);

// "ps2", "d3d8", "d3d9", "xbox" (any case); Unsupported for anything else.
TexturePlatform PlatformNamed(const std::string& key);

} // namespace kelmora
