// Writes the demo dictionaries: make-demo DEMO.txd [CONSOLE.txd [D3D8.txd D3D9.txd]]
// DEMO.txd is in the fixed layout; CONSOLE.txd in the layout console dictionaries
// really have: mip levels, padded small textures, empty extensions, true colour.
// D3D8.txd and D3D9.txd hold the PC releases' textures: DXT with mip levels,
// palettes of 256 and 32 entries, true colour and the 16-bit formats.
// The output is the same byte for byte on every run.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/dictionary_builder.h"
#include "tests/support/native_builder.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

std::uint8_t Clamp(double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : std::lround(v))); }

// A hue wheel of 256 colours, fully opaque.
TexPalette HuePalette() {
    TexPalette p{};
    for (int i = 0; i < 256; ++i) {
        double h = i / 256.0 * 6.0;
        int sector = static_cast<int>(h);
        double f = h - sector;
        double v = 255, q = 255 * (1 - f), t = 255 * f;
        double r = 0, g = 0, b = 0;
        switch (sector) {
        case 0: r = v, g = t, b = 0; break;
        case 1: r = q, g = v, b = 0; break;
        case 2: r = 0, g = v, b = t; break;
        case 3: r = 0, g = q, b = v; break;
        case 4: r = t, g = 0, b = v; break;
        default: r = v, g = 0, b = q; break;
        }
        p[i] = {Clamp(r), Clamp(g), Clamp(b), 128};
    }
    return p;
}

TextureSpec Make(const std::string& name, const std::string& mask, std::uint32_t w, std::uint32_t h,
                 std::uint32_t depth) {
    TextureSpec t;
    t.Name = name;
    t.Mask = mask;
    t.Width = w;
    t.Height = h;
    t.Depth = depth;
    t.Pixels.assign(static_cast<std::size_t>(w) * h, 0);
    return t;
}

void Fill(TextureSpec& t, auto f) {
    for (std::uint32_t y = 0; y < t.Height; ++y)
        for (std::uint32_t x = 0; x < t.Width; ++x)
            t.Pixels[static_cast<std::size_t>(y) * t.Width + x] = CellIsRead(t, x, y) ? f(x, y) : 0;
}


// A picture of w x h: each level of a PC texture draws it at its own size.
using PictureFn = PaletteEntry (*)(double u, double v);

std::vector<PaletteEntry> Draw(PictureFn f, std::uint32_t w, std::uint32_t h) {
    std::vector<PaletteEntry> px(static_cast<std::size_t>(w) * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            px[static_cast<std::size_t>(y) * w + x] = f((x + 0.5) / w, (y + 0.5) / h);
    return px;
}

// The stored bytes of one level of a true-colour or DXT format.
std::vector<std::uint8_t> StoreLevel(const std::string& format, const std::vector<PaletteEntry>& px, std::uint32_t w,
                                     std::uint32_t h) {
    if (IsDxtFormat(format))
        return EncodeDxtSimple(format, px, w, h);
    std::vector<std::uint8_t> out;
    for (const PaletteEntry& c : px) {
        if (format == "8888" || format == "888") {
            out.insert(out.end(), {c.B, c.G, c.R, static_cast<std::uint8_t>(format == "888" ? 255 : c.A)});
        } else if (format == "565") {
            const int v = (c.R >> 3) << 11 | (c.G >> 2) << 5 | c.B >> 3;
            out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
        } else if (format == "4444") {
            const int v = (c.A >> 4) << 12 | (c.R >> 4) << 8 | (c.G >> 4) << 4 | c.B >> 4;
            out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
        } else if (format == "1555") {
            const int v = (c.A >= 128) << 15 | (c.R >> 3) << 10 | (c.G >> 3) << 5 | c.B >> 3;
            out.insert(out.end(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)});
        } else if (format == "A8L8") {
            out.insert(out.end(), {static_cast<std::uint8_t>((c.R + c.G + c.B) / 3), c.A});
        } else { // L8
            out.push_back(static_cast<std::uint8_t>((c.R + c.G + c.B) / 3));
        }
    }
    return out;
}

NativeSpec PcTexture(std::uint32_t platform, const std::string& name, const std::string& mask, const std::string& format,
                     std::uint32_t w, std::uint32_t h, std::uint32_t levels, PictureFn f) {
    NativeSpec t;
    t.Platform = platform;
    t.Name = name;
    t.Mask = mask;
    t.Format = format;
    t.Width = w;
    t.Height = h;
    t.Levels = levels;
    t.Filter = levels > 1 ? 6 : 2;
    for (std::uint32_t n = 0; n < levels; ++n) {
        const std::uint32_t lw = std::max<std::uint32_t>(1, w >> n), lh = std::max<std::uint32_t>(1, h >> n);
        t.LevelBytes.push_back(StoreLevel(format, Draw(f, lw, lh), lw, lh));
    }
    return t;
}

// A palettised texture: index(u, v) into the given palette.
NativeSpec PcPalettised(const std::string& name, const std::string& format, std::uint32_t w, std::uint32_t h,
                        const std::vector<PaletteEntry>& palette, std::uint8_t (*index)(double u, double v)) {
    NativeSpec t;
    t.Platform = 8;
    t.Name = name;
    t.Format = format;
    t.Width = w;
    t.Height = h;
    for (const PaletteEntry& c : palette)
        t.Palette.insert(t.Palette.end(), {c.R, c.G, c.B, c.A});
    std::vector<std::uint8_t> level;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            level.push_back(index((x + 0.5) / w, (y + 0.5) / h));
    t.LevelBytes.push_back(level);
    return t;
}

PaletteEntry Sky(double u, double v) { return {Clamp(60 + 120 * v), Clamp(120 + 100 * v), Clamp(250 - 30 * u), 255}; }
PaletteEntry Glass(double u, double v) {
    const double d = std::hypot(u - 0.5, v - 0.5) * 2;
    return {Clamp(90 + 160 * u), Clamp(200 - 80 * d), 255, Clamp(d > 1 ? 0 : 255 * (1 - d) * (1 - d))};
}
PaletteEntry Smoke(double u, double v) {
    const double w = std::sin(u * 9) * std::cos(v * 7);
    return {Clamp(150 + 60 * w), Clamp(150 + 60 * w), Clamp(160 + 60 * w), Clamp(128 + 120 * w)};
}
PaletteEntry Flag(double u, double v) {
    // A red letter F on blue, white corner see-through: flips and swaps show.
    const bool stem = u > 0.2 && u < 0.3 && v > 0.1 && v < 0.9, top = v > 0.1 && v < 0.25 && u > 0.2 && u < 0.8,
               bar = v > 0.45 && v < 0.6 && u > 0.2 && u < 0.6;
    if (stem || top || bar)
        return {230, 20, 20, 255};
    return u > 0.85 && v > 0.8 ? PaletteEntry{250, 250, 250, 64} : PaletteEntry{20, 40, 200, 255};
}
PaletteEntry Bricks(double u, double v) {
    const int row = static_cast<int>(v * 8);
    const double x = u * 4 + (row % 2) * 0.5;
    const bool mortar = v * 8 - row < 0.12 || x - std::floor(x) < 0.06;
    return mortar ? PaletteEntry{200, 200, 190, 255} : PaletteEntry{Clamp(150 + 40 * std::sin(row)), 60, 40, 255};
}

std::vector<NativeSpec> D3D8Textures() {
    std::vector<NativeSpec> t;
    t.push_back(PcTexture(8, "sky", "", "DXT1", 128, 64, 4, Sky));
    t.push_back(PcTexture(8, "glass", "glass_a", "DXT5", 64, 64, 3, Glass));
    t.push_back(PcTexture(8, "smoke", "smoke_a", "DXT3", 32, 32, 1, Smoke));
    t.push_back(PcTexture(8, "flag", "flag_a", "8888", 32, 32, 1, Flag));
    std::vector<PaletteEntry> hue;
    for (int i = 0; i < 256; ++i)
        hue.push_back({HuePalette()[i].R, HuePalette()[i].G, HuePalette()[i].B, 255});
    t.push_back(PcPalettised("sign", "PAL8", 64, 32, hue, [](double u, double v) {
        return static_cast<std::uint8_t>(static_cast<int>(std::hypot(u - 0.5, (v - 0.5) / 2) * 700) & 255);
    }));
    // 4 bits: 32 entries a palette, one byte a texel, as Direct3D 8 files hold them.
    std::vector<PaletteEntry> lamp;
    for (int i = 0; i < 32; ++i)
        lamp.push_back({Clamp(255 - i * 4), Clamp(200 - i * 6), Clamp(40 + i * 2), Clamp(i < 16 ? 255 : 255 - (i - 15) * 15)});
    t.push_back(PcPalettised("lamp", "PAL4", 32, 32, lamp, [](double u, double v) {
        return static_cast<std::uint8_t>(std::min(31.0, std::hypot(u - 0.5, v - 0.5) * 2 * 32));
    }));
    for (int i : {1, 2, 3, 5}) // the textures with alpha say so, as real files do
        t[static_cast<std::size_t>(i)].AlphaFlag = true;
    return t;
}

std::vector<NativeSpec> D3D9Textures() {
    std::vector<NativeSpec> t;
    t.push_back(PcTexture(9, "bricks", "", "DXT1", 64, 64, 7, Bricks));
    t.push_back(PcTexture(9, "glass", "glass_a", "DXT5", 64, 64, 1, Glass));
    t.push_back(PcTexture(9, "flag", "", "888", 32, 32, 1, Flag));
    t.push_back(PcTexture(9, "flag_16", "", "565", 32, 32, 1, Flag));
    t.push_back(PcTexture(9, "smoke_4444", "", "4444", 32, 32, 1, Smoke));
    t.push_back(PcTexture(9, "smoke_a8l8", "", "A8L8", 32, 32, 1, Smoke));
    t.push_back(PcTexture(9, "sky_l8", "", "L8", 64, 32, 1, Sky));
    t[1].AlphaFlag = true;
    return t;
}

} // namespace

// Concentric rings: each mip level draws them at its own size, so every level
// shows the same picture smaller.
std::vector<std::uint8_t> Rings(std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            double dx = (x + 0.5) / w - 0.5, dy = (y + 0.5) / h - 0.5;
            px[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>(static_cast<int>(std::sqrt(dx * dx + dy * dy) * 512) & 255);
        }
    return px;
}

std::vector<TextureSpec> ConsoleTextures() {
    std::vector<TextureSpec> texs;

    TextureSpec rings = Make("rings_mips", "rings_mips_a", 128, 128, 8);
    rings.Real = true;
    rings.Palette = HuePalette();
    rings.Pixels = Rings(128, 128);
    for (std::uint32_t n = 1; n < 5; ++n)
        rings.MipPixels.push_back(Rings(128 >> n, 128 >> n));
    rings.EmptyExtension = true;
    texs.push_back(rings);

    auto four = [](const std::string& name, std::uint32_t w, std::uint32_t h) {
        TextureSpec t = Make(name, "", w, h, 4);
        t.Real = true;
        t.EmptyExtension = true;
        for (int i = 0; i < 16; ++i)
            t.Palette[i] = {Clamp(i * 17), Clamp(64 + i * 8), Clamp(255 - i * 16), 128};
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                t.Pixels[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint8_t>((x * 16 / w + y * 4 / h) % 16);
        return t;
    };
    texs.push_back(four("wide_4bit", 64, 16));
    texs.push_back(four("narrow_4bit", 16, 32));
    texs.push_back(four("tiny_4bit", 8, 8));

    TextureSpec photo = Make("sky_32bit", "", 64, 32, 32);
    photo.Real = true;
    photo.Pixels.clear();
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 64; ++x)
            photo.Texels.push_back({Clamp(40 + x * 2), Clamp(90 + y * 3), 230, Clamp(128 - x)});
    texs.push_back(photo);

    TextureSpec hi = Make("tiles_16bit", "", 32, 32, 16);
    hi.Real = true;
    hi.Pixels.clear();
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 32; ++x) {
            const bool on = (x / 8 + y / 8) % 2;
            hi.Texels.push_back({static_cast<std::uint8_t>(on ? 0xFF : 0x42), 0x84, static_cast<std::uint8_t>(on ? 0x21 : 0xFF), 128});
        }
    texs.push_back(hi);
    return texs;
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: make-demo DEMO.txd [CONSOLE.txd [D3D8.txd D3D9.txd]]\n");
        return 2;
    }
    if (argc >= 3)
        WriteFile(argv[2], BuildDictionary(ConsoleTextures()));
    if (argc == 5) {
        WriteFile(argv[3], BuildNativeDictionary(D3D8Textures(), 0x0401FFFF));
        WriteFile(argv[4], BuildNativeDictionary(D3D9Textures(), 0x1803FFFF));
    }
    std::vector<TextureSpec> texs;

    // A colourful plasma over a hue wheel.
    TextureSpec plasma = Make("plasma", "", 256, 256, 8);
    plasma.Palette = HuePalette();
    Fill(plasma, [](std::uint32_t x, std::uint32_t y) {
        double v = std::sin(x / 16.0) + std::sin(y / 11.0) + std::sin((x + y) / 23.0) +
                   std::sin(std::sqrt((x - 128.0) * (x - 128.0) + (y - 96.0) * (y - 96.0)) / 9.0);
        return static_cast<std::uint8_t>(static_cast<int>((v + 4) * 32) & 255);
    });
    texs.push_back(plasma);

    // A round glow whose alpha fades smoothly from the centre.
    TextureSpec glow = Make("glow", "glow_mask", 128, 128, 8);
    for (int i = 0; i < 256; ++i)
        glow.Palette[i] = {255, Clamp(140 + i / 2.5), Clamp(40 + i * 0.6), static_cast<std::uint8_t>(i / 2)};
    Fill(glow, [](std::uint32_t x, std::uint32_t y) {
        double d = std::sqrt((x - 63.5) * (x - 63.5) + (y - 63.5) * (y - 63.5)) / 64.0;
        return Clamp(255 * (1 - (d > 1 ? 1 : d)));
    });
    texs.push_back(glow);

    // A 16-colour checker board without mask name.
    TextureSpec checker = Make("checker", "", 64, 64, 4);
    for (int i = 0; i < 16; ++i)
        checker.Palette[i] = {Clamp(i * 17), Clamp(255 - i * 12), Clamp(80 + i * 10), 128};
    Fill(checker, [](std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>(((x / 8 + y / 8) % 2) * 8 + (x + y) / 8 % 8); });
    texs.push_back(checker);

    // A 4-bit strip exactly 16 rows high: the layout with skipped row pairs.
    TextureSpec strip = Make("stripes16", "stripes16_a", 64, 16, 4);
    for (int i = 0; i < 16; ++i)
        strip.Palette[i] = {Clamp(255 - i * 16), Clamp(i * 16), 200, static_cast<std::uint8_t>(i * 8 + 8)};
    Fill(strip, [](std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>((x / 4 + y) % 16); });
    texs.push_back(strip);

    // Sides that are no multiples of 16: partial blocks stay as stored.
    TextureSpec odd = Make("odd_tile", "", 45, 27, 8);
    for (int i = 0; i < 256; ++i)
        odd.Palette[i] = {Clamp(i), Clamp(96 + i / 3.0), Clamp(255 - i), 128};
    Fill(odd, [](std::uint32_t x, std::uint32_t y) { return static_cast<std::uint8_t>((x * 5 + y * 9) % 256); });
    texs.push_back(odd);

    // A red letter on blue: flips and channel swaps show at once.
    TextureSpec mark = Make("red_on_blue", "red_on_blue_m", 32, 32, 8);
    mark.Palette[0] = {20, 40, 200, 128};
    mark.Palette[1] = {230, 20, 20, 128};
    mark.Palette[2] = {250, 250, 250, 64};
    Fill(mark, [](std::uint32_t x, std::uint32_t y) -> std::uint8_t {
        if (x >= 6 && x < 10 && y >= 4 && y < 28)
            return 1; // the stem of an F
        if (y >= 4 && y < 8 && x >= 6 && x < 26)
            return 1;
        if (y >= 14 && y < 18 && x >= 6 && x < 20)
            return 1;
        return x > 27 && y > 27 ? 2 : 0;
    });
    texs.push_back(mark);

    WriteFile(argv[1], BuildDictionary(texs));
    return 0;
}
