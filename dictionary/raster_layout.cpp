#include "dictionary/raster_layout.h"

#include <algorithm>

#include "base/bytes.h"
#include "dictionary/raster_decode.h"

namespace kelmora {

namespace {

constexpr std::uint32_t kRasterInfoSize = 64;
constexpr std::uint32_t kTransferHeaderSize = 80;
constexpr std::uint32_t kTransferHeadersPresent = 0x20000;
// Real chains stop at 7 levels; anything longer than a side's bits is damage.
constexpr std::size_t kMaxLevels = 15;

// Bytes of one transfer pixel: 8-bit texels travel as 32-bit pixels, 4-bit ones
// as 16-bit pixels, true colour in its own format.
std::uint32_t TransferPixelBytes(std::uint32_t depth) {
    switch (depth) {
    case 4: return 2;
    case 8: return 4;
    case 16: return 2;
    case 32: return 4;
    default: return 0;
    }
}

RasterLayout FixedLayout(std::uint32_t dataOffset, std::uint32_t headerRead, std::uint32_t w, std::uint32_t h,
                         std::uint32_t d) {
    RasterLayout l;
    l.Width = w;
    l.Height = h;
    l.Depth = d;
    l.HeaderBytes = headerRead;
    // Offsets are 32-bit and wrap, as the format's readers have always computed them.
    const std::uint32_t base = dataOffset + headerRead;
    const std::uint32_t p = d == 8 ? w * h : (h == 16 ? w * 16u : (w * h) >> 1);
    LevelLayout level;
    level.Width = w;
    level.Height = h;
    level.DataOffset = base + 144u;
    level.DataSize = p;
    l.Levels.push_back(level);
    l.PaletteOffset = base + 224u + p;
    return l;
}

// One transfer header: the tag, the rectangle registers, the data tag. Returns
// false for anything that is not a header the console would accept.
bool ReadTransferHeader(const std::uint8_t* h, std::uint32_t& rrw, std::uint32_t& rrh, std::uint32_t& nloop) {
    // The three register writes are TRXPOS, TRXREG and TRXDIR, in that order.
    if (h[24] != 0x51 || h[40] != 0x52 || h[56] != 0x53)
        return false;
    rrw = LoadLE32(h + 32) & 0xFFF;
    rrh = LoadLE32(h + 36) & 0xFFF;
    nloop = LoadLE32(h + 64) & 0x7FFF;
    return true;
}

} // namespace

std::uint32_t MinTransferWidth(std::uint32_t depth, std::uint32_t w) {
    if (depth == 8)
        return 8 * ((w + 15) / 16);
    if (depth == 4)
        return 16 * ((w + 31) / 32);
    return w;
}

std::uint32_t MinTransferHeight(std::uint32_t depth, std::uint32_t h) {
    if (IsPalettisedDepth(depth))
        return 2 * ((h + 3) / 4);
    return h;
}

RasterLayout ReadRasterLayout(ByteReader& r, std::uint32_t dataOffset) {
    std::uint8_t info[kRasterInfoSize] = {};
    r.Seek(dataOffset);
    const auto headerRead = static_cast<std::uint32_t>(std::min<std::size_t>(r.Read(info, sizeof info), 12));
    const std::uint32_t w = LoadLE32(info), h = LoadLE32(info + 4), d = LoadLE32(info + 8);
    const RasterLayout fixed = FixedLayout(dataOffset, headerRead, w, h, d);
    const std::uint64_t fileSize = r.Size();

    // The raster info is a 64-byte struct, followed by the data struct.
    std::uint8_t around[12];
    if (dataOffset < 12)
        return fixed;
    r.Seek(dataOffset - 12);
    if (r.Read(around, 12) != 12 || LoadLE32(around) != kStructChunk || LoadLE32(around + 4) != kRasterInfoSize)
        return fixed;
    if (dataOffset + std::uint64_t{kRasterInfoSize} + 12 > fileSize)
        return fixed;
    const std::uint32_t rasterFormat = LoadLE32(info + 12);
    const std::uint32_t pixelSize = LoadLE32(info + 48), paletteSize = LoadLE32(info + 52);
    const std::uint32_t b = TransferPixelBytes(d);
    // Without transfer headers the pixel block cannot be walked.
    if (!(rasterFormat & kTransferHeadersPresent) || b == 0 || w == 0 || h == 0)
        return fixed;
    if (w > kMaxTextureSide || h > kMaxTextureSide)
        return fixed;
    r.Seek(dataOffset + std::uint64_t{kRasterInfoSize});
    r.Read(around, 12);
    if (LoadLE32(around) != kStructChunk ||
        LoadLE32(around + 4) != std::uint64_t{pixelSize} + paletteSize)
        return fixed;
    const std::uint64_t p0 = dataOffset + std::uint64_t{kRasterInfoSize} + 12;
    // Every byte the headers promise must be in the file.
    if (p0 + pixelSize + paletteSize > fileSize || p0 + pixelSize + paletteSize > UINT32_MAX)
        return fixed;
    const bool palettised = d == 4 || d == 8;
    if (palettised && paletteSize < kTransferHeaderSize + (d == 4 ? 64u : 1024u))
        return fixed;

    RasterLayout l;
    l.FromFile = true;
    l.Width = w;
    l.Height = h;
    l.Depth = d;
    l.HeaderBytes = 12;
    std::uint64_t at = p0;
    const std::uint64_t end = p0 + pixelSize;
    while (at < end) {
        const std::size_t n = l.Levels.size();
        // Level n is the picture halved n times; a chain longer than that is damage.
        if (n >= kMaxLevels || (n > 0 && (w >> n) == 0 && (h >> n) == 0))
            return fixed;
        std::uint8_t th[kTransferHeaderSize];
        if (at + kTransferHeaderSize > end)
            return fixed;
        r.Seek(at);
        if (r.Read(th, sizeof th) != sizeof th)
            return fixed;
        LevelLayout level;
        std::uint32_t nloop = 0;
        if (!ReadTransferHeader(th, level.TransferWidth, level.TransferHeight, nloop))
            return fixed;
        // The data moves in 16-byte units, counted in a 15-bit field that a
        // transfer of more than 512 KiB overflows.
        const std::uint64_t bytes =
            (std::uint64_t{level.TransferWidth} * level.TransferHeight * b + 15) / 16 * 16;
        level.Width = std::max<std::uint32_t>(1, w >> n);
        level.Height = std::max<std::uint32_t>(1, h >> n);
        // The data tag and the rectangle must agree on the size, and the rectangle
        // must hold every texel of the level.
        if ((bytes / 16 & 0x7FFF) != nloop)
            return fixed;
        if (level.TransferWidth < MinTransferWidth(d, level.Width) ||
            level.TransferHeight < MinTransferHeight(d, level.Height))
            return fixed;
        if (!palettised && n > 0)
            return fixed; // true-colour rasters hold one level
        level.DataOffset = static_cast<std::uint32_t>(at + kTransferHeaderSize);
        level.DataSize = static_cast<std::uint32_t>(bytes);
        at += kTransferHeaderSize + bytes;
        l.Levels.push_back(level);
    }
    // The levels must use up the pixel block exactly.
    if (at != end || l.Levels.empty())
        return fixed;
    l.PaletteOffset = palettised ? static_cast<std::uint32_t>(end + kTransferHeaderSize) : 0;
    return l;
}

} // namespace kelmora
