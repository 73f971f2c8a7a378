#pragma once
// The console's textures behind the platform interface: the walk, DecodeRaster
// and the raster layout as they always were.
#include "dictionary/texture_codec.h"

namespace kelmora {

class Ps2Codec final : public TextureCodec {
public:
    DecodeResult Decode(const ByteSource& source, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                        std::uint32_t level) const override;
    std::uint32_t StoredLevels(const ByteSource& source, const TTexEntry& entry) const override;
    void DescribeStorage(const ByteSource& source, const TTexEntry& entry, PropertyList& rows) const override;
    void DescribeRecord(const ByteSource& source, const TTexEntry& entry, PropertyList& rows) const override;
    bool Editable() const override { return true; }
    bool HalfRangeAlpha() const override { return true; }
};

} // namespace kelmora
