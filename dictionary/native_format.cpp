#include "dictionary/native_format.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "dictionary/record_format.h"

namespace kelmora {

namespace {

constexpr std::uint32_t kPs2FourCc = 0x00325350; // "PS2\0"
// Raster format word: bits 8-11 the base format, then these flags.
constexpr std::uint8_t kD3D9AutoMipmapFlag = 0x04;
// More levels than a 16384-texel side has cannot be meant; the level list is
// bounded by this before it grows.
constexpr std::uint32_t kMaxLevels = 15;

constexpr std::uint32_t FourCc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(a)) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(d)) << 24;
}

// The raw formats a raster format word's base names (D3D8, Xbox).
NativeFormat FromRasterBase(std::uint32_t rasterFormat) {
    if (rasterFormat & kRasterPal8)
        return NativeFormat::Pal8;
    if (rasterFormat & kRasterPal4)
        return NativeFormat::Pal4;
    switch ((rasterFormat >> 8) & 0xF) {
    case 0x1: return NativeFormat::A1R5G5B5;
    case 0x2: return NativeFormat::R5G6B5;
    case 0x3: return NativeFormat::A4R4G4B4;
    case 0x4: return NativeFormat::L8;
    case 0x5: return NativeFormat::A8R8G8B8;
    case 0x6: return NativeFormat::X8R8G8B8;
    case 0xA: return NativeFormat::X1R5G5B5;
    default: return NativeFormat::Unknown;
    }
}

// The D3DFORMAT of each format Direct3D 9 records name, read and written by
// this one table. P8 (41) is written for palettes, whose raster flags say which.
struct D3DFormatCode {
    NativeFormat Format;
    std::uint32_t Code;
};
constexpr D3DFormatCode kD3DFormats[] = {
    {NativeFormat::Dxt1, FourCc('D', 'X', 'T', '1')}, {NativeFormat::Dxt2, FourCc('D', 'X', 'T', '2')},
    {NativeFormat::Dxt3, FourCc('D', 'X', 'T', '3')}, {NativeFormat::Dxt4, FourCc('D', 'X', 'T', '4')},
    {NativeFormat::Dxt5, FourCc('D', 'X', 'T', '5')}, {NativeFormat::A8R8G8B8, 21},
    {NativeFormat::X8R8G8B8, 22},                     {NativeFormat::R5G6B5, 23},
    {NativeFormat::X1R5G5B5, 24},                     {NativeFormat::A1R5G5B5, 25},
    {NativeFormat::A4R4G4B4, 26},                     {NativeFormat::L8, 50},
    {NativeFormat::A8L8, 51},
};
constexpr std::uint32_t kD3DFormatP8 = 41;

// D3D9 names its storage by D3DFORMAT; the raster base is only a hint there.
NativeFormat FromD3DFormat(std::uint32_t d3dFormat, std::uint32_t rasterFormat) {
    if (rasterFormat & (kRasterPal8 | kRasterPal4))
        return FromRasterBase(rasterFormat);
    for (const D3DFormatCode& c : kD3DFormats)
        if (c.Code == d3dFormat)
            return c.Format;
    return NativeFormat::Unknown;
}

NativeFormat FromD3D8Compression(std::uint8_t compression, std::uint32_t rasterFormat) {
    switch (compression) {
    case 0: return FromRasterBase(rasterFormat);
    case 1: return NativeFormat::Dxt1;
    case 2: return NativeFormat::Dxt2;
    case 3: return NativeFormat::Dxt3;
    case 4: return NativeFormat::Dxt4;
    case 5: return NativeFormat::Dxt5;
    default: return NativeFormat::Unknown;
    }
}

// Xbox keeps the console's own format codes for its DXT variants: 0x0C DXT1 and
// 0x0F DXT5 are in real files; 0x0E is DXT3 by the same table.
NativeFormat FromXboxCode(std::uint8_t code, std::uint32_t rasterFormat) {
    switch (code) {
    case 0x00: return FromRasterBase(rasterFormat);
    case 0x0C: return NativeFormat::Dxt1;
    case 0x0E: return NativeFormat::Dxt3;
    case 0x0F: return NativeFormat::Dxt5;
    default: return NativeFormat::Unknown;
    }
}

std::string FieldText(const std::array<std::uint8_t, 32>& field) {
    std::size_t len = 0;
    while (len < field.size() && field[len] != 0)
        ++len;
    std::size_t b = 0, e = len;
    while (b < e && field[b] <= 32)
        ++b;
    while (e > b && field[e - 1] <= 32)
        --e;
    return std::string(reinterpret_cast<const char*>(field.data()) + b, e - b);
}

std::uint32_t LevelSide(std::uint32_t side, std::size_t n) { return std::max<std::uint32_t>(1, side >> n); }

} // namespace

const char* PlatformName(TexturePlatform p) {
    switch (p) {
    case TexturePlatform::Ps2: return "PlayStation 2";
    case TexturePlatform::Direct3D8: return "Direct3D 8";
    case TexturePlatform::Direct3D9: return "Direct3D 9";
    case TexturePlatform::Xbox: return "Xbox";
    case TexturePlatform::Unsupported: break;
    }
    return "unknown";
}

const char* PlatformKey(TexturePlatform p) {
    switch (p) {
    case TexturePlatform::Ps2: return "ps2";
    case TexturePlatform::Direct3D8: return "d3d8";
    case TexturePlatform::Direct3D9: return "d3d9";
    case TexturePlatform::Xbox: return "xbox";
    case TexturePlatform::Unsupported: break;
    }
    return "unknown";
}

const char* FormatName(NativeFormat f) {
    switch (f) {
    case NativeFormat::Pal8: return "8bit";
    case NativeFormat::Pal4: return "4bit";
    case NativeFormat::Dxt1: return "DXT1";
    case NativeFormat::Dxt2: return "DXT2";
    case NativeFormat::Dxt3: return "DXT3";
    case NativeFormat::Dxt4: return "DXT4";
    case NativeFormat::Dxt5: return "DXT5";
    case NativeFormat::A8R8G8B8: return "8888";
    case NativeFormat::X8R8G8B8: return "888";
    case NativeFormat::R5G6B5: return "565";
    case NativeFormat::A1R5G5B5: return "1555";
    case NativeFormat::X1R5G5B5: return "555";
    case NativeFormat::A4R4G4B4: return "4444";
    case NativeFormat::L8: return "L8";
    case NativeFormat::A8L8: return "A8L8";
    case NativeFormat::Unknown: break;
    }
    return "unknown format";
}

bool IsDxt(NativeFormat f) { return f >= NativeFormat::Dxt1 && f <= NativeFormat::Dxt5; }
bool IsPalettised(NativeFormat f) { return f == NativeFormat::Pal8 || f == NativeFormat::Pal4; }

std::uint32_t FormatUnitBytes(NativeFormat f) {
    switch (f) {
    case NativeFormat::Dxt1: return 8;
    case NativeFormat::Dxt2:
    case NativeFormat::Dxt3:
    case NativeFormat::Dxt4:
    case NativeFormat::Dxt5: return 16;
    case NativeFormat::A8R8G8B8:
    case NativeFormat::X8R8G8B8: return 4;
    case NativeFormat::R5G6B5:
    case NativeFormat::A1R5G5B5:
    case NativeFormat::X1R5G5B5:
    case NativeFormat::A4R4G4B4:
    case NativeFormat::A8L8: return 2;
    default: return 1;
    }
}

std::uint32_t PlainPitch(NativeFormat f, std::uint32_t w) {
    if (IsDxt(f))
        return std::max<std::uint32_t>(1, (w + 3) / 4) * FormatUnitBytes(f);
    return w * FormatUnitBytes(f);
}

std::uint32_t PaddedPitch(NativeFormat f, std::uint32_t w) {
    if (IsDxt(f))
        return PlainPitch(f, w);
    return (PlainPitch(f, w) + 3) / 4 * 4;
}

std::uint64_t NativeLevelBytes(NativeFormat f, std::uint32_t h, std::uint32_t pitch) {
    const std::uint64_t rows = IsDxt(f) ? std::max<std::uint32_t>(1, (h + 3) / 4) : h;
    return rows * pitch;
}

RecordKind PeekRecordKind(ByteReader& r, std::uint64_t start, std::uint32_t* platformId) {
    std::uint8_t b[28];
    r.Seek(start);
    if (start + sizeof b > r.Size() || r.Read(b, sizeof b) != sizeof b)
        return RecordKind::Unclear;
    const std::uint32_t type = LoadLE32(b), size = LoadLE32(b + 4);
    const std::uint32_t structType = LoadLE32(b + 12), structSize = LoadLE32(b + 16);
    const std::uint32_t platform = LoadLE32(b + 24);
    if (platformId)
        *platformId = platform;
    if (type != kTextureChunk || structType != kStructChunk)
        return RecordKind::Unclear;
    if (structSize == kPs2PlatformStructBytes || platform == kPs2FourCc)
        return RecordKind::Ps2;
    // Another platform's struct holds the whole texture, inside a chunk that fits.
    const std::uint64_t end = start + 12 + std::uint64_t{size};
    if (structSize < 4 || end > r.Size() || std::uint64_t{structSize} + 12 > size)
        return RecordKind::Unclear;
    return RecordKind::Native;
}

bool ParseNativeRecord(ByteReader& r, std::uint64_t start, NativeRecord& out) {
    std::uint8_t h[24 + kNativeHeadBytes];
    r.Seek(start);
    if (start + sizeof h > r.Size() || r.Read(h, sizeof h) != sizeof h)
        return false;
    if (LoadLE32(h) != kTextureChunk || LoadLE32(h + 12) != kStructChunk)
        return false;
    const std::uint64_t end = start + 12 + std::uint64_t{LoadLE32(h + 4)};
    const std::uint64_t structStart = start + 24, structEnd = structStart + LoadLE32(h + 16);
    // The struct lies inside its record, the record inside the source.
    if (end > r.Size() || structEnd > end || structEnd < structStart + kNativeHeadBytes)
        return false;
    const std::uint8_t* s = h + 24;
    NativeRecord n;
    n.PlatformId = LoadLE32(s);
    switch (n.PlatformId) {
    case kPlatformD3D8: n.Platform = TexturePlatform::Direct3D8; break;
    case kPlatformD3D9: n.Platform = TexturePlatform::Direct3D9; break;
    case kPlatformXbox: n.Platform = TexturePlatform::Xbox; break;
    default: return false;
    }
    n.Filter = s[4];
    n.Addressing = s[5];
    std::memcpy(n.RawName.data(), s + 0x08, 32);
    std::memcpy(n.RawMask.data(), s + 0x28, 32);
    n.Name = FieldText(n.RawName);
    n.Mask = FieldText(n.RawMask);
    n.RasterFormat = LoadLE32(s + 0x48);
    n.AlphaOrFormat = LoadLE32(s + 0x4C);
    n.Width = LoadLE16(s + 0x50);
    n.Height = LoadLE16(s + 0x52);
    n.Depth = s[0x54];
    n.LevelCount = s[0x55];
    n.RasterType = s[0x56];
    n.Compression = s[0x57];
    n.Start = start;
    n.End = end;
    n.StructStart = structStart;
    n.StructEnd = structEnd;
    switch (n.Platform) {
    case TexturePlatform::Direct3D8: n.Format = FromD3D8Compression(n.Compression, n.RasterFormat); break;
    case TexturePlatform::Direct3D9: n.Format = FromD3DFormat(n.AlphaOrFormat, n.RasterFormat); break;
    default: n.Format = FromXboxCode(n.Compression, n.RasterFormat); break;
    }

    // A count of 0 still stores one level; "auto-mipmap" stores the top one only.
    std::uint32_t levels = std::max<std::uint32_t>(1, n.LevelCount);
    if ((n.RasterFormat & kRasterAutoMipmap) ||
        (n.Platform == TexturePlatform::Direct3D9 && (n.Compression & kD3D9AutoMipmapFlag)))
        levels = 1;
    levels = std::min(levels, kMaxLevels);

    n.PaletteAlphaIsJunk = ((n.RasterFormat >> 8) & 0xF) == 0x6;
    const std::uint64_t paletteAt = structStart + kNativeHeadBytes;

    // D3D8 and D3D9: each level its byte count and bytes. Exact: the levels end
    // where the struct does.
    const auto countedLevels = [&](std::uint32_t paletteEntries, std::vector<NativeLevel>& list) {
        list.clear();
        std::uint64_t at = paletteAt + 4 * std::uint64_t{paletteEntries};
        for (std::uint32_t k = 0; k < levels; ++k) {
            std::uint8_t word[4];
            if (at == structEnd && k > 0)
                break; // fewer levels stored than counted: the struct says so
            r.Seek(at);
            if (at + 4 > structEnd || r.Read(word, 4) != 4)
                return false;
            const std::uint32_t bytes = LoadLE32(word);
            if (at + 4 + bytes > structEnd)
                return false;
            list.push_back({LevelSide(n.Width, k), LevelSide(n.Height, k), at + 4, bytes});
            at += 4 + std::uint64_t{bytes};
        }
        return at == structEnd;
    };
    // Xbox: one byte count for all levels, each level as large as its format makes it.
    const auto totalledLevels = [&](std::uint32_t paletteEntries, std::vector<NativeLevel>& list) {
        list.clear();
        const std::uint64_t at = paletteAt + 4 * std::uint64_t{paletteEntries};
        std::uint8_t word[4];
        r.Seek(at);
        if (at + 4 > structEnd || r.Read(word, 4) != 4)
            return false;
        const std::uint32_t total = LoadLE32(word);
        if (at + 4 + total > structEnd)
            return false;
        std::uint64_t used = 0;
        for (std::uint32_t k = 0; k < levels; ++k) {
            const std::uint32_t w = LevelSide(n.Width, k), hh = LevelSide(n.Height, k);
            const std::uint64_t need = NativeLevelBytes(n.Format, hh, PlainPitch(n.Format, w));
            if (k > 0 && used + need > total)
                break;
            const auto bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(need, total - used));
            list.push_back({w, hh, at + 4 + used, bytes});
            used += bytes;
        }
        return at + 4 + total == structEnd;
    };
    const auto readLevels = [&](std::uint32_t entries, std::vector<NativeLevel>& list) {
        return n.Platform == TexturePlatform::Xbox ? totalledLevels(entries, list) : countedLevels(entries, list);
    };

    std::uint32_t entries = 0;
    if (n.Format == NativeFormat::Pal8)
        entries = 256;
    else if (n.Format == NativeFormat::Pal4)
        entries = 32; // real files keep 32 entries for 4 bits; the write-ups' 16 is tried after
    bool exact = readLevels(entries, n.Levels);
    if (!exact && n.Format == NativeFormat::Pal4) {
        std::vector<NativeLevel> sixteen;
        if (readLevels(16, sixteen)) {
            entries = 16;
            n.Levels = std::move(sixteen);
            exact = true;
        }
    }
    if (!exact)
        readLevels(entries, n.Levels); // levels that fit are still read
    if (n.Levels.empty())
        return false;
    n.PaletteEntries = entries;
    n.PaletteOffset = entries ? paletteAt : 0;
    out = std::move(n);
    return true;
}


namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v);
    Put16(out, v >> 16);
}

NativeFormat FormatOf(TexturePlatform p, std::uint32_t raster, std::uint32_t alphaOrFormat, std::uint8_t compression) {
    switch (p) {
    case TexturePlatform::Direct3D8: return FromD3D8Compression(compression, raster);
    case TexturePlatform::Direct3D9: return FromD3DFormat(alphaOrFormat, raster);
    case TexturePlatform::Xbox: return FromXboxCode(compression, raster);
    default: return NativeFormat::Unknown;
    }
}

} // namespace

std::uint32_t PlatformIdOf(TexturePlatform p) {
    return p == TexturePlatform::Direct3D8 ? kPlatformD3D8 : p == TexturePlatform::Xbox ? kPlatformXbox : kPlatformD3D9;
}

TexturePlatform NativeTexture::Platform() const {
    switch (PlatformId) {
    case kPlatformD3D8: return TexturePlatform::Direct3D8;
    case kPlatformD3D9: return TexturePlatform::Direct3D9;
    case kPlatformXbox: return TexturePlatform::Xbox;
    default: return TexturePlatform::Unsupported;
    }
}

NativeFormat FormatOfWords(const NativeTexture& t) {
    return FormatOf(t.Platform(), t.RasterFormat, t.AlphaOrFormat, t.Compression);
}

bool ReadNativeTexture(ByteReader& r, std::uint64_t start, NativeTexture& t) {
    NativeRecord n;
    if (!ParseNativeRecord(r, start, n))
        return false;
    auto bytesAt = [&](std::uint64_t at, std::uint64_t count, std::vector<std::uint8_t>& out) {
        out.resize(static_cast<std::size_t>(count));
        r.Seek(at);
        return r.Read(out.data(), out.size()) == out.size();
    };
    std::vector<std::uint8_t> head;
    if (!bytesAt(start, 24 + kNativeHeadBytes, head))
        return false;
    NativeTexture out;
    out.Version = LoadLE32(head.data() + 8);
    out.StructVersion = LoadLE32(head.data() + 20);
    const std::uint8_t* s = head.data() + 24;
    out.PlatformId = n.PlatformId;
    out.Filter = n.Filter;
    out.Addressing = n.Addressing;
    out.Padding = LoadLE16(s + 6);
    out.RawName = n.RawName;
    out.RawMask = n.RawMask;
    out.RasterFormat = n.RasterFormat;
    out.AlphaOrFormat = n.AlphaOrFormat;
    out.Width = static_cast<std::uint16_t>(n.Width);
    out.Height = static_cast<std::uint16_t>(n.Height);
    out.Depth = static_cast<std::uint8_t>(n.Depth);
    out.LevelCount = static_cast<std::uint8_t>(n.LevelCount);
    out.RasterType = n.RasterType;
    out.Compression = n.Compression;
    const std::uint64_t paletteAt = n.StructStart + kNativeHeadBytes;
    if (!bytesAt(paletteAt, 4 * std::uint64_t{n.PaletteEntries}, out.Palette))
        return false;
    // The levels lie back to back after the palette and their count words: each
    // level's own word on Direct3D, one word for all on Xbox.
    const bool xbox = n.Platform == TexturePlatform::Xbox;
    std::uint64_t at = paletteAt + out.Palette.size() + (xbox ? 4 : 0);
    for (const NativeLevel& lv : n.Levels) {
        if (!xbox)
            at += 4;
        if (lv.Offset != at)
            return false;
        out.Levels.emplace_back();
        if (!bytesAt(lv.Offset, lv.Bytes, out.Levels.back()))
            return false;
        at += lv.Bytes;
    }
    // Only Xbox's total can hold bytes past its levels; a Direct3D struct that
    // does not end with its last level was read by what fits and is not written.
    if (at > n.StructEnd || (!xbox && at != n.StructEnd))
        return false;
    if (!bytesAt(at, n.StructEnd - at, out.Tail) || !bytesAt(n.StructEnd, n.End - n.StructEnd, out.Extension))
        return false;
    t = std::move(out);
    return true;
}

std::vector<std::uint8_t> WriteNativeRecord(const NativeTexture& t) {
    std::vector<std::uint8_t> s;
    Put32(s, t.PlatformId);
    s.push_back(t.Filter);
    s.push_back(t.Addressing);
    Put16(s, t.Padding);
    s.insert(s.end(), t.RawName.begin(), t.RawName.end());
    s.insert(s.end(), t.RawMask.begin(), t.RawMask.end());
    Put32(s, t.RasterFormat);
    Put32(s, t.AlphaOrFormat);
    Put16(s, t.Width);
    Put16(s, t.Height);
    s.insert(s.end(), {t.Depth, t.LevelCount, t.RasterType, t.Compression});
    s.insert(s.end(), t.Palette.begin(), t.Palette.end());
    const bool xbox = t.Platform() == TexturePlatform::Xbox;
    if (xbox) {
        std::size_t total = t.Tail.size();
        for (const auto& level : t.Levels)
            total += level.size();
        Put32(s, static_cast<std::uint32_t>(total));
    }
    for (const auto& level : t.Levels) {
        if (!xbox)
            Put32(s, static_cast<std::uint32_t>(level.size()));
        s.insert(s.end(), level.begin(), level.end());
    }
    s.insert(s.end(), t.Tail.begin(), t.Tail.end());

    std::vector<std::uint8_t> record;
    Put32(record, kTextureChunk);
    Put32(record, static_cast<std::uint32_t>(12 + s.size() + t.Extension.size()));
    Put32(record, t.Version);
    Put32(record, kStructChunk);
    Put32(record, static_cast<std::uint32_t>(s.size()));
    Put32(record, t.StructVersion);
    record.insert(record.end(), s.begin(), s.end());
    record.insert(record.end(), t.Extension.begin(), t.Extension.end());
    return record;
}

std::array<std::uint8_t, 32> NameField(const std::string& text) {
    std::array<std::uint8_t, 32> field{};
    std::memcpy(field.data(), text.data(), std::min<std::size_t>(text.size(), 31));
    return field;
}

bool PlatformHolds(TexturePlatform p, NativeFormat f) {
    if (IsPalettised(f))
        return p == TexturePlatform::Direct3D8;
    if (f == NativeFormat::Dxt2 || f == NativeFormat::Dxt4)
        return p != TexturePlatform::Xbox;
    if (f == NativeFormat::A8L8)
        return p == TexturePlatform::Direct3D9;
    return f != NativeFormat::Unknown;
}

bool SetFormatWords(NativeTexture& t, NativeFormat f, bool alpha) {
    const TexturePlatform p = t.Platform();
    const bool dxt = IsDxt(f);
    // Xbox's codes for DXT2 and DXT4 are unknown, and only Direct3D 9 names A8L8.
    if (p == TexturePlatform::Xbox && (f == NativeFormat::Dxt2 || f == NativeFormat::Dxt4))
        return false;
    if (f == NativeFormat::A8L8 && p != TexturePlatform::Direct3D9)
        return false;
    if (f == NativeFormat::Unknown || p == TexturePlatform::Unsupported)
        return false;
    const std::uint32_t oldBase = (t.RasterFormat >> 8) & 0xF;
    std::uint32_t base = 0, depth = 32;
    switch (f) {
    case NativeFormat::Dxt1: base = alpha ? kBase1555 : kBase565, depth = 16; break;
    case NativeFormat::Dxt2:
    case NativeFormat::Dxt3:
    case NativeFormat::Dxt4:
    case NativeFormat::Dxt5: base = kBase4444, depth = 16; break;
    case NativeFormat::A8R8G8B8: base = kBase8888; break;
    case NativeFormat::X8R8G8B8: base = kBase888; break;
    case NativeFormat::R5G6B5: base = kBase565, depth = 16; break;
    case NativeFormat::A1R5G5B5: base = kBase1555, depth = 16; break;
    case NativeFormat::X1R5G5B5: base = kBase555, depth = 16; break;
    case NativeFormat::A4R4G4B4: base = kBase4444, depth = 16; break;
    case NativeFormat::L8: base = kBaseLum8, depth = 8; break;
    case NativeFormat::A8L8: base = 0, depth = 16; break;
    default: // a palette whose alpha bytes are junk stays so while no alpha is used
        base = !alpha && oldBase == kBase888 ? kBase888 : kBase8888, depth = 8;
        break;
    }
    // A DXT record's depth field is free-form in real files: kept while the format is.
    const bool sameFormat = FormatOfWords(t) == f;
    if (!(dxt && sameFormat && t.Depth != 0))
        t.Depth = static_cast<std::uint8_t>(depth);
    const std::uint32_t owned = 0xF00 | kRasterPal8 | kRasterPal4 | kRasterHasLevels;
    t.RasterFormat = (t.RasterFormat & ~owned) | base << 8 | (f == NativeFormat::Pal8 ? kRasterPal8 : 0) |
                     (f == NativeFormat::Pal4 ? kRasterPal4 : 0) | (t.LevelCount > 1 ? kRasterHasLevels : 0);
    std::uint8_t dxtNumber = 0;
    switch (f) {
    case NativeFormat::Dxt1: dxtNumber = 1; break;
    case NativeFormat::Dxt2: dxtNumber = 2; break;
    case NativeFormat::Dxt3: dxtNumber = 3; break;
    case NativeFormat::Dxt4: dxtNumber = 4; break;
    case NativeFormat::Dxt5: dxtNumber = 5; break;
    default: break;
    }
    switch (p) {
    case TexturePlatform::Direct3D8:
        t.AlphaOrFormat = alpha ? 1 : 0;
        t.Compression = dxtNumber;
        break;
    case TexturePlatform::Xbox:
        t.AlphaOrFormat = alpha ? 1 : 0;
        t.Compression = dxtNumber == 1 ? 0x0C : dxtNumber == 3 ? 0x0E : dxtNumber == 5 ? 0x0F : 0;
        break;
    default: {
        std::uint32_t d3d = kD3DFormatP8;
        for (const D3DFormatCode& c : kD3DFormats)
            if (c.Format == f)
                d3d = c.Code;
        t.AlphaOrFormat = d3d;
        t.Compression = static_cast<std::uint8_t>((t.Compression & ~(kD3D9AlphaFlag | kD3D9CompressedFlag)) |
                                                  (alpha ? kD3D9AlphaFlag : 0) | (dxt ? kD3D9CompressedFlag : 0));
        break;
    }
    }
    return true;
}

} // namespace kelmora
