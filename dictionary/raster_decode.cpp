#include "dictionary/raster_decode.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "base/byte_reader.h"
#include "dictionary/gs_memory.h"
#include "dictionary/raster_layout.h"
#include "dictionary/unswizzle.h"
#include "dictionary/record_format.h"

namespace kelmora {

namespace {

std::uint8_t* RowOf(DecodeState& s, std::uint32_t y) {
    return s.Pixels.data() + static_cast<std::size_t>(y) * s.TexWidth;
}

// Reads n pixel bytes. A byte that lies past the end of the file repeats the last
// byte read in this decode (zero when none), as a one-byte-at-a-time read into
// one variable would.
class PixelSource {
public:
    explicit PixelSource(ByteReader& r) : r_(r) {}
    void Read(std::uint8_t* dst, std::size_t n) {
        std::size_t got = r_.Read(dst, n);
        if (got > 0)
            last_ = dst[got - 1];
        if (got < n)
            std::memset(dst + got, last_, n - got);
    }

private:
    ByteReader& r_;
    std::uint8_t last_ = 0;
};

void ReadPlain8(PixelSource& src, DecodeState& s) {
    src.Read(s.Pixels.data(), s.Pixels.size());
}

// The unswizzled reads put each row pair straight where the row exchange puts it
// and finish each row while it is still in the cache.
void ReadPairs8(PixelSource& src, DecodeState& s, std::vector<std::uint8_t>& buf) {
    const std::uint32_t w = s.TexWidth, h = s.TexHeight;
    buf.resize(2 * static_cast<std::size_t>(w));
    for (std::uint32_t p = 0; p < h / 2; ++p) {
        src.Read(buf.data(), buf.size());
        std::uint8_t* top = RowOf(s, ExchangedRow(2 * p, h));
        std::uint8_t* bottom = RowOf(s, ExchangedRow(2 * p + 1, h));
        SplitEvenOdd(buf.data(), w, top, bottom);
        UnswizzleRow(top, w, ExchangedRow(2 * p, h), h);
        UnswizzleRow(bottom, w, ExchangedRow(2 * p + 1, h), h);
    }
}

void ReadPlain4(PixelSource& src, DecodeState& s, std::vector<std::uint8_t>& buf) {
    const std::uint32_t w = s.TexWidth;
    buf.resize(w / 2);
    for (std::uint32_t y = 0; y < s.TexHeight; ++y) {
        src.Read(buf.data(), buf.size());
        std::uint8_t* row = s.Pixels.data() + static_cast<std::size_t>(y) * w;
        for (std::uint32_t k = 0; k < w / 2; ++k) {
            row[2 * k] = buf[k] & 15;
            row[2 * k + 1] = buf[k] >> 4;
        }
    }
}

// discard: every row pair is followed by as many bytes again, which are skipped.
void ReadPairs4(PixelSource& src, DecodeState& s, std::vector<std::uint8_t>& buf, bool discard) {
    const std::uint32_t w = s.TexWidth, h = s.TexHeight;
    buf.resize(static_cast<std::size_t>(w) * (discard ? 2 : 1));
    for (std::uint32_t p = 0; p < h / 2; ++p) {
        src.Read(buf.data(), buf.size());
        std::uint8_t* top = RowOf(s, ExchangedRow(2 * p, h));
        std::uint8_t* bottom = RowOf(s, ExchangedRow(2 * p + 1, h));
        for (std::uint32_t x = 0; x < w; ++x) {
            top[x] = buf[x] & 15;
            bottom[x] = buf[x] >> 4;
        }
        UnswizzleRow(top, w, ExchangedRow(2 * p, h), h);
        UnswizzleRow(bottom, w, ExchangedRow(2 * p + 1, h), h);
    }
}

void ReadTrueColour(ByteReader& r, const RasterLayout& l, const LevelLayout& lv, DecodeState& s) {
    const std::uint32_t b = l.Depth == 32 ? 4 : 2;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(lv.TransferWidth) * b);
    for (std::uint32_t y = 0; y < lv.Height; ++y) {
        r.Seek(lv.DataOffset + static_cast<std::uint64_t>(y) * row.size());
        std::fill(row.begin(), row.end(), 0);
        r.Read(row.data(), row.size());
        PaletteEntry* out = s.Texels.data() + static_cast<std::size_t>(y) * lv.Width;
        for (std::uint32_t x = 0; x < lv.Width; ++x) {
            const std::uint8_t* p = row.data() + static_cast<std::size_t>(x) * b;
            out[x] = b == 4 ? PaletteEntry{p[0], p[1], p[2], p[3]}
                            : FromColour16(static_cast<std::uint16_t>(p[0] | p[1] << 8));
        }
    }
}

// Bytes of level 0 the decode reads, as the layout places them.
std::uint64_t Level0Bytes(const RasterLayout& l) {
    if (l.FromFile)
        return l.Levels[0].DataSize;
    const std::uint64_t w = l.Width, h = l.Height;
    if (l.Depth == 8)
        return w * h;
    return h == 16 ? w * 16 : w * h / 2;
}


} // namespace

// 16-bit texels are 5-5-5-1 with red in the low bits; 5-bit channels widen to the
// full 0..255 range and the alpha bit means opaque (128).
PaletteEntry FromColour16(std::uint16_t v) {
    auto widen = [](unsigned c) { return static_cast<std::uint8_t>((c << 3) | (c >> 2)); };
    return {widen(v & 31), widen((v >> 5) & 31), widen((v >> 10) & 31),
            static_cast<std::uint8_t>(v & 0x8000 ? 128 : 0)};
}


bool RowPassesApply(std::uint32_t depth, std::uint32_t w, std::uint32_t h, std::uint32_t rrw, std::uint32_t rrh) {
    if (depth == 8)
        return w % 16 == 0 && h % 8 == 0 && rrw == w / 2 && rrh == h / 2;
    if (depth == 4)
        return (w % 32 == 0 && h % 8 == 0 && rrw == w / 2 && rrh == h / 2) ||
               (w == 16 && h == 16 && rrw == 16 && rrh == 8);
    return false;
}

DecodeResult DecodeRaster(const ByteSource& source, const TTexEntry& entry, bool unswizzle, DecodeState& s,
                          std::uint32_t level) {
    ByteReader r(source);
    const RasterLayout l = ReadRasterLayout(r, entry.DataOffset);
    DecodeResult result;
    result.ImageOffset = l.Levels[0].DataOffset;
    result.PaletteOffset = l.PaletteOffset;
    result.LayoutFromFile = l.FromFile;
    result.LevelCount = l.Levels.size();
    result.Level = level;
    result.Width = l.Width;
    result.Height = l.Height;
    result.Depth = l.Depth;
    const LevelLayout& lv = l.Levels[std::min<std::size_t>(level, l.Levels.size() - 1)];
    s.TexWidth = lv.Width;
    s.TexHeight = lv.Height;
    s.TexDepth = l.Depth;
    s.TrueColour = l.TrueColour();

    auto refuse = [&](DecodeStatus status) {
        // Nothing of an earlier picture may pass for this texture's.
        s.Pixels.clear();
        s.Pixels.shrink_to_fit();
        s.Texels.clear();
        s.Texels.shrink_to_fit();
        result.Status = status;
        return result;
    };
    const std::uint32_t w = s.TexWidth, h = s.TexHeight;
    // Guard against sizes that would exhaust memory before allocating the grid.
    if (l.Width > kMaxTextureSide || l.Height > kMaxTextureSide)
        return refuse(DecodeStatus::TooLarge);
    if (!l.Palettised() && !l.TrueColour())
        return refuse(DecodeStatus::UnsupportedDepth);
    if (level >= l.Levels.size())
        return refuse(DecodeStatus::NoSuchLevel);
    // A header that claims far more pixels than the file holds is damage or a
    // bomb: decoding it would only produce output made of nothing.
    result.DataNeeded = Level0Bytes(l);
    const std::uint64_t size = r.Size(), at = result.ImageOffset;
    result.DataPresent = std::min(result.DataNeeded, at < size ? size - at : 0);
    if (result.DataPresent * 2 < result.DataNeeded)
        return refuse(DecodeStatus::DataMissing);

    try {
        if (s.TrueColour) {
            s.Pixels.clear();
            s.Texels.assign(static_cast<std::size_t>(w) * h, PaletteEntry{});
            ReadTrueColour(r, l, lv, s);
            return result;
        }
        s.Texels.clear();
        s.Pixels.assign(static_cast<std::size_t>(w) * h, 0);
    } catch (const std::bad_alloc&) {
        return refuse(DecodeStatus::OutOfMemory);
    }

    r.Seek(l.PaletteOffset);
    // A short read leaves the entries it does not reach as they were.
    result.PaletteBytesRead = static_cast<std::uint32_t>(
        r.Read(reinterpret_cast<std::uint8_t*>(s.Palette.data()), FindDepth(l.Depth)->PaletteBytes));
    if (l.Depth == 8 && unswizzle) {
        ReorderPalette(s.Palette);
        result.PaletteReordered = true;
    }

    r.Seek(lv.DataOffset);
    PixelSource src(r);
    std::vector<std::uint8_t> buf;
    const bool eight = l.Depth == 8;
    if (!unswizzle) {
        eight ? ReadPlain8(src, s) : ReadPlain4(src, s, buf);
    } else if (!l.FromFile) {
        eight ? ReadPairs8(src, s, buf) : ReadPairs4(src, s, buf, h == 16);
    } else if (RowPassesApply(l.Depth, w, h, lv.TransferWidth, lv.TransferHeight)) {
        eight ? ReadPairs8(src, s, buf) : ReadPairs4(src, s, buf, w == 16);
    } else {
        buf.assign(lv.DataSize, 0);
        src.Read(buf.data(), buf.size());
        DecodeTransferredLevel(buf.data(), buf.size(), l.Depth, lv.TransferWidth, lv.TransferHeight, w, h,
                               s.Pixels.data());
    }
    return result;
}

} // namespace kelmora
