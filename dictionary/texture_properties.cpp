#include "dictionary/texture_properties.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "dictionary/texture_codec.h"

namespace kelmora {

PropertyList DescribeTexture(const ByteSource& source, const TTexEntry& e, const DecodeState* picture) {
    const TextureCodec& codec = CodecOf(e);
    PropertyList p;
    p.emplace_back("Name", ShownText(e.Name));
    p.emplace_back("Mask", e.Mask.empty() ? "(none)" : ShownText(e.Mask));
    p.emplace_back("Platform", PlatformName(e.Platform));
    p.emplace_back("Size", std::to_string(e.Width) + " x " + std::to_string(e.Height));
    codec.DescribeStorage(source, e, p);

    if (picture) {
        const DecodeState& s = *picture;
        std::uint8_t low = 255, high = 0;
        if (s.TrueColour) {
            for (const PaletteEntry& t : s.Texels)
                low = std::min(low, t.A), high = std::max(high, t.A);
        } else {
            std::array<bool, 256> used{};
            for (std::uint8_t i : s.Pixels)
                used[i] = true;
            const std::size_t entries = s.PaletteEntries();
            std::size_t count = 0;
            for (std::size_t i = 0; i < entries; ++i) {
                if (!used[i])
                    continue;
                ++count;
                low = std::min(low, s.Palette[i].A), high = std::max(high, s.Palette[i].A);
            }
            p.emplace_back("Palette entries used", std::to_string(count) + " of " + std::to_string(entries));
        }
        if (low > high)
            low = high = 0;
        const int opaque = s.FullAlpha ? 255 : 128;
        p.emplace_back("Alpha", std::to_string(low) + " to " + std::to_string(high) + " (" + std::to_string(opaque) +
                                    " is opaque)");
        p.emplace_back("Transparency", low < opaque ? "yes" : "no");
    }
    codec.DescribeRecord(source, e, p);
    return p;
}

} // namespace kelmora
