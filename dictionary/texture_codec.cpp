#include "dictionary/texture_codec.h"

#include "base/bytes.h"
#include "dictionary/native_codec.h"
#include "dictionary/native_format.h"
#include "dictionary/ps2_codec.h"

namespace kelmora {

namespace {

// A record of a platform Kelmora does not read: listed, refused at every decode.
class UnsupportedCodec final : public TextureCodec {
public:
    DecodeResult Decode(const ByteSource&, const TTexEntry& e, bool, DecodeState&, std::uint32_t) const override {
        DecodeResult r;
        r.Status = DecodeStatus::UnsupportedPlatform;
        r.Platform = TexturePlatform::Unsupported;
        r.PlatformId = e.PlatformId;
        return r;
    }
    std::uint32_t StoredLevels(const ByteSource&, const TTexEntry&) const override { return 0; }
    void DescribeStorage(const ByteSource&, const TTexEntry& e, PropertyList& rows) const override {
        rows.emplace_back("Format", "platform " + std::to_string(e.PlatformId) + " is not supported");
    }
    void DescribeRecord(const ByteSource&, const TTexEntry& e, PropertyList& rows) const override {
        rows.emplace_back("Record at", std::to_string(e.RecordStart));
    }
    bool Editable() const override { return false; }
    bool HalfRangeAlpha() const override { return false; }
};

} // namespace

const TextureCodec& CodecOf(const TTexEntry& entry) {
    static const Ps2Codec ps2;
    static const NativeCodec native;
    static const UnsupportedCodec unsupported;
    switch (entry.Platform) {
    case TexturePlatform::Ps2: return ps2;
    case TexturePlatform::Unsupported: return unsupported;
    default: return native;
    }
}

bool AnyHalfRangeAlpha(std::span<const TTexEntry> entries) {
    for (const TTexEntry& e : entries)
        if (CodecOf(e).HalfRangeAlpha())
            return true;
    return false;
}

void ReadOtherPlatformEntry(ByteReader& r, std::uint64_t start, std::uint32_t platformId, TTexEntry& e) {
    std::uint8_t h[24 + 40] = {};
    r.Seek(start);
    r.Read(h, sizeof h);
    e.RecordStart = start;
    e.RecordEnd = start + 12 + std::uint64_t{LoadLE32(h + 4)};
    e.DataOffset = static_cast<std::uint32_t>(start + 24);
    e.Chunked = true;
    e.PlatformId = platformId;
    NativeRecord n;
    if (ParseNativeRecord(r, start, n)) {
        e.Platform = n.Platform;
        e.Name = n.Name;
        e.Mask = n.Mask;
        e.Width = n.Width;
        e.Height = n.Height;
        e.Depth = n.Depth;
        e.Format = FormatName(n.Format);
        return;
    }
    // A known platform whose levels do not fit its record lists as damaged and
    // decodes to a refusal; another platform's content is not known at all.
    const bool known = platformId == kPlatformD3D8 || platformId == kPlatformD3D9 || platformId == kPlatformXbox;
    e.Platform = !known ? TexturePlatform::Unsupported
                 : platformId == kPlatformD3D8 ? TexturePlatform::Direct3D8
                 : platformId == kPlatformD3D9 ? TexturePlatform::Direct3D9
                                               : TexturePlatform::Xbox;
    e.Format = known ? "damaged record" : "platform " + std::to_string(platformId) + " is not supported";
    // Where the known platforms keep the name: taken only when it reads as one.
    const std::uint8_t* field = h + 24 + 8;
    std::size_t len = 0;
    while (len < 32 && field[len] >= 32 && field[len] < 127)
        ++len;
    if (len > 0 && len < 32 && field[len] == 0 && LoadLE32(h + 16) >= 40)
        e.Name.assign(reinterpret_cast<const char*>(field), len);
}

} // namespace kelmora
