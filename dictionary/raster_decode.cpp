#include "dictionary/raster_decode.h"

#include <cstring>
#include <vector>

#include "dictionary/file_reader.h"
#include "dictionary/unswizzle.h"

namespace kelmora {

namespace {

std::uint32_t U32(const std::uint8_t* b) {
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// Reads n pixel bytes. A byte that lies past the end of the file repeats the last
// byte read in this decode (zero when none), as a one-byte-at-a-time read into
// one variable would.
std::uint8_t* RowOf(DecodeState& s, std::uint32_t y) {
    return s.Pixels.data() + static_cast<std::size_t>(y) * s.TexWidth;
}

class PixelSource {
public:
    explicit PixelSource(FileReader& r) : r_(r) {}
    void Read(std::uint8_t* dst, std::size_t n) {
        std::size_t got = r_.Read(dst, n);
        if (got > 0)
            last_ = dst[got - 1];
        if (got < n)
            std::memset(dst + got, last_, n - got);
    }

private:
    FileReader& r_;
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

void ReadPairs4(PixelSource& src, DecodeState& s, std::vector<std::uint8_t>& buf) {
    const std::uint32_t w = s.TexWidth, h = s.TexHeight;
    // At 16 rows every row pair is followed by as many bytes again, which are skipped.
    const bool discard = h == 16;
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

} // namespace

DecodeResult DecodeRaster(const std::string& path, const TTexEntry& entry, bool unswizzle, DecodeState& s,
                          const std::function<void()>& onHeader) {
    FileReader r(path);
    r.Seek(entry.DataOffset);
    std::uint8_t header[12] = {};
    const auto headerRead = static_cast<std::uint32_t>(r.Read(header, sizeof header));
    s.TexWidth = U32(header);
    s.TexHeight = U32(header + 4);
    s.TexDepth = U32(header + 8);

    // Offsets are 32-bit and wrap, as the format's readers have always computed them.
    const std::uint32_t base = entry.DataOffset + headerRead;
    const std::uint32_t w = s.TexWidth, h = s.TexHeight;
    std::uint32_t p = s.TexDepth == 8 ? w * h : (h == 16 ? w * 16u : (w * h) >> 1);
    DecodeResult result;
    result.ImageOffset = base + 144u;
    result.PaletteOffset = base + 224u + p;

    if (onHeader)
        onHeader();

    // Guard against sizes that would exhaust memory before allocating the grid.
    if (w > kMaxTextureSide || h > kMaxTextureSide) {
        s.Pixels.clear();
        s.Pixels.shrink_to_fit();
        result.Status = DecodeStatus::TooLarge;
        result.Message = "Texture too large!!! (" + std::to_string(w) + " x " + std::to_string(h) + ")";
        return result;
    }
    s.Pixels.assign(static_cast<std::size_t>(w) * h, 0);

    if (s.TexDepth == 4 || s.TexDepth == 8) {
        r.Seek(result.PaletteOffset);
        std::size_t bytes = s.TexDepth == 4 ? 64 : 1024;
        // A short read leaves the entries it does not reach as they were.
        r.Read(reinterpret_cast<std::uint8_t*>(s.Palette.data()), bytes);
        if (s.TexDepth == 8 && unswizzle)
            ReorderPalette(s.Palette);
    } else {
        result.Status = DecodeStatus::UnsupportedDepth;
        result.Message = "Unknown palette size detected!!! (" + std::to_string(s.TexDepth) + ")";
        return result;
    }

    r.Seek(result.ImageOffset);
    PixelSource src(r);
    std::vector<std::uint8_t> buf;
    if (s.TexDepth == 8)
        unswizzle ? ReadPairs8(src, s, buf) : ReadPlain8(src, s);
    else
        unswizzle ? ReadPairs4(src, s, buf) : ReadPlain4(src, s, buf);
    return result;
}

} // namespace kelmora
