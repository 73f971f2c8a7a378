#include "dictionary/native_codec.h"

#include <new>
#include <vector>

#include "base/text.h"
#include "dictionary/dxt.h"

namespace kelmora {

namespace {


std::uint8_t Widen5(std::uint32_t v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); }
std::uint8_t Widen6(std::uint32_t v) { return static_cast<std::uint8_t>(v << 2 | v >> 4); }
std::uint8_t Widen4(std::uint32_t v) { return static_cast<std::uint8_t>(v * 17); }

PaletteEntry Texel16(NativeFormat f, std::uint16_t v) {
    switch (f) {
    case NativeFormat::R5G6B5: return {Widen5(v >> 11 & 31), Widen6(v >> 5 & 63), Widen5(v & 31), 255};
    case NativeFormat::A1R5G5B5:
        return {Widen5(v >> 10 & 31), Widen5(v >> 5 & 31), Widen5(v & 31), static_cast<std::uint8_t>(v >> 15 ? 255 : 0)};
    case NativeFormat::X1R5G5B5: return {Widen5(v >> 10 & 31), Widen5(v >> 5 & 31), Widen5(v & 31), 255};
    case NativeFormat::A4R4G4B4: return {Widen4(v >> 8 & 15), Widen4(v >> 4 & 15), Widen4(v & 15), Widen4(v >> 12)};
    default: { // A8L8: luminance in the low byte
        const auto l = static_cast<std::uint8_t>(v & 0xFF);
        return {l, l, l, static_cast<std::uint8_t>(v >> 8)};
    }
    }
}

DxtKind KindOf(NativeFormat f) {
    switch (f) {
    case NativeFormat::Dxt1: return DxtKind::Dxt1;
    case NativeFormat::Dxt2:
    case NativeFormat::Dxt3: return DxtKind::Dxt3;
    default: return DxtKind::Dxt5;
    }
}

std::uint32_t FormatCodeOf(const NativeRecord& n) {
    if (n.Platform == TexturePlatform::Direct3D9)
        return n.AlphaOrFormat;
    return n.Compression ? n.Compression : n.RasterFormat;
}

const char* FilterName(std::uint8_t f) {
    static const char* const names[] = {"none", "nearest", "linear", "mip-nearest", "mip-linear",
                                        "linear-mip-nearest", "linear-mip-linear"};
    return f < 7 ? names[f] : "unknown";
}

const char* AddressName(std::uint8_t a) {
    static const char* const names[] = {"none", "wrap", "mirror", "clamp", "border"};
    return a < 5 ? names[a] : "unknown";
}

// Where level n's bytes are read from, and how its rows lie.
struct LevelRead {
    std::uint32_t Pitch = 0;
    bool Nibbles = false; // 4-bit indices two to a byte
    std::uint64_t Needed = 0;
};

LevelRead PlanLevel(const NativeRecord& n, const NativeLevel& lv) {
    LevelRead p;
    const std::uint32_t plain = PlainPitch(n.Format, lv.Width), padded = PaddedPitch(n.Format, lv.Width);
    // Small rows may be padded to a 4-byte pitch; the stored count tells which.
    p.Pitch = padded != plain && lv.Bytes == std::uint64_t{padded} * lv.Height ? padded : plain;
    p.Needed = NativeLevelBytes(n.Format, lv.Height, p.Pitch);
    if (n.Format == NativeFormat::Pal4 && lv.Bytes < p.Needed) {
        // The write-ups' packed 4-bit indices, where a level holds only that much.
        const std::uint32_t half = (lv.Width + 1) / 2, halfPadded = (half + 3) / 4 * 4;
        const std::uint32_t pitch = lv.Bytes == std::uint64_t{halfPadded} * lv.Height ? halfPadded : half;
        if (lv.Bytes >= std::uint64_t{pitch} * lv.Height) {
            p.Pitch = pitch;
            p.Nibbles = true;
            p.Needed = std::uint64_t{pitch} * lv.Height;
        }
    }
    return p;
}

bool ReadRecord(const ByteSource& source, const TTexEntry& e, NativeRecord& n) {
    ByteReader r(source);
    return ParseNativeRecord(r, e.RecordStart, n);
}

} // namespace

bool XboxSwizzles(TexturePlatform p, NativeFormat f, std::uint32_t w, std::uint32_t h) {
    // Morton order covers power-of-two sides only: elsewhere its indices would
    // run past the level.
    const auto pow2 = [](std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
    return p == TexturePlatform::Xbox && !IsDxt(f) && pow2(w) && pow2(h);
}

std::size_t MortonIndex(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) {
    // Bits of x and y interleaved, x first, while both sides have bits left; the
    // longer side's upper bits follow in order.
    std::size_t index = 0;
    int shift = 0;
    for (std::uint32_t bit = 1; bit < w || bit < h; bit <<= 1) {
        if (bit < w)
            index |= static_cast<std::size_t>((x & bit) ? 1 : 0) << shift++;
        if (bit < h)
            index |= static_cast<std::size_t>((y & bit) ? 1 : 0) << shift++;
    }
    return index;
}

void DecodeNativeTexels(NativeFormat f, const std::uint8_t* data, std::uint32_t w, std::uint32_t h,
                        std::uint32_t pitch, PaletteEntry* out) {
    if (IsDxt(f)) {
        // A padded pitch is never used for blocks: rows of blocks are contiguous.
        DecodeDxt(KindOf(f), data, w, h, out);
        return;
    }
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = data + static_cast<std::size_t>(y) * pitch;
        PaletteEntry* o = out + static_cast<std::size_t>(y) * w;
        for (std::uint32_t x = 0; x < w; ++x) {
            switch (f) {
            case NativeFormat::A8R8G8B8: o[x] = {row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]}; break;
            case NativeFormat::X8R8G8B8: o[x] = {row[4 * x + 2], row[4 * x + 1], row[4 * x], 255}; break;
            case NativeFormat::L8: o[x] = {row[x], row[x], row[x], 255}; break;
            default: o[x] = Texel16(f, static_cast<std::uint16_t>(row[2 * x] | row[2 * x + 1] << 8)); break;
            }
        }
    }
}

void DecodeNativeIndices(const std::uint8_t* data, std::uint32_t w, std::uint32_t h, std::uint32_t pitch,
                         bool nibbles, std::uint8_t* out) {
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = data + static_cast<std::size_t>(y) * pitch;
        std::uint8_t* o = out + static_cast<std::size_t>(y) * w;
        for (std::uint32_t x = 0; x < w; ++x)
            o[x] = nibbles ? static_cast<std::uint8_t>(row[x / 2] >> (4 * (x % 2)) & 15) : row[x];
    }
}

DecodeResult NativeCodec::Decode(const ByteSource& source, const TTexEntry& e, bool unswizzle, DecodeState& s,
                                 std::uint32_t level) const {
    DecodeResult r;
    r.Platform = e.Platform;
    r.Level = level;
    r.LayoutFromFile = true;
    NativeRecord n;
    if (!ReadRecord(source, e, n)) {
        r.Status = DecodeStatus::DataMissing;
        return r;
    }
    r.Width = n.Width;
    r.Height = n.Height;
    r.Depth = n.Depth;
    r.LevelCount = n.Levels.size();
    r.PaletteOffset = static_cast<std::uint32_t>(n.PaletteOffset);
    r.ImageOffset = static_cast<std::uint32_t>(n.Levels[0].Offset);
    if (n.Format == NativeFormat::Unknown) {
        r.Status = DecodeStatus::UnsupportedFormat;
        r.FormatCode = FormatCodeOf(n);
        return r;
    }
    if (level >= n.Levels.size()) {
        r.Status = DecodeStatus::NoSuchLevel;
        return r;
    }
    if (n.Width == 0 || n.Height == 0) {
        r.Status = DecodeStatus::NoPixels;
        return r;
    }
    // The sides are checked before anything is allocated for them.
    if (n.Width > kMaxTextureSide || n.Height > kMaxTextureSide) {
        r.Status = DecodeStatus::TooLarge;
        return r;
    }
    const NativeLevel& lv = n.Levels[level];
    const LevelRead plan = PlanLevel(n, lv);
    r.DataNeeded = plan.Needed;
    r.DataPresent = lv.Bytes;
    // A level shorter than its size needs (a DXT level stored empty) is refused,
    // and what is read is no more than the record holds.
    if (lv.Bytes < plan.Needed) {
        r.Status = DecodeStatus::DataMissing;
        return r;
    }
    try {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(plan.Needed));
        ByteReader reader(source);
        reader.Seek(lv.Offset);
        if (reader.Read(data.data(), data.size()) != data.size()) {
            r.Status = DecodeStatus::DataMissing;
            return r;
        }
        s = DecodeState{};
        s.TexWidth = lv.Width;
        s.TexHeight = lv.Height;
        s.FullAlpha = true;
        const std::size_t texels = static_cast<std::size_t>(lv.Width) * lv.Height;
        std::vector<std::size_t> order; // Xbox's raw texels lie in Morton order
        const bool morton = unswizzle && XboxSwizzles(n.Platform, n.Format, lv.Width, lv.Height);
        if (morton) {
            order.resize(texels);
            for (std::uint32_t y = 0; y < lv.Height; ++y)
                for (std::uint32_t x = 0; x < lv.Width; ++x)
                    order[static_cast<std::size_t>(y) * lv.Width + x] = MortonIndex(x, y, lv.Width, lv.Height);
        }
        if (IsPalettised(n.Format)) {
            s.TexDepth = n.Format == NativeFormat::Pal4 ? 4 : 8;
            s.PaletteSize = n.PaletteEntries;
            std::vector<std::uint8_t> palette(4 * std::size_t{n.PaletteEntries});
            reader.Seek(n.PaletteOffset);
            if (reader.Read(palette.data(), palette.size()) != palette.size()) {
                r.Status = DecodeStatus::DataMissing;
                return r;
            }
            for (std::uint32_t i = 0; i < n.PaletteEntries; ++i)
                s.Palette[i] = {palette[4 * i], palette[4 * i + 1], palette[4 * i + 2],
                                n.PaletteAlphaIsJunk ? std::uint8_t{255} : palette[4 * i + 3]};
            r.PaletteBytesRead = 4 * n.PaletteEntries;
            s.Pixels.resize(texels);
            DecodeNativeIndices(data.data(), lv.Width, lv.Height, plan.Pitch, plan.Nibbles, s.Pixels.data());
            if (morton) {
                const std::vector<std::uint8_t> stored = s.Pixels;
                for (std::size_t i = 0; i < texels; ++i)
                    s.Pixels[i] = stored[order[i]];
            }
        } else {
            s.TexDepth = 32;
            s.TrueColour = true;
            s.Texels.resize(texels);
            DecodeNativeTexels(n.Format, data.data(), lv.Width, lv.Height, plan.Pitch, s.Texels.data());
            if (morton) {
                const std::vector<PaletteEntry> stored = s.Texels;
                for (std::size_t i = 0; i < texels; ++i)
                    s.Texels[i] = stored[order[i]];
            }
        }
    } catch (const std::bad_alloc&) {
        s = DecodeState{};
        r.Status = DecodeStatus::OutOfMemory;
    }
    return r;
}

std::uint32_t NativeCodec::StoredLevels(const ByteSource& source, const TTexEntry& e) const {
    NativeRecord n;
    return ReadRecord(source, e, n) ? static_cast<std::uint32_t>(n.Levels.size()) : 0;
}

void NativeCodec::DescribeStorage(const ByteSource& source, const TTexEntry& e, PropertyList& p) const {
    NativeRecord n;
    if (!ReadRecord(source, e, n))
        return;
    std::string format = FormatName(n.Format);
    if (IsDxt(n.Format))
        format += ", compressed";
    else if (IsPalettised(n.Format))
        format += ", palettised (" + std::to_string(n.PaletteEntries) + " entries" +
                  (n.PaletteAlphaIsJunk ? ", alpha bytes ignored" : "") + ")";
    if (n.Premultiplied())
        format += "; colours premultiplied by alpha, shown as stored";
    p.emplace_back("Format", format);
    p.emplace_back("Depth field", std::to_string(n.Depth) + " bits");
    std::string levels = std::to_string(n.Levels.size());
    for (std::size_t k = 0; k < n.Levels.size(); ++k)
        levels += (k == 0 ? ": " : ", ") + SizeText(n.Levels[k].Width, n.Levels[k].Height);
    if (n.LevelCount != n.Levels.size())
        levels += " (the record counts " + std::to_string(n.LevelCount) + ")";
    p.emplace_back("Levels", levels);
}

void NativeCodec::DescribeRecord(const ByteSource& source, const TTexEntry& e, PropertyList& p) const {
    NativeRecord n;
    if (!ReadRecord(source, e, n))
        return;
    p.emplace_back("Record at", std::to_string(n.Start));
    p.emplace_back("Image offset", std::to_string(n.Levels[0].Offset));
    if (n.PaletteEntries)
        p.emplace_back("Palette offset", std::to_string(n.PaletteOffset));
    p.emplace_back("Raster format", HexText(n.RasterFormat, 4));
    switch (n.Platform) {
    case TexturePlatform::Direct3D9: {
        p.emplace_back("D3DFORMAT", HexText(n.AlphaOrFormat, 8));
        std::string flags = HexText(n.Compression, 2);
        const char* const names[] = {"alpha", "cube", "auto-mipmap", "compressed"};
        std::string set;
        for (int b = 0; b < 4; ++b)
            if (n.Compression & (1 << b))
                set += (set.empty() ? "" : ", ") + std::string(names[b]);
        p.emplace_back("Flags", set.empty() ? flags : flags + " (" + set + ")");
        break;
    }
    case TexturePlatform::Xbox:
        p.emplace_back("Alpha flag", std::to_string(n.AlphaOrFormat));
        p.emplace_back("Format code", HexText(n.Compression, 2));
        break;
    default:
        p.emplace_back("Alpha flag", std::to_string(n.AlphaOrFormat));
        p.emplace_back("Compression", std::to_string(n.Compression));
        break;
    }
    p.emplace_back("Filter", std::to_string(n.Filter) + " (" + FilterName(n.Filter) + ")");
    p.emplace_back("Addressing", std::string("U ") + AddressName(n.Addressing & 15) + ", V " +
                                     AddressName(static_cast<std::uint8_t>(n.Addressing >> 4)));
}

} // namespace kelmora
