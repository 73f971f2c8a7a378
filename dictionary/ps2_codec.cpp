#include "dictionary/ps2_codec.h"

#include "base/bytes.h"
#include "base/text.h"
#include "dictionary/raster_layout.h"
#include "dictionary/record_format.h"

namespace kelmora {

DecodeResult Ps2Codec::Decode(const ByteSource& source, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                              std::uint32_t level) const {
    return DecodeRaster(source, entry, unswizzle, state, level);
}

std::uint32_t Ps2Codec::StoredLevels(const ByteSource& source, const TTexEntry& entry) const {
    if (entry.Depth == 0) // no raster header the walk could read
        return 0;
    ByteReader r(source);
    return static_cast<std::uint32_t>(ReadRasterLayout(r, entry.DataOffset).Levels.size());
}

void Ps2Codec::DescribeStorage(const ByteSource& source, const TTexEntry& e, PropertyList& p) const {
    p.emplace_back("Depth", std::to_string(e.Depth) + " bits" +
                                (IsPalettisedDepth(e.Depth) ? ", palettised" : e.Depth == 16 ? ", 5-5-5-1" : ""));
    ByteReader r(source);
    const RasterLayout l = ReadRasterLayout(r, e.DataOffset);
    std::string levels = std::to_string(l.Levels.size());
    for (std::size_t n = 0; n < l.Levels.size(); ++n)
        levels += (n == 0 ? ": " : ", ") + SizeText(l.Levels[n].Width, l.Levels[n].Height);
    p.emplace_back("Levels", levels);
}

void Ps2Codec::DescribeRecord(const ByteSource& source, const TTexEntry& e, PropertyList& p) const {
    ByteReader r(source);
    const RasterLayout l = ReadRasterLayout(r, e.DataOffset);
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
        p.emplace_back("rasterFormat", HexText(LoadLE32(info + 12), 5));
        p.emplace_back("TEX0", HexText(word64(16), 16));
        p.emplace_back("TEX1", HexText(word64(24), 16));
        p.emplace_back("MIPTBP1", HexText(word64(32), 16));
        p.emplace_back("MIPTBP2", HexText(word64(40), 16));
        p.emplace_back("pixelSize", std::to_string(LoadLE32(info + 48)));
        p.emplace_back("paletteSize", std::to_string(LoadLE32(info + 52)));
        p.emplace_back("gpuDataAlignedSize", std::to_string(LoadLE32(info + 56)));
    }
    TextureRecord record;
    if (e.Chunked && ParseRecord(r, e.RecordStart, record))
        p.emplace_back("Filter word", HexText(record.FilterWord, 4));
}

} // namespace kelmora
