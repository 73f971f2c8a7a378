#pragma once
// Pictures put into Direct3D 8, Direct3D 9 and Xbox textures, and new textures
// added to their dictionaries. A record is written whole, as real files hold it:
// its levels rebuilt as the texture had them, byte counts and row pitch as the
// old record had them, flags set from the pixels, name fields kept as stored.
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/native_encode.h"
#include "dictionary/native_format.h"
#include "editing/put_back.h"

namespace kelmora {

// Every texel of a picture as R, G, B, A, palettised or not; whether any of
// the pictures has a texel below 255.
std::vector<PaletteEntry> TexelsOf(const DecodeState& picture);
bool UsesAlpha(const std::vector<DecodeState>& pictures);

// The refusal of texture index whose PC or Xbox record does not read whole.
KelmoraError UnreadableRecord(std::size_t index);

// What a record's levels are written like: rows of small levels padded to 4
// bytes, DXT levels below 4 x 4 stored empty.
struct NativeRules {
    bool PadSmallRows = true;
    bool EmptySmallDxt = false;
    bool Unswizzle = true; // Xbox's raw texels in Morton order
};
NativeRules RulesOf(const NativeRecord& record);

// Fills texture's size, level count, format words, palette and levels from
// pictures (level 0 first, alpha 0..255; palettised formats use the pictures'
// indices and level 0's palette). expected gets what each level reads back as
// (empty where a level is stored empty); lossy tells whether the format only
// comes near the pictures (DXT). False when the platform does not store format.
struct NativeEncoded {
    std::vector<DecodeState> Expected;
    bool Lossy = false;
    bool Alpha = false; // the texels use alpha
};
bool EncodeNativeTexture(NativeTexture& texture, NativeFormat format, const std::vector<DecodeState>& levels,
                         const NativeRules& rules, DxtQuality quality, NativeEncoded& encoded);

// The level count a record of w x h holds: the full chain, or, like an old record
// whose chain stopped early, one that stops at the same smallest side.
std::uint32_t FullChainLevels(std::uint32_t w, std::uint32_t h);
std::uint32_t LevelsLike(const NativeRecord& old, std::uint32_t w, std::uint32_t h);

// Sides a native texture may have: 1 to 4096, any number.
void CheckNativeSides(const std::string& image, std::uint32_t w, std::uint32_t h);

// The window's depth choice for a new PC or Xbox texture: 4 and 8 bits
// palettised on Direct3D 8, 32 bits 8888, anything else DXT (Unknown: DXT1, or
// DXT5 with alpha).
NativeFormat NativeFormatForDepth(TexturePlatform platform, std::uint32_t depth);

// A format by its name ("DXT1", "8888", "PAL8", ...); Unknown for none.
NativeFormat NativeFormatNamed(const std::string& name);

// The native side of PlanPut, PutImage and AddImage (put_back.h).
PutOutcome PlanNativePut(const Dictionary& dictionary, std::size_t index, const InputImage& image,
                         const PutBackOptions& options);
PutOutcome PutNativeImage(DictionaryEdit& edit, std::size_t index, const InputImage& image, const std::string& name,
                          const PutBackOptions& options, const std::vector<std::string>& mipFiles);
void AddNativeImage(DictionaryEdit& edit, const InputImage& image, const std::string& imageName,
                    const std::string& name, const std::string& mask, std::uint32_t levels,
                    const PutBackOptions& options);
// The platform new textures of a dictionary get: its textures' (the console's when it has none).
TexturePlatform PlatformOfDictionary(const Dictionary& dictionary);

} // namespace kelmora
