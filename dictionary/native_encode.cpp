#include "dictionary/native_encode.h"

#include <algorithm>

#include <squish.h>

#include "dictionary/native_codec.h"

namespace kelmora {

namespace {

// Nearest stored value of a channel of the given bits; the decoder widens it back.
std::uint32_t Narrow(std::uint8_t v, std::uint32_t bits) {
    const std::uint32_t top = (1u << bits) - 1;
    return (v * top + 127) / 255;
}
std::uint8_t Widen(std::uint32_t q, std::uint32_t bits) {
    switch (bits) {
    case 4: return static_cast<std::uint8_t>(q * 17);
    case 5: return static_cast<std::uint8_t>(q << 3 | q >> 2);
    default: return static_cast<std::uint8_t>(q << 2 | q >> 4); // 6
    }
}

std::uint8_t Luminance(const PaletteEntry& c) {
    if (c.R == c.G && c.G == c.B)
        return c.R; // a grey picture (what L8 decodes to) keeps its values exactly
    return static_cast<std::uint8_t>((77 * c.R + 150 * c.G + 29 * c.B + 128) >> 8);
}

std::uint16_t Word16(NativeFormat f, const PaletteEntry& c) {
    switch (f) {
    case NativeFormat::R5G6B5:
        return static_cast<std::uint16_t>(Narrow(c.R, 5) << 11 | Narrow(c.G, 6) << 5 | Narrow(c.B, 5));
    case NativeFormat::A1R5G5B5:
    case NativeFormat::X1R5G5B5:
        return static_cast<std::uint16_t>((f == NativeFormat::A1R5G5B5 && c.A >= 128 ? 0x8000 : 0) |
                                          Narrow(c.R, 5) << 10 | Narrow(c.G, 5) << 5 | Narrow(c.B, 5));
    case NativeFormat::A4R4G4B4:
        return static_cast<std::uint16_t>(Narrow(c.A, 4) << 12 | Narrow(c.R, 4) << 8 | Narrow(c.G, 4) << 4 |
                                          Narrow(c.B, 4));
    default: // A8L8
        return static_cast<std::uint16_t>(c.A << 8 | Luminance(c));
    }
}

int SquishFlags(NativeFormat f, DxtQuality q) {
    int flags = f == NativeFormat::Dxt1 ? squish::kDxt1
                : f == NativeFormat::Dxt2 || f == NativeFormat::Dxt3 ? squish::kDxt3
                                                                    : squish::kDxt5;
    switch (q) {
    case DxtQuality::Fast: return flags | squish::kColourRangeFit;
    case DxtQuality::Normal: return flags | squish::kColourClusterFit;
    case DxtQuality::Best: return flags | squish::kColourIterativeClusterFit;
    }
    return flags;
}

} // namespace

PaletteEntry AsStoredNative(NativeFormat f, PaletteEntry c) {
    switch (f) {
    case NativeFormat::X8R8G8B8: return {c.R, c.G, c.B, 255};
    case NativeFormat::R5G6B5:
        return {Widen(Narrow(c.R, 5), 5), Widen(Narrow(c.G, 6), 6), Widen(Narrow(c.B, 5), 5), 255};
    case NativeFormat::A1R5G5B5:
    case NativeFormat::X1R5G5B5: {
        const bool opaque = f == NativeFormat::X1R5G5B5 || c.A >= 128;
        return {Widen(Narrow(c.R, 5), 5), Widen(Narrow(c.G, 5), 5), Widen(Narrow(c.B, 5), 5),
                static_cast<std::uint8_t>(opaque ? 255 : 0)};
    }
    case NativeFormat::A4R4G4B4:
        return {Widen(Narrow(c.R, 4), 4), Widen(Narrow(c.G, 4), 4), Widen(Narrow(c.B, 4), 4), Widen(Narrow(c.A, 4), 4)};
    case NativeFormat::L8: {
        const std::uint8_t l = Luminance(c);
        return {l, l, l, 255};
    }
    case NativeFormat::A8L8: {
        const std::uint8_t l = Luminance(c);
        return {l, l, l, c.A};
    }
    default: return c;
    }
}

std::vector<std::uint8_t> EncodeNativeTexels(NativeFormat f, const PaletteEntry* texels, std::uint32_t w,
                                             std::uint32_t h, std::uint32_t pitch, DxtQuality q, bool morton) {
    const std::size_t n = static_cast<std::size_t>(w) * h;
    if (IsDxt(f)) {
        const int flags = SquishFlags(f, q);
        std::vector<std::uint8_t> blocks(static_cast<std::size_t>(
            squish::GetStorageRequirements(static_cast<int>(w), static_cast<int>(h), flags)));
        static_assert(sizeof(PaletteEntry) == 4);
        squish::CompressImage(reinterpret_cast<const squish::u8*>(texels), static_cast<int>(w), static_cast<int>(h),
                              blocks.data(), flags);
        return blocks;
    }
    std::vector<PaletteEntry> ordered;
    if (morton) { // the texel of (x, y) goes where Xbox's order puts it
        ordered.resize(n);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                ordered[MortonIndex(x, y, w, h)] = texels[static_cast<std::size_t>(y) * w + x];
        texels = ordered.data();
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(pitch) * h, 0);
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = out.data() + static_cast<std::size_t>(y) * pitch;
        const PaletteEntry* in = texels + static_cast<std::size_t>(y) * w;
        for (std::uint32_t x = 0; x < w; ++x) {
            const PaletteEntry& c = in[x];
            switch (f) {
            case NativeFormat::A8R8G8B8:
            case NativeFormat::X8R8G8B8:
                row[4 * x] = c.B, row[4 * x + 1] = c.G, row[4 * x + 2] = c.R;
                row[4 * x + 3] = f == NativeFormat::A8R8G8B8 ? c.A : 255;
                break;
            case NativeFormat::L8: row[x] = Luminance(c); break;
            default: {
                const std::uint16_t v = Word16(f, c);
                row[2 * x] = static_cast<std::uint8_t>(v), row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            }
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> EncodeNativeIndices(const std::uint8_t* indices, std::uint32_t w, std::uint32_t h,
                                              std::uint32_t pitch, bool morton) {
    std::vector<std::uint8_t> ordered;
    if (morton) {
        ordered.resize(static_cast<std::size_t>(w) * h);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x)
                ordered[MortonIndex(x, y, w, h)] = indices[static_cast<std::size_t>(y) * w + x];
        indices = ordered.data();
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(pitch) * h, 0);
    for (std::uint32_t y = 0; y < h; ++y)
        std::copy_n(indices + static_cast<std::size_t>(y) * w, w, out.data() + static_cast<std::size_t>(y) * pitch);
    return out;
}

} // namespace kelmora
