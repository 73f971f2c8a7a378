#include "dictionary/texture_properties.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "base/byte_reader.h"
#include "base/bytes.h"
#include "dictionary/raster_layout.h"
#include "base/text.h"
#include "dictionary/record_format.h"

namespace kelmora {

namespace {

std::string Hex(std::uint64_t v, int digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(v));
    return buf;
}

std::string Size(std::uint32_t w, std::uint32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

} // namespace

PropertyList DescribeTexture(const ByteSource& source, const TTexEntry& e, const DecodeState* picture) {
    PropertyList p;
    p.emplace_back("Name", ShownText(e.Name));
    p.emplace_back("Mask", e.Mask.empty() ? "(none)" : ShownText(e.Mask));
    p.emplace_back("Size", Size(e.Width, e.Height));
    p.emplace_back("Depth", std::to_string(e.Depth) + " bits" +
                                (IsPalettisedDepth(e.Depth) ? ", palettised" : e.Depth == 16 ? ", 5-5-5-1" : ""));

    ByteReader r(source);
    const RasterLayout l = ReadRasterLayout(r, e.DataOffset);
    std::string levels = std::to_string(l.Levels.size());
    for (std::size_t n = 0; n < l.Levels.size(); ++n)
        levels += (n == 0 ? ": " : ", ") + Size(l.Levels[n].Width, l.Levels[n].Height);
    p.emplace_back("Levels", levels);

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
            const std::size_t entries = FindDepth(s.TexDepth)->PaletteEntries;
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
        p.emplace_back("Alpha", std::to_string(low) + " to " + std::to_string(high) + " (128 is opaque)");
        p.emplace_back("Transparency", low < 128 ? "yes" : "no");
    }

    p.emplace_back("Raster header at", std::to_string(e.DataOffset));
    p.emplace_back("Image offset", std::to_string(l.Levels[0].DataOffset));
    if (l.Palettised())
        p.emplace_back("Palette offset", std::to_string(l.PaletteOffset));
    p.emplace_back("Layout", l.FromFile ? "the record's own headers" : "the fixed offsets");
    if (l.FromFile) {
        std::uint8_t info[64] = {};
        r.Seek(e.DataOffset);
        r.Read(info, sizeof info);
        const auto word64 = [&](int at) { return LoadLE32(info + at) | std::uint64_t{LoadLE32(info + at + 4)} << 32; };
        p.emplace_back("rasterFormat", Hex(LoadLE32(info + 12), 5));
        p.emplace_back("TEX0", Hex(word64(16), 16));
        p.emplace_back("TEX1", Hex(word64(24), 16));
        p.emplace_back("MIPTBP1", Hex(word64(32), 16));
        p.emplace_back("MIPTBP2", Hex(word64(40), 16));
        p.emplace_back("pixelSize", std::to_string(LoadLE32(info + 48)));
        p.emplace_back("paletteSize", std::to_string(LoadLE32(info + 52)));
        p.emplace_back("gpuDataAlignedSize", std::to_string(LoadLE32(info + 56)));
    }
    TextureRecord record;
    if (e.Chunked && ParseRecord(r, e.RecordStart, record))
        p.emplace_back("Filter word", Hex(record.FilterWord, 4));
    return p;
}

} // namespace kelmora
