#include "dictionary/dxt.h"

#include <algorithm>
#include <cstring>

namespace kelmora {

namespace {

// A 5-6-5 colour widened by repeating its top bits.
PaletteEntry Unpack565(std::uint16_t v) {
    const auto r = static_cast<std::uint8_t>((v >> 11) & 31), g = static_cast<std::uint8_t>((v >> 5) & 63),
               b = static_cast<std::uint8_t>(v & 31);
    return {static_cast<std::uint8_t>(r << 3 | r >> 2), static_cast<std::uint8_t>(g << 2 | g >> 4),
            static_cast<std::uint8_t>(b << 3 | b >> 2), 255};
}

void ColourBlock(const std::uint8_t* b, bool fourColoursOnly, PaletteEntry out[16]) {
    const std::uint16_t a = static_cast<std::uint16_t>(b[0] | b[1] << 8), c = static_cast<std::uint16_t>(b[2] | b[3] << 8);
    PaletteEntry codes[4] = {Unpack565(a), Unpack565(c), {}, {}};
    const auto mix = [&](int wa, int wb, int d) {
        return PaletteEntry{static_cast<std::uint8_t>((wa * codes[0].R + wb * codes[1].R) / d),
                            static_cast<std::uint8_t>((wa * codes[0].G + wb * codes[1].G) / d),
                            static_cast<std::uint8_t>((wa * codes[0].B + wb * codes[1].B) / d), 255};
    };
    if (fourColoursOnly || a > c) {
        codes[2] = mix(2, 1, 3);
        codes[3] = mix(1, 2, 3);
    } else {
        codes[2] = mix(1, 1, 2);
        codes[3] = {0, 0, 0, 0}; // transparent black
    }
    for (int i = 0; i < 16; ++i)
        out[i] = codes[(b[4 + i / 4] >> (2 * (i % 4))) & 3];
}

void ExplicitAlpha(const std::uint8_t* b, PaletteEntry out[16]) {
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t q = (b[i / 2] >> (4 * (i % 2))) & 15;
        out[i].A = static_cast<std::uint8_t>(q | q << 4);
    }
}

void InterpolatedAlpha(const std::uint8_t* b, PaletteEntry out[16]) {
    const int a0 = b[0], a1 = b[1];
    std::uint8_t codes[8] = {static_cast<std::uint8_t>(a0), static_cast<std::uint8_t>(a1)};
    if (a0 > a1) {
        for (int i = 1; i < 7; ++i)
            codes[1 + i] = static_cast<std::uint8_t>(((7 - i) * a0 + i * a1) / 7);
    } else {
        for (int i = 1; i < 5; ++i)
            codes[1 + i] = static_cast<std::uint8_t>(((5 - i) * a0 + i * a1) / 5);
        codes[6] = 0;
        codes[7] = 255;
    }
    // Two groups of eight 3-bit indices in three bytes each.
    for (int g = 0; g < 2; ++g) {
        const std::uint32_t bits = b[2 + 3 * g] | b[3 + 3 * g] << 8 | static_cast<std::uint32_t>(b[4 + 3 * g]) << 16;
        for (int k = 0; k < 8; ++k)
            out[8 * g + k].A = codes[(bits >> (3 * k)) & 7];
    }
}

} // namespace

void DecodeDxtBlock(DxtKind kind, const std::uint8_t* block, PaletteEntry out[16]) {
    switch (kind) {
    case DxtKind::Dxt1: ColourBlock(block, false, out); break;
    case DxtKind::Dxt3:
        ColourBlock(block + 8, true, out);
        ExplicitAlpha(block, out);
        break;
    case DxtKind::Dxt5:
        ColourBlock(block + 8, true, out);
        InterpolatedAlpha(block, out);
        break;
    }
}

void DecodeDxt(DxtKind kind, const std::uint8_t* blocks, std::uint32_t w, std::uint32_t h, PaletteEntry* out) {
    const std::size_t blockBytes = kind == DxtKind::Dxt1 ? 8 : 16;
    const std::uint32_t across = std::max<std::uint32_t>(1, (w + 3) / 4), down = std::max<std::uint32_t>(1, (h + 3) / 4);
    PaletteEntry texels[16];
    for (std::uint32_t by = 0; by < down; ++by) {
        for (std::uint32_t bx = 0; bx < across; ++bx) {
            DecodeDxtBlock(kind, blocks + (static_cast<std::size_t>(by) * across + bx) * blockBytes, texels);
            const std::uint32_t cols = std::min<std::uint32_t>(4, w - std::min(w, 4 * bx));
            const std::uint32_t rows = std::min<std::uint32_t>(4, h - std::min(h, 4 * by));
            for (std::uint32_t y = 0; y < rows; ++y)
                std::memcpy(out + static_cast<std::size_t>(4 * by + y) * w + 4 * bx, texels + 4 * y,
                            cols * sizeof(PaletteEntry));
        }
    }
}

} // namespace kelmora
