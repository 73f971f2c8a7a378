#pragma once
// Direct3D 8, Direct3D 9 and Xbox textures behind the platform interface.
#include "dictionary/native_format.h"
#include "dictionary/texture_codec.h"

namespace kelmora {

class NativeCodec final : public TextureCodec {
public:
    DecodeResult Decode(const ByteSource& source, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                        std::uint32_t level) const override;
    std::uint32_t StoredLevels(const ByteSource& source, const TTexEntry& entry) const override;
    void DescribeStorage(const ByteSource& source, const TTexEntry& entry, PropertyList& rows) const override;
    void DescribeRecord(const ByteSource& source, const TTexEntry& entry, PropertyList& rows) const override;
    bool Editable() const override { return true; }
    bool HalfRangeAlpha() const override { return false; }
};

// One level's stored bytes as R, G, B, A texels (alpha 0..255), or for the
// palettised formats as indices; w x h of them, rows top first. pitch: the
// stored row's bytes (DXT: a row of blocks).
void DecodeNativeTexels(NativeFormat format, const std::uint8_t* data, std::uint32_t w, std::uint32_t h,
                        std::uint32_t pitch, PaletteEntry* out);
void DecodeNativeIndices(const std::uint8_t* data, std::uint32_t w, std::uint32_t h, std::uint32_t pitch,
                         bool nibbles, std::uint8_t* out);

// Whether a level's texels lie in Xbox's Morton order: raw formats of
// power-of-two sides on Xbox.
bool XboxSwizzles(TexturePlatform platform, NativeFormat format, std::uint32_t w, std::uint32_t h);
// The index of texel (x, y) in the Morton order Xbox stores raw textures in.
std::size_t MortonIndex(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h);

} // namespace kelmora
