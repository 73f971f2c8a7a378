#include "tests/support/native_builder.h"

#include <algorithm>
#include <cstring>

namespace kelmora::testing {

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Chunk(std::vector<std::uint8_t>& out, std::uint32_t type, std::uint32_t size, std::uint32_t stamp) {
    Put32(out, type);
    Put32(out, size);
    Put32(out, stamp);
}

std::uint32_t FourCc(const std::string& s) {
    return static_cast<std::uint8_t>(s[0]) | static_cast<std::uint8_t>(s[1]) << 8 |
           static_cast<std::uint8_t>(s[2]) << 16 | static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[3])) << 24;
}

// Bytes a texel (palettised: an index byte).
std::uint32_t TexelBytes(const std::string& f) {
    if (f == "8888" || f == "888")
        return 4;
    if (f == "565" || f == "1555" || f == "555" || f == "4444" || f == "A8L8")
        return 2;
    return 1;
}

// The raster format's base nibble real files write for each format.
std::uint32_t DefaultBase(const NativeSpec& s) {
    const std::string& f = s.Format;
    if (f == "DXT1" || f == "565")
        return 0x2;
    if (f == "1555")
        return 0x1;
    if (f == "DXT2" || f == "DXT3" || f == "DXT4" || f == "DXT5" || f == "4444")
        return 0x3;
    if (f == "L8")
        return 0x4;
    if (f == "8888")
        return 0x5;
    if (f == "888")
        return 0x6;
    if (f == "555")
        return 0xA;
    if (f == "PAL8" || f == "PAL4")
        return s.PaletteJunkAlpha ? 0x6 : 0x5;
    return 0x0; // A8L8 carries the default base in real files
}

std::uint32_t DefaultDepth(const NativeSpec& s) {
    const std::string& f = s.Format;
    if (f == "8888" || f == "888")
        return 32;
    if (f == "L8" || f == "PAL8")
        return 8;
    if (f == "PAL4")
        return s.Pal4Packed ? 4 : 8;
    return 16;
}

std::uint32_t D3DFormat(const std::string& f) {
    if (IsDxtFormat(f))
        return FourCc(f);
    if (f == "8888") return 21;
    if (f == "888") return 22;
    if (f == "565") return 23;
    if (f == "555") return 24;
    if (f == "1555") return 25;
    if (f == "4444") return 26;
    if (f == "L8") return 50;
    if (f == "A8L8") return 51;
    return 41; // P8
}

std::uint8_t CompressionByte(const NativeSpec& s) {
    const std::string& f = s.Format;
    if (s.Platform == 9)
        return static_cast<std::uint8_t>((s.AlphaFlag ? 1 : 0) | (s.AutoMipmap ? 4 : 0) | (IsDxtFormat(f) ? 8 : 0));
    if (!IsDxtFormat(f))
        return 0;
    if (s.Platform == 5)
        return f == "DXT1" ? 0x0C : (f == "DXT2" || f == "DXT3") ? 0x0E : 0x0F;
    return static_cast<std::uint8_t>(f[3] - '0');
}

std::uint32_t Side(std::uint32_t v, std::uint32_t n) { return std::max<std::uint32_t>(1, v >> n); }

std::uint32_t Next(std::uint32_t& s) {
    s = s * 1103515245u + 12345u;
    return s >> 8;
}

std::uint8_t Widen(std::uint32_t v, int bits) {
    return static_cast<std::uint8_t>(bits == 5 ? (v << 3 | v >> 2) : bits == 6 ? (v << 2 | v >> 4) : v * 17);
}

// Square power-of-two Morton order by spreading each coordinate's bits.
std::uint32_t Spread(std::uint32_t v) {
    v &= 0xFFFF;
    v = (v | v << 8) & 0x00FF00FF;
    v = (v | v << 4) & 0x0F0F0F0F;
    v = (v | v << 2) & 0x33333333;
    v = (v | v << 1) & 0x55555555;
    return v;
}

std::size_t SwizzledAt(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h) {
    if (w == h)
        return Spread(x) | Spread(y) << 1;
    // Other shapes: bits taken in turn while each side still has some.
    std::size_t at = 0;
    int out = 0;
    for (int b = 0; b < 16; ++b) {
        if ((1u << b) < w)
            at |= std::size_t{(x >> b) & 1u} << out++;
        if ((1u << b) < h)
            at |= std::size_t{(y >> b) & 1u} << out++;
    }
    return at;
}

} // namespace

bool IsDxtFormat(const std::string& f) { return f.size() == 4 && f.compare(0, 3, "DXT") == 0; }

std::size_t NativeLevelSize(const std::string& f, std::uint32_t w, std::uint32_t h, bool pad) {
    if (IsDxtFormat(f))
        return std::size_t{std::max<std::uint32_t>(1, (w + 3) / 4)} * std::max<std::uint32_t>(1, (h + 3) / 4) *
               (f == "DXT1" ? 8 : 16);
    const std::size_t row = std::size_t{w} * TexelBytes(f);
    return (pad ? (row + 3) / 4 * 4 : row) * h;
}

std::vector<std::uint8_t> BuildNativeRecord(const NativeSpec& s) {
    const std::uint32_t stamp = 0x1803FFFF;
    const bool palettised = s.Format == "PAL8" || s.Format == "PAL4";
    const std::uint32_t count = s.CountZero ? 0 : s.AutoMipmap ? 4 : s.Levels;
    std::uint32_t raster = (s.RasterBase ? s.RasterBase : DefaultBase(s)) << 8;
    if (s.Format == "PAL8")
        raster |= 0x2000;
    if (s.Format == "PAL4")
        raster |= 0x4000;
    if (count > 1)
        raster |= 0x8000;
    if (s.AutoMipmap)
        raster |= 0x1000;

    std::vector<std::uint8_t> st;
    Put32(st, s.PlatformIdOverride ? s.PlatformIdOverride : s.Platform);
    st.push_back(s.Filter);
    st.push_back(s.Addressing);
    Put16(st, 0);
    std::uint8_t name[32] = {}, mask[32] = {};
    std::memcpy(name, s.Name.data(), std::min<std::size_t>(31, s.Name.size()));
    std::memcpy(mask, s.StaleMask.data(), 32);
    std::memcpy(mask, s.Mask.data(), std::min<std::size_t>(31, s.Mask.size()));
    mask[std::min<std::size_t>(31, s.Mask.size())] = 0;
    st.insert(st.end(), name, name + 32);
    st.insert(st.end(), mask, mask + 32);
    Put32(st, raster);
    Put32(st, s.Platform == 9 ? D3DFormat(s.Format) : (s.AlphaFlag ? 1u : 0u));
    Put16(st, s.Width);
    Put16(st, s.Height);
    st.push_back(static_cast<std::uint8_t>(s.Depth ? s.Depth : DefaultDepth(s)));
    st.push_back(static_cast<std::uint8_t>(count));
    st.push_back(4);
    st.push_back(CompressionByte(s));
    if (palettised)
        st.insert(st.end(), s.Palette.begin(), s.Palette.end());
    if (s.Platform == 5) {
        std::uint32_t total = 0;
        for (const auto& l : s.LevelBytes)
            total += static_cast<std::uint32_t>(l.size());
        Put32(st, total);
        for (const auto& l : s.LevelBytes)
            st.insert(st.end(), l.begin(), l.end());
    } else {
        for (std::size_t n = 0; n < s.LevelBytes.size(); ++n) {
            const bool empty = s.EmptySmallDxt && IsDxtFormat(s.Format) &&
                               (Side(s.Width, static_cast<std::uint32_t>(n)) < 4 ||
                                Side(s.Height, static_cast<std::uint32_t>(n)) < 4);
            Put32(st, empty ? 0 : static_cast<std::uint32_t>(s.LevelBytes[n].size()));
            if (!empty)
                st.insert(st.end(), s.LevelBytes[n].begin(), s.LevelBytes[n].end());
        }
    }

    std::vector<std::uint8_t> body;
    Chunk(body, 0x01, static_cast<std::uint32_t>(st.size()), stamp);
    body.insert(body.end(), st.begin(), st.end());
    if (!s.NoExtension)
        Chunk(body, 0x03, 0, stamp);
    if (s.ExtraChunk)
        Chunk(body, 0x00, 0, stamp);
    std::vector<std::uint8_t> rec;
    Chunk(rec, 0x15, static_cast<std::uint32_t>(body.size()), stamp);
    rec.insert(rec.end(), body.begin(), body.end());
    return rec;
}

std::vector<std::uint8_t> BuildNativeDictionary(const std::vector<NativeSpec>& textures, std::uint32_t stamp,
                                                std::uint32_t padTo) {
    std::vector<std::uint8_t> records;
    for (const NativeSpec& t : textures) {
        const std::vector<std::uint8_t> r = BuildNativeRecord(t);
        records.insert(records.end(), r.begin(), r.end());
    }
    std::vector<std::uint8_t> out;
    Chunk(out, 0x16, static_cast<std::uint32_t>(16 + records.size() + 12), stamp);
    Chunk(out, 0x01, 4, stamp);
    const std::uint16_t device = textures.empty() ? 0 : textures[0].Platform == 9 ? 2 : 0;
    if ((stamp >> 16) != 0 && stamp >= 0x1803FFFF) { // 3.6 and newer: u16 count, u16 device
        Put16(out, static_cast<std::uint32_t>(textures.size()));
        Put16(out, device);
    } else {
        Put32(out, static_cast<std::uint32_t>(textures.size()));
    }
    out.insert(out.end(), records.begin(), records.end());
    Chunk(out, 0x03, 0, stamp);
    if (padTo) {
        std::uint32_t junk = 77;
        while (out.size() % padTo)
            out.push_back(static_cast<std::uint8_t>(Next(junk)));
    }
    return out;
}

NativeSpec RandomNative(std::uint32_t platform, const std::string& format, std::uint32_t w, std::uint32_t h,
                        std::uint32_t levels, std::uint32_t seed) {
    NativeSpec s;
    s.Platform = platform;
    s.Format = format;
    s.Name = format + "_" + std::to_string(w) + "x" + std::to_string(h);
    s.Mask = s.Name + "a";
    s.Width = w;
    s.Height = h;
    s.Levels = levels;
    std::uint32_t r = seed * 2654435761u + 1;
    std::uint32_t entries = format == "PAL8" ? 256 : format == "PAL4" ? 32 : 0;
    s.Palette.resize(4 * std::size_t{entries});
    for (auto& b : s.Palette)
        b = static_cast<std::uint8_t>(Next(r));
    for (std::uint32_t n = 0; n < levels; ++n) {
        const std::uint32_t lw = Side(w, n), lh = Side(h, n);
        std::vector<std::uint8_t> bytes(NativeLevelSize(format, lw, lh));
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(entries ? Next(r) % entries : Next(r));
        s.LevelBytes.push_back(std::move(bytes));
    }
    return s;
}

std::vector<PaletteEntry> ReferenceTexels(const NativeSpec& s, std::uint32_t level, bool unswizzle) {
    const std::uint32_t w = Side(s.Width, level), h = Side(s.Height, level);
    const std::vector<std::uint8_t>& data = s.LevelBytes[level];
    const bool palettised = s.Format == "PAL8" || s.Format == "PAL4";
    const std::size_t unit = palettised && s.Pal4Packed ? 0 : TexelBytes(s.Format);
    // Each row's bytes: padded levels are stored with their padding.
    const std::size_t stored = data.size() / h;
    std::vector<PaletteEntry> out(std::size_t{w} * h);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t sx = x, sy = y;
            // Morton order covers power-of-two sides only.
            const bool pow2 = (w & (w - 1)) == 0 && (h & (h - 1)) == 0;
            if (s.Platform == 5 && unswizzle && pow2) {
                const std::size_t at = SwizzledAt(x, y, w, h);
                sx = static_cast<std::uint32_t>(at % w);
                sy = static_cast<std::uint32_t>(at / w);
            }
            const std::uint8_t* p = data.data() + sy * stored + (unit ? sx * unit : sx / 2);
            const std::uint32_t v16 = p[0] | (unit == 2 ? p[1] << 8 : 0);
            PaletteEntry e{};
            const std::string& f = s.Format;
            if (palettised) {
                const std::uint32_t index = unit ? p[0] : (sx % 2 ? p[0] >> 4 : p[0] & 15);
                const std::uint8_t* c = s.Palette.data() + 4 * index;
                e = {c[0], c[1], c[2], s.PaletteJunkAlpha ? std::uint8_t{255} : c[3]};
            } else if (f == "8888") {
                e = {p[2], p[1], p[0], p[3]};
            } else if (f == "888") {
                e = {p[2], p[1], p[0], 255};
            } else if (f == "565") {
                e = {Widen(v16 >> 11, 5), Widen((v16 >> 5) & 63, 6), Widen(v16 & 31, 5), 255};
            } else if (f == "1555" || f == "555") {
                const std::uint8_t a = f == "555" || (v16 & 0x8000) ? 255 : 0;
                e = {Widen((v16 >> 10) & 31, 5), Widen((v16 >> 5) & 31, 5), Widen(v16 & 31, 5), a};
            } else if (f == "4444") {
                e = {Widen((v16 >> 8) & 15, 4), Widen((v16 >> 4) & 15, 4), Widen(v16 & 15, 4), Widen(v16 >> 12, 4)};
            } else if (f == "L8") {
                e = {p[0], p[0], p[0], 255};
            } else if (f == "A8L8") {
                e = {p[0], p[0], p[0], p[1]};
            }
            out[std::size_t{y} * w + x] = e;
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodeDxtSimple(const std::string& format, const std::vector<PaletteEntry>& rgba,
                                          std::uint32_t w, std::uint32_t h) {
    const bool dxt1 = format == "DXT1", explicitAlpha = format == "DXT2" || format == "DXT3";
    std::vector<std::uint8_t> out;
    const auto pack = [](const PaletteEntry& c) {
        return static_cast<std::uint16_t>((c.R >> 3) << 11 | (c.G >> 2) << 5 | (c.B >> 3));
    };
    const auto unpack = [](std::uint16_t v) {
        return PaletteEntry{Widen(v >> 11, 5), Widen((v >> 5) & 63, 6), Widen(v & 31, 5), 255};
    };
    for (std::uint32_t by = 0; by < std::max<std::uint32_t>(1, (h + 3) / 4); ++by) {
        for (std::uint32_t bx = 0; bx < std::max<std::uint32_t>(1, (w + 3) / 4); ++bx) {
            PaletteEntry block[16];
            for (int i = 0; i < 16; ++i)
                block[i] = rgba[std::size_t{std::min(h - 1, 4 * by + i / 4)} * w + std::min(w - 1, 4 * bx + i % 4)];
            if (!dxt1) {
                std::uint8_t lo = 255, hi = 0;
                for (const auto& c : block)
                    lo = std::min(lo, c.A), hi = std::max(hi, c.A);
                if (explicitAlpha) {
                    for (int i = 0; i < 16; i += 2)
                        out.push_back(static_cast<std::uint8_t>(block[i].A >> 4 | (block[i + 1].A >> 4) << 4));
                } else {
                    out.push_back(hi);
                    out.push_back(lo);
                    std::uint64_t bits = 0;
                    for (int i = 0; i < 16; ++i) {
                        int best = 0, bestErr = 1 << 20;
                        for (int k = 0; k < 8; ++k) {
                            const int v = hi == lo ? hi : k == 0 ? hi : k == 1 ? lo : ((8 - k) * hi + (k - 1) * lo) / 7;
                            if (std::abs(v - block[i].A) < bestErr)
                                bestErr = std::abs(v - block[i].A), best = k;
                        }
                        bits |= std::uint64_t(best) << (3 * i);
                    }
                    for (int k = 0; k < 6; ++k)
                        out.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
                }
            }
            int loAt = 0, hiAt = 0;
            for (int i = 0; i < 16; ++i) {
                const auto lum = [&](int k) { return block[k].R * 3 + block[k].G * 6 + block[k].B; };
                if (lum(i) < lum(loAt))
                    loAt = i;
                if (lum(i) > lum(hiAt))
                    hiAt = i;
            }
            std::uint16_t c0 = pack(block[hiAt]), c1 = pack(block[loAt]);
            if (c0 < c1)
                std::swap(c0, c1);
            const PaletteEntry a = unpack(c0), b = unpack(c1);
            const PaletteEntry codes[4] = {a, b,
                                           {static_cast<std::uint8_t>((2 * a.R + b.R) / 3),
                                            static_cast<std::uint8_t>((2 * a.G + b.G) / 3),
                                            static_cast<std::uint8_t>((2 * a.B + b.B) / 3), 255},
                                           {static_cast<std::uint8_t>((a.R + 2 * b.R) / 3),
                                            static_cast<std::uint8_t>((a.G + 2 * b.G) / 3),
                                            static_cast<std::uint8_t>((a.B + 2 * b.B) / 3), 255}};
            std::uint32_t indices = 0;
            for (int i = 0; i < 16; ++i) {
                int best = 0, bestErr = 1 << 30;
                for (int k = 0; k < (c0 == c1 ? 1 : 4); ++k) {
                    const int dr = codes[k].R - block[i].R, dg = codes[k].G - block[i].G, db = codes[k].B - block[i].B;
                    if (dr * dr + dg * dg + db * db < bestErr)
                        bestErr = dr * dr + dg * dg + db * db, best = k;
                }
                indices |= static_cast<std::uint32_t>(best) << (2 * i);
            }
            out.push_back(static_cast<std::uint8_t>(c0));
            out.push_back(static_cast<std::uint8_t>(c0 >> 8));
            out.push_back(static_cast<std::uint8_t>(c1));
            out.push_back(static_cast<std::uint8_t>(c1 >> 8));
            for (int k = 0; k < 4; ++k)
                out.push_back(static_cast<std::uint8_t>(indices >> (8 * k)));
        }
    }
    return out;
}

} // namespace kelmora::testing
