#include "tests/support/dictionary_builder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "base/bytes.h"
#include "dictionary/unswizzle.h"

namespace kelmora::testing {

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ChunkHeader(std::vector<std::uint8_t>& out, std::uint32_t type, std::uint32_t size) {
    Put32(out, type);
    Put32(out, size);
    Put32(out, 0x1803FFFF); // library version stamp
}

std::vector<std::uint8_t> PaddedString(const std::string& s) {
    std::vector<std::uint8_t> out(s.begin(), s.end());
    out.push_back(0);
    while (out.size() % 4)
        out.push_back(0);
    return out;
}

std::uint32_t PixelBytes(const TextureSpec& t) {
    if (t.Depth == 4)
        return t.Height == 16 ? t.Width * 16 : (t.Width * t.Height) >> 1;
    return t.Width * t.Height;
}

void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}

// An 80-byte transfer header for rrw x rrh pixels and `bytes` bytes of data.
void TransferHeader(std::vector<std::uint8_t>& out, std::uint32_t rrw, std::uint32_t rrh, std::size_t bytes) {
    const std::uint8_t tag[16] = {3, 0, 0, 0, 0, 0, 0, 0x10, 0x0E, 0, 0, 0, 0, 0, 0, 0};
    out.insert(out.end(), tag, tag + 16);
    Put64(out, 0); // TRXPOS: both corners at the origin
    Put64(out, 0x51);
    Put64(out, rrw | static_cast<std::uint64_t>(rrh) << 32);
    Put64(out, 0x52);
    Put64(out, 0); // TRXDIR: host to memory
    Put64(out, 0x53);
    Put64(out, (bytes / 16 & 0x7FFF) | 0x0800000000000000ull);
    Put64(out, 0);
}

std::uint32_t Log2(std::uint32_t v) {
    std::uint32_t n = 0;
    while ((1u << n) < v && n < 31)
        ++n;
    return n;
}

// The raster struct's content in the real layout: the 64-byte raster info, then
// the data struct with one transfer per level and the palette transfer.
std::vector<std::uint8_t> RealRaster(const TextureSpec& t) {
    const bool palettised = t.Depth == 4 || t.Depth == 8;
    std::vector<std::uint8_t> pixels;
    std::uint32_t levels = 0;
    auto addLevel = [&](std::uint32_t w, std::uint32_t h, std::vector<std::uint8_t> data, std::uint32_t rrw,
                        std::uint32_t rrh) {
        data.resize((data.size() + 15) / 16 * 16, 0); // transfers move whole 16-byte units
        TransferHeader(pixels, rrw, rrh, data.size());
        pixels.insert(pixels.end(), data.begin(), data.end());
        ++levels;
        (void)w;
        (void)h;
    };
    if (palettised) {
        std::vector<const std::vector<std::uint8_t>*> all{&t.Pixels};
        for (const auto& m : t.MipPixels)
            all.push_back(&m);
        for (std::uint32_t n = 0; n < all.size(); ++n) {
            const std::uint32_t w = std::max(1u, t.Width >> n), h = std::max(1u, t.Height >> n);
            addLevel(w, h, EncodeLevel(t.Depth, w, h, *all[n], 0xA5), TransferWidth(t.Depth, w),
                     TransferHeight(t.Depth, h));
        }
    } else {
        std::vector<std::uint8_t> data;
        for (const PaletteEntry& e : t.Texels) {
            if (t.Depth == 32) {
                data.insert(data.end(), {e.R, e.G, e.B, e.A});
            } else {
                const unsigned v = (e.R >> 3) | (e.G >> 3) << 5 | (e.B >> 3) << 10 | (e.A ? 0x8000u : 0u);
                data.insert(data.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
            }
        }
        addLevel(t.Width, t.Height, data, t.Width, t.Height);
    }
    std::vector<std::uint8_t> palette;
    if (palettised) {
        std::vector<std::uint8_t> colours = EncodePalette(t);
        if (t.Depth == 4)
            colours.insert(colours.end(), 32, 0xFF); // left-over memory, never colours
        TransferHeader(palette, t.Depth == 4 ? 8 : 16, t.Depth == 4 ? 3 : 16, colours.size());
        palette.insert(palette.end(), colours.begin(), colours.end());
    }

    std::vector<std::uint8_t> info;
    Put32(info, t.Width);
    Put32(info, t.Height);
    Put32(info, t.Depth);
    std::uint32_t format = t.Depth == 4 ? 0x24504 : t.Depth == 8 ? 0x22504 : t.Depth == 16 ? 0x20104 : 0x20504;
    if (levels > 1)
        format |= 0x8000;
    Put32(info, format);
    const std::uint64_t psm = t.Depth == 4 ? 0x14 : t.Depth == 8 ? 0x13 : t.Depth == 16 ? 0x0A : 0x00;
    const std::uint64_t tbw = std::max<std::uint32_t>(palettised ? 2 : 1, t.Width / 64);
    Put64(info, tbw << 14 | psm << 20 | std::uint64_t{Log2(t.Width)} << 26 | std::uint64_t{Log2(t.Height)} << 30 |
                    1ull << 34 | (palettised ? 1ull << 61 : 0));
    Put64(info, 0);                  // TEX1 as stored: nothing a reader needs
    Put64(info, 0x0040000400004000); // MIPTBP1 and MIPTBP2: no levels placed
    Put64(info, 0x0040000400004000);
    Put32(info, static_cast<std::uint32_t>(pixels.size()));
    Put32(info, static_cast<std::uint32_t>(palette.size()));
    Put32(info, 2048);
    Put32(info, 0xFC0);

    std::vector<std::uint8_t> out;
    ChunkHeader(out, 0x01, 64);
    out.insert(out.end(), info.begin(), info.end());
    ChunkHeader(out, 0x01, static_cast<std::uint32_t>(pixels.size() + palette.size()));
    out.insert(out.end(), pixels.begin(), pixels.end());
    out.insert(out.end(), palette.begin(), palette.end());
    return out;
}

} // namespace

std::uint32_t TransferWidth(std::uint32_t depth, std::uint32_t w) {
    return depth == 8 ? 8 * ((w + 15) / 16) : 16 * ((w + 31) / 32);
}

std::uint32_t TransferHeight(std::uint32_t, std::uint32_t h) { return 2 * ((h + 3) / 4); }

std::size_t TexelPosition(std::uint32_t depth, std::uint32_t x, std::uint32_t y, std::uint32_t rrw) {
    const std::uint32_t t = ((y / 2) ^ (y / 4)) % 2;
    const std::uint32_t row = 2 * (y / 4) + y % 2;
    if (depth == 8) {
        const std::uint32_t px = 8 * (x / 16) + ((x % 8) + 4 * t) % 8;
        const std::uint32_t k = (y / 2) % 2 + 2 * ((x / 8) % 2);
        return 4 * (static_cast<std::size_t>(row) * rrw + px) + k;
    }
    const std::uint32_t px = 16 * (x / 32) + 8 * ((x / 16) % 2) + ((x % 8) + 4 * t) % 8;
    const std::uint32_t k = (x / 8) % 2, nib = (y / 2) % 2;
    return 4 * (static_cast<std::size_t>(row) * rrw + px) + 2 * k + nib;
}

std::vector<std::uint8_t> EncodeLevel(std::uint32_t depth, std::uint32_t w, std::uint32_t h,
                                      const std::vector<std::uint8_t>& texels, std::uint8_t pad) {
    const std::uint32_t rrw = TransferWidth(depth, w), rrh = TransferHeight(depth, h);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rrw) * rrh * (depth == 8 ? 4 : 2), pad);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t v = texels[static_cast<std::size_t>(y) * w + x];
            const std::size_t at = TexelPosition(depth, x, y, rrw);
            if (depth == 8) {
                out[at] = v;
            } else {
                std::uint8_t& b = out[at / 2];
                b = at % 2 ? static_cast<std::uint8_t>((b & 0x0F) | (v << 4))
                           : static_cast<std::uint8_t>((b & 0xF0) | (v & 15));
            }
        }
    return out;
}

TextureSpec RealTexture(const std::string& name, std::uint32_t w, std::uint32_t h, std::uint32_t depth,
                        std::uint32_t levels, std::uint32_t seed) {
    TextureSpec t = RandomTexture(name, w, h, depth == 4 ? 4 : 8, false, seed);
    t.Depth = depth;
    t.Real = true;
    t.Swizzled = true;
    std::mt19937 rng(seed * 7919u + 1);
    if (depth == 16 || depth == 32) {
        t.Pixels.clear();
        auto widen = [](unsigned c) { return static_cast<std::uint8_t>((c << 3) | (c >> 2)); };
        for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
            if (depth == 32)
                t.Texels.push_back({static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                                    static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng() % 129)});
            else
                t.Texels.push_back({widen(rng() % 32), widen(rng() % 32), widen(rng() % 32),
                                    static_cast<std::uint8_t>(rng() % 2 ? 128 : 0)});
        }
        return t;
    }
    for (std::uint32_t n = 1; n < levels; ++n) {
        const std::uint32_t lw = std::max(1u, w >> n), lh = std::max(1u, h >> n);
        std::vector<std::uint8_t> m(static_cast<std::size_t>(lw) * lh);
        for (auto& v : m)
            v = static_cast<std::uint8_t>(rng() % (depth == 4 ? 16 : 256));
        t.MipPixels.push_back(std::move(m));
    }
    return t;
}

bool CellIsRead(const TextureSpec& t, std::uint32_t x, std::uint32_t y) {
    if (t.Swizzled)
        return y < t.Height / 2 * 2;
    if (t.Depth == 4)
        return x < t.Width / 2 * 2;
    return true;
}

std::vector<std::uint8_t> EncodePixels(const TextureSpec& t) {
    const std::uint32_t w = t.Width, h = t.Height;
    std::vector<std::uint8_t> grid = t.Pixels;
    grid.resize(static_cast<std::size_t>(w) * h);
    std::vector<std::uint8_t> out;
    out.reserve(PixelBytes(t));
    auto at = [&](std::uint32_t x, std::uint32_t y) { return grid[static_cast<std::size_t>(y) * w + x]; };
    if (t.Swizzled) {
        Swizzle(grid.data(), w, h);
        for (std::uint32_t p = 0; p < h / 2; ++p) {
            for (std::uint32_t x = 0; x < w; ++x) {
                if (t.Depth == 4) {
                    out.push_back(static_cast<std::uint8_t>((at(x, 2 * p) & 15) | (at(x, 2 * p + 1) << 4)));
                } else {
                    out.push_back(at(x, 2 * p));
                    out.push_back(at(x, 2 * p + 1));
                }
            }
            if (t.Depth == 4 && h == 16)
                out.insert(out.end(), w, 0xEE); // skipped by the reader
        }
    } else if (t.Depth == 4) {
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t k = 0; k < w / 2; ++k)
                out.push_back(static_cast<std::uint8_t>((at(2 * k, y) & 15) | (at(2 * k + 1, y) << 4)));
    } else {
        out = grid;
    }
    out.resize(PixelBytes(t), 0);
    return out;
}

std::vector<std::uint8_t> EncodePalette(const TextureSpec& t) {
    TexPalette pal = t.Palette;
    if (t.Depth != 4 && t.Swizzled)
        ReorderPalette(pal);
    std::size_t n = t.Depth == 4 ? 16 : 256;
    std::vector<std::uint8_t> out(n * 4);
    std::memcpy(out.data(), pal.data(), out.size());
    return out;
}

std::vector<std::uint8_t> BuildDictionary(const std::vector<TextureSpec>& textures) {
    std::vector<std::uint8_t> records;
    for (const TextureSpec& t : textures) {
        std::vector<std::uint8_t> name = PaddedString(t.Name);
        std::vector<std::uint8_t> mask = PaddedString(t.Mask);
        std::vector<std::uint8_t> body;  // the raster struct's content
        if (t.Real) {
            body = RealRaster(t);
        } else {
            std::vector<std::uint8_t> pixels = EncodePixels(t);
            std::vector<std::uint8_t> palette = EncodePalette(t);
            std::vector<std::uint8_t> raster; // from the raster header words on
            Put32(raster, t.Width);
            Put32(raster, t.Height);
            Put32(raster, t.Depth);
            raster.resize(156, 0);
            raster.insert(raster.end(), pixels.begin(), pixels.end());
            raster.resize(236 + pixels.size(), 0);
            raster.insert(raster.end(), palette.begin(), palette.end());
            while (raster.size() % 4) // keeps the next record 4-byte aligned
                raster.push_back(0);
            ChunkHeader(body, 0x01, static_cast<std::uint32_t>(raster.size()));
            body.insert(body.end(), raster.begin(), raster.end());
        }
        const auto s = static_cast<std::uint32_t>(body.size());
        const std::uint32_t ext = t.EmptyExtension ? 0 : 16;

        std::vector<std::uint8_t> rec;
        const auto texSize = static_cast<std::uint32_t>(12 + 8 + 12 + name.size() + 12 + mask.size() + 12 + s + 12 + ext);
        ChunkHeader(rec, 0x15, texSize);
        ChunkHeader(rec, 0x01, 8);
        Put32(rec, 0x00000325); // platform id and filter flags
        Put32(rec, 0x00001102);
        ChunkHeader(rec, 0x02, static_cast<std::uint32_t>(name.size()));
        rec.insert(rec.end(), name.begin(), name.end());
        ChunkHeader(rec, 0x02, static_cast<std::uint32_t>(mask.size()));
        rec.insert(rec.end(), mask.begin(), mask.end());
        ChunkHeader(rec, 0x01, s);
        rec.insert(rec.end(), body.begin(), body.end());
        ChunkHeader(rec, 0x03, ext);
        if (ext) {
            ChunkHeader(rec, 0x110, 4); // the mipmap K/L value
            Put32(rec, t.Real ? 0xFC0 : 0);
            if (!t.Real) // the fixed layout's extension content is all zeros
                std::fill(rec.end() - 16, rec.end(), 0);
        }
        records.insert(records.end(), rec.begin(), rec.end());
    }
    std::vector<std::uint8_t> out;
    // Real dictionaries end with an empty extension; the fixed layout has none.
    const bool real = std::any_of(textures.begin(), textures.end(), [](const TextureSpec& t) { return t.Real; });
    ChunkHeader(out, 0x16, static_cast<std::uint32_t>(16 + records.size() + (real ? 12 : 0)));
    ChunkHeader(out, 0x01, 4);
    out.push_back(static_cast<std::uint8_t>(textures.size()));
    out.push_back(static_cast<std::uint8_t>(textures.size() >> 8));
    out.push_back(6); // device id
    out.push_back(0);
    out.insert(out.end(), records.begin(), records.end());
    if (real)
        ChunkHeader(out, 0x03, 0);
    return out;
}

DecodeState ManyColourPicture(std::uint32_t side) {
    DecodeState rgba;
    rgba.TexWidth = rgba.TexHeight = side;
    rgba.TexDepth = 32;
    rgba.TrueColour = rgba.FullAlpha = true;
    for (std::uint32_t y = 0; y < side; ++y)
        for (std::uint32_t x = 0; x < side; ++x)
            rgba.Texels.push_back({static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y),
                                   static_cast<std::uint8_t>(x ^ y), 255});
    return rgba;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(kelmora::PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(kelmora::PathFromUtf8(path), std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string MakeTempDir(const std::string& tag) {
    static std::mt19937 rng(std::random_device{}());
    namespace fs = std::filesystem;
    for (;;) {
        fs::path p = fs::temp_directory_path() / ("kelmora-" + tag + "-" + std::to_string(rng()));
        if (fs::create_directory(p))
            return kelmora::PathToUtf8(p);
    }
}

TextureSpec RandomTexture(const std::string& name, std::uint32_t w, std::uint32_t h, std::uint32_t depth,
                          bool swizzled, std::uint32_t seed) {
    std::mt19937 rng(seed);
    TextureSpec t;
    t.Name = name;
    t.Width = w;
    t.Height = h;
    t.Depth = depth;
    t.Swizzled = swizzled;
    t.Pixels.resize(static_cast<std::size_t>(w) * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t v = static_cast<std::uint8_t>(rng() % (depth == 4 ? 16 : 256));
            t.Pixels[static_cast<std::size_t>(y) * w + x] = CellIsRead(t, x, y) ? v : 0;
        }
    for (auto& e : t.Palette)
        e = {static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
             static_cast<std::uint8_t>(rng() % 129)};
    return t;
}

} // namespace kelmora::testing
