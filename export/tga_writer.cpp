#include <vector>

#include "dictionary/colour_rules.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "export/image_writers.h"
#include "base/output_buffer.h"

namespace kelmora {

std::array<std::uint8_t, 4> ToTgaPixel(const PaletteEntry& e, bool brighten) {
    return {e.B, e.G, e.R, brighten ? BrightenAlpha(e.A) : e.A};
}

void WriteTga32(const std::string& path, const DecodeState& state, bool brighten) {
    brighten = state.Brightens(brighten);
    const std::uint32_t w = state.TexWidth, h = state.TexHeight;
    // The header holds 16-bit sides only; a larger texture cannot be represented.
    if (w > 65535 || h > 65535)
        throw KelmoraError(ErrorCode::TooLargeForTga, {.Width = w, .Height = h});
    if (!state.HasGrid())
        throw KelmoraError(ErrorCode::NothingDecoded, {});

    AtomicOutput file(path);
    const std::uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8),
                                     static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                                     0x20, 0x28};
    OutputBuffer out(file);
    out.Put(header, sizeof header);

    std::array<std::array<std::uint8_t, 4>, 256> lut{};
    for (int i = 0; i < 256; ++i)
        lut[i] = ToTgaPixel(state.Palette[i], brighten);
    std::vector<std::uint8_t> row(4 * static_cast<std::size_t>(w));
    if (state.TrueColour) {
        for (std::uint32_t y = 0; y < h; ++y) {
            const PaletteEntry* src = state.Texels.data() + static_cast<std::size_t>(y) * w;
            for (std::uint32_t x = 0; x < w; ++x) {
                const auto px = ToTgaPixel(src[x], brighten);
                std::copy(px.begin(), px.end(), row.begin() + 4 * static_cast<std::ptrdiff_t>(x));
            }
            out.Put(row.data(), row.size());
        }
        out.Flush();
        file.Commit();
        return;
    }
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* src = state.Pixels.data() + static_cast<std::size_t>(y) * w;
        for (std::uint32_t x = 0; x < w; ++x)
            std::copy(lut[src[x]].begin(), lut[src[x]].end(), row.begin() + 4 * static_cast<std::ptrdiff_t>(x));
        out.Put(row.data(), row.size());
    }
    out.Flush();
    file.Commit();
}

} // namespace kelmora
