#include "dictionary/record_format.h"

#include <cstring>

#include "base/byte_reader.h"
#include "base/bytes.h"
#include "dictionary/record_layout.h"

namespace kelmora {

namespace {

constexpr DepthInfo kDepths[] = {
    {4, 16, 64, 96, 8, 3, kPsmT4, 0x4000},
    {8, 256, 1024, 1024, 16, 16, kPsmT8, 0x2000},
    {16, 0, 0, 0, 0, 0, kPsmCt16S, 0},
    {32, 0, 0, 0, 0, 0, kPsmCt32, 0},
};

} // namespace

const DepthInfo* FindDepth(std::uint32_t depth) {
    for (const DepthInfo& d : kDepths)
        if (d.Depth == depth)
            return &d;
    return nullptr;
}



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

std::uint32_t DictionaryChunkSize(const std::vector<std::uint8_t>& b) { return LoadLE32(b.data() + 4); }
void SetDictionaryChunkSize(std::vector<std::uint8_t>& b, std::uint32_t size) {
    for (int i = 0; i < 4; ++i)
        b[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
}
std::uint32_t DictionaryVersion(const std::vector<std::uint8_t>& b) { return LoadLE32(b.data() + 8); }
std::uint16_t DictionaryTextureCount(const std::vector<std::uint8_t>& b) {
    return static_cast<std::uint16_t>(b[24] | b[25] << 8);
}
void SetDictionaryTextureCount(std::vector<std::uint8_t>& b, std::uint16_t count) {
    b[24] = static_cast<std::uint8_t>(count);
    b[25] = static_cast<std::uint8_t>(count >> 8);
}
std::uint64_t FirstRecordOffset(const std::vector<std::uint8_t>& b) { return 24 + std::uint64_t{LoadLE32(b.data() + 16)}; }

std::uint16_t DictionaryDevice(const std::vector<std::uint8_t>& b) {
    return LoadLE32(b.data() + 16) == 4 ? static_cast<std::uint16_t>(b[26] | b[27] << 8) : 0;
}
void SetDictionaryDevice(std::vector<std::uint8_t>& b, std::uint16_t device) {
    b[26] = static_cast<std::uint8_t>(device);
    b[27] = static_cast<std::uint8_t>(device >> 8);
}

std::vector<std::uint8_t> EmptyExtensionChunk(std::uint32_t version) {
    std::vector<std::uint8_t> out;
    Header(out, kExtensionChunk, 0, version);
    return out;
}

std::vector<std::uint8_t> StringChunk(const std::string& text, std::uint32_t version) {
    const std::uint32_t padded = static_cast<std::uint32_t>(4 * (text.size() / 4 + 1));
    std::vector<std::uint8_t> out;
    Header(out, kStringChunk, padded, version);
    out.insert(out.end(), text.begin(), text.end());
    out.resize(out.size() + padded - text.size(), 0);
    return out;
}

std::vector<std::uint8_t> BuildRecord(const TextureRecord& s) {
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
    if (!s.Extension.empty()) {
        body.insert(body.end(), s.Extension.begin(), s.Extension.end());
    } else if (s.EmptyExtension) {
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

namespace {

// A string chunk's text: up to its first NUL, trimmed.
std::string ChunkText(ByteReader& r, std::uint64_t at, std::uint32_t n) {
    std::string text(n, '\0');
    r.Seek(at);
    text.resize(r.Read(text.data(), n));
    std::size_t len = text.find('\0');
    if (len == std::string::npos)
        len = text.size();
    std::size_t b = 0, e = len;
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

} // namespace

bool ParseRecord(ByteReader& r, std::uint64_t start, TextureRecord& out) {
    const std::uint64_t fileSize = r.Size();
    auto header = [&](std::uint64_t at, std::uint32_t& type, std::uint32_t& size, std::uint32_t* version = nullptr) {
        std::uint8_t b[12];
        r.Seek(at);
        if (at + 12 > fileSize || r.Read(b, 12) != 12)
            return false;
        type = LoadLE32(b);
        size = LoadLE32(b + 4);
        if (version)
            *version = LoadLE32(b + 8);
        return true;
    };
    std::uint32_t type = 0, recordSize = 0, size = 0, version = 0;
    if (!header(start, type, recordSize, &version) || type != kTextureChunk)
        return false;
    const std::uint64_t end = start + 12 + recordSize;
    if (end > fileSize)
        return false;
    if (!header(start + 12, type, size) || type != kStructChunk || size != 8)
        return false;
    std::uint32_t nameSize = 0, maskSize = 0, rasterSize = 0, extensionSize = 0;
    const std::uint64_t nameAt = start + 44;
    if (!header(nameAt - 12, type, nameSize) || type != kStringChunk || nameAt + nameSize > end)
        return false;
    const std::uint64_t maskAt = nameAt + nameSize + 12;
    if (!header(maskAt - 12, type, maskSize) || type != kStringChunk || maskAt + maskSize > end)
        return false;
    const std::uint64_t m = maskAt + maskSize;
    if (!header(m, type, rasterSize) || type != kStructChunk || m + 24 + std::uint64_t{rasterSize} > end)
        return false;
    const std::uint64_t extensionAt = m + 12 + rasterSize;
    if (!header(extensionAt, type, extensionSize) || type != kExtensionChunk)
        return false;
    // The five children fill the record exactly.
    if (extensionAt + 12 + extensionSize != end || m + 24 > UINT32_MAX)
        return false;

    std::uint8_t filter[4] = {}; // after the platform's "PS2\0"
    r.Seek(start + 28);
    r.Read(filter, 4);
    out.Name = ChunkText(r, nameAt, nameSize);
    out.Mask = ChunkText(r, maskAt, maskSize);
    out.Version = version;
    out.FilterWord = LoadLE32(filter);
    out.EmptyExtension = extensionSize == 0;
    out.Start = start;
    out.End = end;
    out.NameChunk = nameAt - 12;
    out.MaskChunk = maskAt - 12;
    out.RasterChunk = m;
    out.RasterData = m + 24;
    out.ExtensionChunk = extensionAt;
    return true;
}

} // namespace kelmora
