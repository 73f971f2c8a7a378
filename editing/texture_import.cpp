#include "editing/texture_import.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include <libimagequant.h>

#include "base/errors.h"
#include "dictionary/colour_rules.h"
#include "dictionary/raster_encode.h"
#include "dictionary/record_format.h"

namespace kelmora {

namespace {

std::size_t PaletteEntries(const DecodeState& s) { return s.PaletteEntries(); }

KelmoraError WrongSize(const std::string& name, std::uint32_t w, std::uint32_t h, std::uint32_t wantW, std::uint32_t wantH,
                       PictureOf of) {
    return KelmoraError(ErrorCode::WrongPictureSize, {.File = name,
                                                      .Width = w,
                                                      .Height = h,
                                                      .WantWidth = wantW,
                                                      .WantHeight = wantH,
                                                      .Detail = static_cast<int>(of)});
}

// An image colour in the console's terms: alpha 0..128.
PaletteEntry ToConsole(const PaletteEntry& e, bool brighten) {
    return {e.R, e.G, e.B, brighten ? UnbrightenAlpha(e.A) : e.A};
}

// Every pixel of a picture in the console's terms, for true-colour textures: a
// 16-bit one holds what its 5-5-5-1 texels read back as.
std::vector<PaletteEntry> ConsoleTexels(const InputImage& image, std::size_t n, bool brighten, std::uint32_t depth) {
    if (!brighten && depth != 16 && !image.Indexed)
        return image.Rgba; // the texels as they are (PC and Xbox textures, alpha 0..255)
    std::vector<PaletteEntry> texels(n);
    for (std::size_t i = 0; i < n; ++i) {
        texels[i] = ToConsole(image.Pixel(i), brighten);
        if (depth == 16)
            texels[i] = AsStored16(texels[i]);
    }
    return texels;
}

// The palette entry nearest to a colour, alpha included.
std::uint8_t Nearest(const TexPalette& palette, std::size_t entries, const PaletteEntry& c) {
    std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
    std::uint8_t index = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        const PaletteEntry& p = palette[i];
        const int dr = p.R - c.R, dg = p.G - c.G, db = p.B - c.B, da = 2 * (p.A - c.A);
        const auto d = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db + da * da);
        if (d < best) {
            best = d;
            index = static_cast<std::uint8_t>(i);
        }
    }
    return index;
}

struct Quantiser {
    liq_attr* attr = liq_attr_create();
    liq_image* image = nullptr;
    liq_result* result = nullptr;
    ~Quantiser() {
        if (result)
            liq_result_destroy(result);
        if (image)
            liq_image_destroy(image);
        liq_attr_destroy(attr);
    }
};

// Quantises RGBA (alpha 0..255) to at most `colours` entries into s.
void Quantise(const std::vector<PaletteEntry>& rgba, DecodeState& s, std::size_t colours, bool dither,
              bool brighten, const std::string& name) {
    static_assert(sizeof(PaletteEntry) == sizeof(liq_color));
    Quantiser q;
    if (!q.attr || liq_set_max_colors(q.attr, static_cast<int>(colours)) != LIQ_OK)
        throw KelmoraError(ErrorCode::CannotQuantise, {.File = name});
    q.image = liq_image_create_rgba(q.attr, rgba.data(), static_cast<int>(s.TexWidth), static_cast<int>(s.TexHeight), 0);
    if (!q.image || liq_image_quantize(q.image, q.attr, &q.result) != LIQ_OK)
        throw KelmoraError(ErrorCode::QuantiseFailed, {.File = name, .Number = colours});
    liq_set_dithering_level(q.result, dither ? 1.0f : 0.0f);
    s.Pixels.assign(static_cast<std::size_t>(s.TexWidth) * s.TexHeight, 0);
    if (liq_write_remapped_image(q.result, q.image, s.Pixels.data(), s.Pixels.size()) != LIQ_OK)
        throw KelmoraError(ErrorCode::RemapFailed, {.File = name});
    const liq_palette* p = liq_get_palette(q.result);
    for (std::size_t i = 0; i < colours; ++i) {
        const liq_color c = i < p->count ? p->entries[i] : liq_color{0, 0, 0, 0};
        s.Palette[i] = ToConsole({c.r, c.g, c.b, c.a}, brighten);
    }
}

} // namespace

bool IndicesFit(const InputImage& image, std::size_t entries) {
    if (!image.Indexed)
        return false;
    return std::all_of(image.Indices.begin(), image.Indices.end(), [&](std::uint8_t i) { return i < entries; });
}

bool ColoursOnPalette(const InputImage& image, const DecodeState& texture, bool brighten,
                      std::vector<std::uint8_t>* indices) {
    const std::size_t entries = PaletteEntries(texture);
    const std::size_t n = static_cast<std::size_t>(image.Width) * image.Height;
    auto key = [](const PaletteEntry& e) {
        return std::uint32_t{e.R} | std::uint32_t{e.G} << 8 | std::uint32_t{e.B} << 16 | std::uint32_t{e.A} << 24;
    };
    // Each colour's first entry: one look-up per texel, however large the palette.
    std::unordered_map<std::uint32_t, std::uint8_t> first;
    for (std::size_t i = entries; i-- > 0;)
        first[key(texture.Palette[i])] = static_cast<std::uint8_t>(i);
    const bool present = texture.Pixels.size() == n;
    if (indices)
        indices->assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const PaletteEntry c = ToConsole(image.Pixel(i), brighten);
        const std::uint8_t now = present ? texture.Pixels[i] : 0;
        std::uint8_t index = now; // the present index wherever it still fits
        if (!(present && now < entries && texture.Palette[now] == c)) {
            const auto found = first.find(key(c));
            if (found == first.end())
                return false;
            index = found->second;
        }
        if (indices)
            (*indices)[i] = index;
    }
    return true;
}

DecodeState PictureFromImage(const InputImage& image, const DecodeState& current, const ImportOptions& o,
                             const std::string& name) {
    if (image.Width != current.TexWidth || image.Height != current.TexHeight)
        throw WrongSize(name, image.Width, image.Height, current.TexWidth, current.TexHeight, PictureOf::Texture);
    DecodeState s;
    s.TexWidth = current.TexWidth;
    s.TexHeight = current.TexHeight;
    s.TexDepth = current.TexDepth;
    s.TrueColour = current.TrueColour;
    s.FullAlpha = current.FullAlpha;
    s.PaletteSize = current.PaletteSize;
    s.Palette = current.Palette;
    const std::size_t n = static_cast<std::size_t>(s.TexWidth) * s.TexHeight;
    if (s.TrueColour) {
        s.Texels = ConsoleTexels(image, n, o.Brighten, s.TexDepth);
        return s;
    }
    const std::size_t entries = PaletteEntries(s);
    if (IndicesFit(image, entries)) {
        // The picture as it was exported: indices and palette kept exactly; entries
        // the image does not have keep theirs.
        s.Pixels = image.Indices;
        for (std::size_t i = 0; i < entries && i < image.Palette.size(); ++i)
            s.Palette[i] = image.HasAlpha ? ToConsole(image.Palette[i], o.Brighten)
                                          : PaletteEntry{image.Palette[i].R, image.Palette[i].G, image.Palette[i].B,
                                                         current.Palette[i].A};
        return s;
    }
    // A true-colour export of the texture itself (TGA, 24-bit BMP): every colour
    // is one of the palette's, and the present index is kept wherever it still fits,
    // so that the round trip gives the same indices back.
    if (!current.Pixels.empty() && ColoursOnPalette(image, current, o.Brighten, &s.Pixels))
        return s;
    std::vector<PaletteEntry> rgba(n);
    for (std::size_t i = 0; i < n; ++i)
        rgba[i] = image.Pixel(i);
    if (o.KeepPalette) {
        TexPalette shown = current.Palette;
        for (std::size_t i = 0; i < entries; ++i)
            if (o.Brighten)
                shown[i].A = BrightenAlpha(shown[i].A);
        s.Pixels.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            s.Pixels[i] = Nearest(shown, entries, rgba[i]);
        return s;
    }
    // A 4-bit texture whose palette has room for 32 (PC) still gets 16 colours.
    Quantise(rgba, s, s.TexDepth == 4 ? std::min<std::size_t>(entries, 16) : entries, o.Dither, o.Brighten, name);
    return s;
}

DecodeState LevelFromImage(const InputImage& image, const DecodeState& level0, std::uint32_t w, std::uint32_t h,
                           const ImportOptions& o, const std::string& name) {
    if (image.Width != w || image.Height != h)
        throw WrongSize(name, image.Width, image.Height, w, h, PictureOf::Level);
    DecodeState s = level0;
    s.TexWidth = w;
    s.TexHeight = h;
    const std::size_t n = static_cast<std::size_t>(w) * h;
    if (s.TrueColour) {
        s.Texels = ConsoleTexels(image, n, o.Brighten, s.TexDepth);
        return s;
    }
    const std::size_t entries = PaletteEntries(s);
    if (IndicesFit(image, entries)) {
        s.Pixels = image.Indices;
        return s;
    }
    s.Pixels.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        s.Pixels[i] = Nearest(level0.Palette, entries, ToConsole(image.Pixel(i), o.Brighten));
    return s;
}

DecodeState HalvedLevel(const DecodeState& above, std::uint32_t w, std::uint32_t h) {
    DecodeState s = above;
    s.TexWidth = w;
    s.TexHeight = h;
    const std::size_t n = static_cast<std::size_t>(w) * h;
    std::vector<PaletteEntry> out(n);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            unsigned sum[4] = {0, 0, 0, 0}, count = 0;
            for (std::uint32_t dy = 0; dy < 2; ++dy)
                for (std::uint32_t dx = 0; dx < 2; ++dx) {
                    const std::uint32_t ax = std::min(2 * x + dx, above.TexWidth - 1);
                    const std::uint32_t ay = std::min(2 * y + dy, above.TexHeight - 1);
                    const PaletteEntry c = above.Colour(ax, ay);
                    sum[0] += c.R, sum[1] += c.G, sum[2] += c.B, sum[3] += c.A, ++count;
                }
            out[static_cast<std::size_t>(y) * w + x] = {
                static_cast<std::uint8_t>((sum[0] + count / 2) / count), static_cast<std::uint8_t>((sum[1] + count / 2) / count),
                static_cast<std::uint8_t>((sum[2] + count / 2) / count), static_cast<std::uint8_t>((sum[3] + count / 2) / count)};
        }
    }
    if (s.TrueColour) {
        if (s.TexDepth == 16)
            for (PaletteEntry& e : out)
                e = AsStored16(e);
        s.Texels = std::move(out);
        return s;
    }
    s.Pixels.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        s.Pixels[i] = Nearest(above.Palette, PaletteEntries(above), out[i]);
    return s;
}

bool SamePicture(const DecodeState& a, const DecodeState& b) {
    if (a.TexWidth != b.TexWidth || a.TexHeight != b.TexHeight || a.TrueColour != b.TrueColour)
        return false;
    if (a.TrueColour)
        return a.Texels == b.Texels;
    const std::size_t entries = PaletteEntries(a);
    return a.Pixels == b.Pixels && std::equal(a.Palette.begin(), a.Palette.begin() + entries, b.Palette.begin());
}

InputImage WithAlphaFrom(const InputImage& image, const InputImage& companion, const std::string& companionName) {
    if (companion.Width != image.Width || companion.Height != image.Height)
        throw WrongSize(companionName, companion.Width, companion.Height, image.Width, image.Height, PictureOf::Picture);
    InputImage merged = image;
    merged.HasAlpha = true;
    // An untouched export: the same indices over a grey palette of the alphas, so
    // each entry takes its own alpha and indices and palette stay exact.
    if (image.Indexed && companion.Indexed && image.Indices == companion.Indices) {
        for (std::size_t i = 0; i < merged.Palette.size(); ++i)
            merged.Palette[i].A = i < companion.Palette.size() ? companion.Palette[i].R : 255;
        return merged;
    }
    const std::size_t n = static_cast<std::size_t>(image.Width) * image.Height;
    merged.Indexed = false;
    merged.Indices.clear();
    merged.Palette.clear();
    merged.Rgba.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        merged.Rgba[i] = image.Pixel(i);
        merged.Rgba[i].A = companion.Pixel(i).R;
    }
    return merged;
}

InputImage WithPresentAlpha(const InputImage& image, const DecodeState& current, bool brighten) {
    InputImage merged = image;
    merged.HasAlpha = true;
    const std::size_t n = static_cast<std::size_t>(image.Width) * image.Height;
    merged.Indexed = false;
    merged.Indices.clear();
    merged.Palette.clear();
    merged.Rgba.resize(n);
    for (std::uint32_t y = 0; y < image.Height; ++y)
        for (std::uint32_t x = 0; x < image.Width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * image.Width + x;
            const std::uint8_t a = current.Colour(x, y).A;
            merged.Rgba[i] = image.Pixel(i);
            merged.Rgba[i].A = brighten ? BrightenAlpha(a) : a;
        }
    return merged;
}

} // namespace kelmora
