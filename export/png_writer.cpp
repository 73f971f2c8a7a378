// PNG through libspng: palettised textures stay palettised, with their exact
// indices, colours and alphas, so an edited texture can be put back unchanged.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <spng.h>

#include "base/atomic_output.h"
#include "base/errors.h"
#include "dictionary/colour_rules.h"
#include "export/image_writers.h"

namespace kelmora {

namespace {

struct Encoder {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    ~Encoder() { spng_ctx_free(ctx); }
    void Check(int code) const {
        if (code != 0 && code != SPNG_EOI)
            throw KelmoraError(std::string("PNG error: ") + spng_strerror(code));
    }
};

// Rows as the PNG holds them: indices (two to a byte, left pixel in the high half,
// for 4 bits) or R, G, B, A.
void PngRow(const DecodeState& s, std::uint32_t y, bool brighten, std::uint8_t* row, std::size_t rowBytes) {
    const std::uint32_t w = s.TexWidth;
    const std::size_t at = static_cast<std::size_t>(y) * w;
    if (s.TrueColour) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const PaletteEntry& e = s.Texels[at + x];
            row[4 * x] = e.R;
            row[4 * x + 1] = e.G;
            row[4 * x + 2] = e.B;
            row[4 * x + 3] = brighten ? BrightenAlpha(e.A) : e.A;
        }
    } else if (s.TexDepth == 4) {
        std::memset(row, 0, rowBytes);
        for (std::uint32_t x = 0; x < w; ++x)
            row[x / 2] |= static_cast<std::uint8_t>((s.Pixels[at + x] & 15) << (x % 2 ? 0 : 4));
    } else {
        std::memcpy(row, s.Pixels.data() + at, w);
    }
}

} // namespace

PngSettings PngSettingsFor(const DecodeState& s, bool brighten) {
    PngSettings p;
    p.Width = s.TexWidth;
    p.Height = s.TexHeight;
    if (s.TrueColour) {
        p.ColourType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
        p.BitDepth = 8;
        p.RowBytes = 4 * static_cast<std::size_t>(s.TexWidth);
        return p;
    }
    const std::size_t entries = s.TexDepth == 4 ? 16 : 256;
    p.ColourType = SPNG_COLOR_TYPE_INDEXED;
    p.BitDepth = s.TexDepth == 4 ? 4 : 8;
    p.RowBytes = s.TexDepth == 4 ? (s.TexWidth + 1) / 2 : s.TexWidth;
    for (std::size_t i = 0; i < entries; ++i) {
        const PaletteEntry& e = s.Palette[i];
        p.Palette.push_back({e.R, e.G, e.B, brighten ? BrightenAlpha(e.A) : e.A});
    }
    return p;
}

PngStream EncodePng(const PngSettings& settings, const std::function<void(std::uint32_t, std::uint8_t*)>& rowOf) {
    Encoder enc;
    if (!enc.ctx)
        throw std::bad_alloc();
    enc.Check(spng_set_option(enc.ctx, SPNG_ENCODE_TO_BUFFER, 1));
    // Palette images compress best unfiltered, as the format's authors advise.
    if (settings.ColourType == SPNG_COLOR_TYPE_INDEXED)
        enc.Check(spng_set_option(enc.ctx, SPNG_FILTER_CHOICE, SPNG_DISABLE_FILTERING));
    spng_ihdr ihdr{};
    ihdr.width = settings.Width;
    ihdr.height = settings.Height;
    ihdr.bit_depth = static_cast<std::uint8_t>(settings.BitDepth);
    ihdr.color_type = static_cast<std::uint8_t>(settings.ColourType);
    enc.Check(spng_set_ihdr(enc.ctx, &ihdr));
    if (!settings.Palette.empty()) {
        spng_plte plte{};
        spng_trns trns{};
        plte.n_entries = static_cast<std::uint32_t>(settings.Palette.size());
        trns.n_type3_entries = plte.n_entries;
        for (std::size_t i = 0; i < settings.Palette.size(); ++i) {
            const PaletteEntry& e = settings.Palette[i];
            plte.entries[i] = {e.R, e.G, e.B, 0};
            trns.type3_alpha[i] = e.A;
        }
        enc.Check(spng_set_plte(enc.ctx, &plte));
        enc.Check(spng_set_trns(enc.ctx, &trns));
    }
    enc.Check(spng_encode_image(enc.ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE));
    std::vector<std::uint8_t> row(settings.RowBytes);
    for (std::uint32_t y = 0; y < settings.Height; ++y) {
        rowOf(y, row.data());
        enc.Check(spng_encode_row(enc.ctx, row.data(), row.size()));
    }
    PngStream out;
    int error = 0;
    out.Data.reset(static_cast<unsigned char*>(spng_get_png_buffer(enc.ctx, &out.Size, &error)));
    enc.Check(error);
    return out;
}

void WritePng(const std::string& path, const DecodeState& state, bool brighten) {
    // PNG has no room for a picture without pixels.
    if (!state.HasGrid() || state.TexWidth == 0 || state.TexHeight == 0)
        throw KelmoraError("No texture decoded");
    const PngSettings settings = PngSettingsFor(state, brighten);
    PngStream png = EncodePng(settings, [&](std::uint32_t y, std::uint8_t* row) {
        PngRow(state, y, brighten, row, settings.RowBytes);
    });
    AtomicOutput file(path);
    file.Write(png.Data.get(), png.Size);
    file.Commit();
}

} // namespace kelmora
