// Writes the demo dictionaries: make-demo DEMO.txd [CONSOLE.txd]
// DEMO.txd is in the fixed layout; CONSOLE.txd in the layout console dictionaries
// really have: mip levels, padded small textures, empty extensions, true colour.
// The output is the same byte for byte on every run.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/dictionary_builder.h"

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
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-demo DEMO.txd [CONSOLE.txd]\n");
        return 2;
    }
    if (argc == 3)
        WriteFile(argv[2], BuildDictionary(ConsoleTextures()));
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
