#include "dictionary/raster_encode.h"

#include <algorithm>
#include <cstring>

#include "base/byte_reader.h"
#include "dictionary/gs_memory.h"
#include "dictionary/raster_decode.h"
#include "dictionary/raster_layout.h"
#include "dictionary/unswizzle.h"
#include "dictionary/record_format.h"

namespace kelmora {

namespace {

// Writes n bytes at a position of the dictionary; what lies past its end is
// dropped, as the decode reads nothing there.
class PixelSink {
public:
    PixelSink(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t limit)
        : bytes_(bytes), at_(at), end_(std::min<std::uint64_t>(limit, bytes.size())) {}
    void Write(const std::uint8_t* src, std::size_t n) {
        if (n > 0 && at_ < end_)
            std::memcpy(bytes_.data() + at_, src, static_cast<std::size_t>(std::min<std::uint64_t>(n, end_ - at_)));
        at_ += n;
    }
    void Skip(std::size_t n) { at_ += n; }

private:
    std::vector<std::uint8_t>& bytes_;
    std::uint64_t at_, end_;
};

const std::uint8_t* RowOf(const std::vector<std::uint8_t>& grid, std::uint32_t w, std::uint32_t y) {
    return grid.data() + static_cast<std::size_t>(y) * w;
}

void WritePlain8(PixelSink& out, const DecodeState& s) { out.Write(s.Pixels.data(), s.Pixels.size()); }

void WritePlain4(PixelSink& out, const DecodeState& s) {
    const std::uint32_t w = s.TexWidth;
    std::vector<std::uint8_t> buf(w / 2);
    for (std::uint32_t y = 0; y < s.TexHeight; ++y) {
        const std::uint8_t* row = RowOf(s.Pixels, w, y);
        for (std::uint32_t k = 0; k < w / 2; ++k)
            buf[k] = static_cast<std::uint8_t>((row[2 * k] & 15) | (row[2 * k + 1] & 15) << 4);
        out.Write(buf.data(), buf.size());
    }
}

// The row pairs as the file holds them, mirroring the decode's row-pair reading:
// each pair's two rows come from where the row exchange put them, have the
// other two passes undone, and are interleaved (8 bits) or packed into the two
// halves of a byte (4 bits). discard: the bytes after each 4-bit pair stay.
void WritePairs(PixelSink& out, const DecodeState& s, bool discard) {
    const std::uint32_t w = s.TexWidth, h = s.TexHeight;
    if (w == 0)
        return; // no texels: no row to write (nor to copy from)
    const bool eight = s.TexDepth == 8;
    std::vector<std::uint8_t> top(w), bottom(w), buf(eight ? 2 * static_cast<std::size_t>(w) : w);
    for (std::uint32_t p = 0; p < h / 2; ++p) {
        const std::uint32_t yt = ExchangedRow(2 * p, h), yb = ExchangedRow(2 * p + 1, h);
        std::memcpy(top.data(), RowOf(s.Pixels, w, yt), w);
        std::memcpy(bottom.data(), RowOf(s.Pixels, w, yb), w);
        SwizzleRow(top.data(), w, yt, h);
        SwizzleRow(bottom.data(), w, yb, h);
        if (eight) {
            MergeEvenOdd(top.data(), bottom.data(), w, buf.data());
        } else {
            for (std::uint32_t x = 0; x < w; ++x)
                buf[x] = static_cast<std::uint8_t>((top[x] & 15) | (bottom[x] & 15) << 4);
        }
        out.Write(buf.data(), buf.size());
        if (discard)
            out.Skip(w);
    }
}

void WriteTrueColour(std::vector<std::uint8_t>& bytes, const RasterLayout& l, const LevelLayout& lv,
                     const DecodeState& s) {
    const std::uint32_t b = l.Depth == 32 ? 4 : 2;
    const std::size_t rowBytes = static_cast<std::size_t>(lv.TransferWidth) * b;
    for (std::uint32_t y = 0; y < lv.Height; ++y) {
        PixelSink out(bytes, lv.DataOffset + static_cast<std::uint64_t>(y) * rowBytes,
                      std::uint64_t{lv.DataOffset} + lv.DataSize);
        for (std::uint32_t x = 0; x < lv.Width; ++x) {
            const PaletteEntry& e = s.Texels[static_cast<std::size_t>(y) * lv.Width + x];
            if (b == 4) {
                const std::uint8_t p[4] = {e.R, e.G, e.B, e.A};
                out.Write(p, 4);
            } else {
                const std::uint16_t v = ToColour16(e);
                const std::uint8_t p[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
                out.Write(p, 2);
            }
        }
    }
}

} // namespace

PaletteEntry AsStored16(const PaletteEntry& e) { return FromColour16(ToColour16(e)); }

std::uint16_t ToColour16(const PaletteEntry& e) {
    return static_cast<std::uint16_t>((e.R >> 3) | (e.G >> 3) << 5 | (e.B >> 3) << 10 | (e.A >= 64 ? 0x8000 : 0));
}

EncodeResult EncodeRaster(std::vector<std::uint8_t>& dictionary, const TTexEntry& entry, bool unswizzle,
                          const DecodeState& s, std::uint32_t level) {
    if (entry.Platform != TexturePlatform::Ps2)
        return {EncodeStatus::OtherPlatform, 0, level};
    const MemorySource source(dictionary.data(), dictionary.size());
    ByteReader r(source);
    const RasterLayout l = ReadRasterLayout(r, entry.DataOffset);
    EncodeResult result{EncodeStatus::Ok, l.Depth, level};
    if (!l.Palettised() && !l.TrueColour()) {
        result.Status = EncodeStatus::UnsupportedDepth;
        return result;
    }
    if (level >= l.Levels.size() || s.TexDepth != l.Depth || s.TrueColour != l.TrueColour() ||
        s.TexWidth != l.Levels[level].Width || s.TexHeight != l.Levels[level].Height || !s.HasGrid()) {
        result.Status = EncodeStatus::WrongSize;
        return result;
    }
    const LevelLayout& lv = l.Levels[level];
    if (s.TrueColour) {
        WriteTrueColour(dictionary, l, lv, s);
        return result;
    }

    if (level == 0) {
        TexPalette palette = s.Palette;
        if (l.Depth == 8 && unswizzle)
            ReorderPalette(palette); // its own inverse
        PixelSink out(dictionary, l.PaletteOffset, dictionary.size());
        out.Write(reinterpret_cast<const std::uint8_t*>(palette.data()), FindDepth(l.Depth)->PaletteBytes);
    }

    // The same four ways the decode reads, in reverse.
    const std::uint32_t w = s.TexWidth, h = s.TexHeight;
    const bool eight = l.Depth == 8;
    const std::uint64_t limit = l.FromFile ? std::uint64_t{lv.DataOffset} + lv.DataSize : dictionary.size();
    PixelSink out(dictionary, lv.DataOffset, limit);
    if (!unswizzle) {
        eight ? WritePlain8(out, s) : WritePlain4(out, s);
    } else if (!l.FromFile) {
        WritePairs(out, s, !eight && h == 16);
    } else if (RowPassesApply(l.Depth, w, h, lv.TransferWidth, lv.TransferHeight)) {
        WritePairs(out, s, !eight && w == 16);
    } else {
        const std::size_t at = std::min<std::size_t>(lv.DataOffset, dictionary.size());
        const std::size_t n = std::min<std::size_t>(lv.DataSize, dictionary.size() - at);
        EncodeTransferredLevel(dictionary.data() + at, n, l.Depth, lv.TransferWidth, lv.TransferHeight, w, h,
                               s.Pixels.data());
    }
    return result;
}

} // namespace kelmora
