#include "tests/support/dictionary_builder.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

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

} // namespace

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
    std::vector<std::uint8_t> body;
    for (const TextureSpec& t : textures) {
        std::vector<std::uint8_t> name = PaddedString(t.Name);
        std::vector<std::uint8_t> mask = PaddedString(t.Mask);
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
        const auto s = static_cast<std::uint32_t>(12 + raster.size());

        std::vector<std::uint8_t> rec;
        const auto texSize = static_cast<std::uint32_t>(12 + 8 + 12 + name.size() + 12 + mask.size() + 12 + s + 28);
        ChunkHeader(rec, 0x15, texSize);
        ChunkHeader(rec, 0x01, 8);
        Put32(rec, 0x00000325); // platform id and filter flags
        Put32(rec, 0x00001102);
        ChunkHeader(rec, 0x02, static_cast<std::uint32_t>(name.size()));
        rec.insert(rec.end(), name.begin(), name.end());
        ChunkHeader(rec, 0x02, static_cast<std::uint32_t>(mask.size()));
        rec.insert(rec.end(), mask.begin(), mask.end());
        ChunkHeader(rec, 0x01, s);
        ChunkHeader(rec, 0x01, static_cast<std::uint32_t>(raster.size()));
        rec.insert(rec.end(), raster.begin(), raster.end());
        ChunkHeader(rec, 0x03, 16);
        rec.resize(rec.size() + 16, 0);
        body.insert(body.end(), rec.begin(), rec.end());
    }
    std::vector<std::uint8_t> out;
    ChunkHeader(out, 0x16, static_cast<std::uint32_t>(16 + body.size()));
    ChunkHeader(out, 0x01, 4);
    out.push_back(static_cast<std::uint8_t>(textures.size()));
    out.push_back(static_cast<std::uint8_t>(textures.size() >> 8));
    out.push_back(6); // device id
    out.push_back(0);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
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
            return p.string();
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
