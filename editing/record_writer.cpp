#include "editing/record_writer.h"

#include "dictionary/record_format.h"

#include <cstring>

namespace kelmora {

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}
void Header(std::vector<std::uint8_t>& out, std::uint32_t type, std::uint32_t size, std::uint32_t version) {
    Put32(out, type);
    Put32(out, size);
    Put32(out, version);
}

// The 80-byte transfer header of a rectangle placed at (x, y).
void TransferHeader(std::vector<std::uint8_t>& out, std::uint32_t rrw, std::uint32_t rrh, std::uint32_t x,
                    std::uint32_t y, std::uint32_t bytes) {
    static const std::uint8_t tag[16] = {3, 0, 0, 0, 0, 0, 0, 0x10, 0x0E, 0, 0, 0, 0, 0, 0, 0};
    out.insert(out.end(), tag, tag + 16);
    Put64(out, std::uint64_t{x} << 32 | std::uint64_t{y} << 48); // TRXPOS
    Put64(out, 0x51);
    Put64(out, rrw | std::uint64_t{rrh} << 32); // TRXREG
    Put64(out, 0x52);
    Put64(out, 0); // TRXDIR
    Put64(out, 0x53);
    Put64(out, (bytes / 16) | std::uint64_t{0x08} << 56); // image data follows
    Put64(out, 0);
}

std::vector<std::uint8_t> RasterInfo(const RecordLayout& l) {
    const DepthInfo& depth = *FindDepth(l.Depth);
    const bool palettised = depth.Palettised();
    const bool levels = l.Levels > 1;
    std::uint32_t format = 0x20000 | 0x04 | (l.Depth == 16 ? 0x100 : 0x500) | depth.RasterFormatBits;
    if (levels)
        format |= 0x8000 | 0x1000;
    const std::uint64_t psm = depth.GsPixelFormat;
    const std::uint64_t tex0 = std::uint64_t{l.Placement[0].BufferWidth} << 14 | psm << 20 |
                               std::uint64_t{Log2(l.Width)} << 26 | std::uint64_t{Log2(l.Height)} << 30 |
                               std::uint64_t{1} << 34 | (l.Depth == 16 ? std::uint64_t{0x0A} << 51 : 0) |
                               (palettised ? std::uint64_t{1} << 61 : 0);
    const std::uint64_t tex1 = std::uint64_t{4 * (l.Levels - 1)} << 32 | l.PaletteBlock;
    std::uint64_t mip[2] = {0, 0};
    for (std::uint32_t n = 1; n <= 6; ++n) {
        const bool present = n < l.Levels;
        const std::uint64_t tbp = present ? l.Placement[n].BasePointer : 0;
        const std::uint64_t tbw = present ? l.Placement[n].BufferWidth : 1;
        mip[(n - 1) / 3] |= (tbp | tbw << 14) << (20 * ((n - 1) % 3));
    }
    std::vector<std::uint8_t> info;
    Put32(info, l.Width);
    Put32(info, l.Height);
    Put32(info, l.Depth);
    Put32(info, format);
    Put64(info, tex0);
    Put64(info, tex1);
    Put64(info, mip[0]);
    Put64(info, mip[1]);
    Put32(info, l.PixelSize);
    Put32(info, l.PaletteSize);
    Put32(info, l.GpuSize);
    Put32(info, 0xFC0);
    return info;
}

} // namespace

std::vector<std::uint8_t> StringChunk(const std::string& text, std::uint32_t version) {
    const std::uint32_t padded = static_cast<std::uint32_t>(4 * (text.size() / 4 + 1));
    std::vector<std::uint8_t> out;
    Header(out, kStringChunk, padded, version);
    out.insert(out.end(), text.begin(), text.end());
    out.resize(out.size() + padded - text.size(), 0);
    return out;
}

std::vector<std::uint8_t> BuildRecord(const RecordSettings& s) {
    const RecordLayout l = LayOutRecord(s.Depth, s.Width, s.Height, s.Levels);
    const DepthInfo& depth = *FindDepth(s.Depth);

    std::vector<std::uint8_t> data;
    for (std::uint32_t n = 0; n < l.Levels; ++n) {
        const LevelPlacement& p = l.Placement[n];
        const std::uint32_t bytes = p.TransferWidth * p.TransferHeight * l.TransferPixelBytes();
        TransferHeader(data, p.TransferWidth, p.TransferHeight, p.X, p.Y, bytes);
        data.resize(data.size() + bytes, 0);
    }
    if (depth.Palettised()) {
        TransferHeader(data, depth.PaletteTransferWidth, depth.PaletteTransferHeight, l.PaletteX, l.PaletteY,
                       depth.PaletteTransferBytes);
        data.resize(data.size() + depth.PaletteTransferBytes, 0);
    }

    std::vector<std::uint8_t> raster;
    Header(raster, kStructChunk, 64, s.Version);
    const std::vector<std::uint8_t> info = RasterInfo(l);
    raster.insert(raster.end(), info.begin(), info.end());
    Header(raster, kStructChunk, static_cast<std::uint32_t>(data.size()), s.Version);
    raster.insert(raster.end(), data.begin(), data.end());

    std::vector<std::uint8_t> body;
    Header(body, kStructChunk, 8, s.Version);
    body.insert(body.end(), {'P', 'S', '2', 0});
    Put32(body, s.FilterWord ? s.FilterWord : (l.Levels > 1 ? 0x1106 : 0x1102));
    for (const std::string* text : {&s.Name, &s.Mask}) {
        const std::vector<std::uint8_t> chunk = StringChunk(*text, s.Version);
        body.insert(body.end(), chunk.begin(), chunk.end());
    }
    Header(body, kStructChunk, static_cast<std::uint32_t>(raster.size()), s.Version);
    body.insert(body.end(), raster.begin(), raster.end());
    if (s.EmptyExtension) {
        Header(body, kExtensionChunk, 0, s.Version);
    } else {
        Header(body, kExtensionChunk, 16, s.Version);
        Header(body, kSkyMipmapChunk, 4, s.Version);
        Put32(body, 0xFC0);
    }

    std::vector<std::uint8_t> record;
    Header(record, kTextureChunk, static_cast<std::uint32_t>(body.size()), s.Version);
    record.insert(record.end(), body.begin(), body.end());
    return record;
}

} // namespace kelmora
