// kelmora-thumbnailer: the picture file managers show for a .txd. Writes a PNG of
// at most SIZE x SIZE pixels: the first texture that decodes, area-averaged down
// (never enlarged), with its alpha. Called by the desktop as the .thumbnailer
// entry says: kelmora-thumbnailer -s SIZE INPUT OUTPUT.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/errors.h"
#include "dictionary/dictionary.h"
#include "export/image_writers.h"
#include "words/engine_words.h"

namespace {

using namespace kelmora;

// The picture of state (level 0) with alpha, shrunk by whole-texel averaging so
// that it fits size x size.
DecodeState Thumbnail(const DecodeState& s, std::uint32_t size) {
    const double scale = std::min(1.0, static_cast<double>(size) / std::max(s.TexWidth, s.TexHeight));
    DecodeState t;
    t.TexWidth = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(s.TexWidth * scale));
    t.TexHeight = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(s.TexHeight * scale));
    t.TexDepth = 32;
    t.TrueColour = true;
    t.FullAlpha = s.FullAlpha;
    t.Texels.resize(static_cast<std::size_t>(t.TexWidth) * t.TexHeight);
    for (std::uint32_t y = 0; y < t.TexHeight; ++y) {
        const std::uint32_t y0 = y * s.TexHeight / t.TexHeight, y1 = std::max(y0 + 1, (y + 1) * s.TexHeight / t.TexHeight);
        for (std::uint32_t x = 0; x < t.TexWidth; ++x) {
            const std::uint32_t x0 = x * s.TexWidth / t.TexWidth, x1 = std::max(x0 + 1, (x + 1) * s.TexWidth / t.TexWidth);
            std::uint64_t sum[4] = {0, 0, 0, 0}, n = 0;
            for (std::uint32_t sy = y0; sy < y1; ++sy)
                for (std::uint32_t sx = x0; sx < x1; ++sx) {
                    const PaletteEntry c = s.Colour(sx, sy);
                    sum[0] += c.R, sum[1] += c.G, sum[2] += c.B, sum[3] += c.A, ++n;
                }
            t.Texels[static_cast<std::size_t>(y) * t.TexWidth + x] = {
                static_cast<std::uint8_t>(sum[0] / n), static_cast<std::uint8_t>(sum[1] / n),
                static_cast<std::uint8_t>(sum[2] / n), static_cast<std::uint8_t>(sum[3] / n)};
        }
    }
    return t;
}

int Usage() {
    std::fprintf(stderr, "usage: kelmora-thumbnailer -s SIZE INPUT.txd OUTPUT.png\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5 || std::strcmp(argv[1], "-s") != 0)
        return Usage();
    const long size = std::strtol(argv[2], nullptr, 10);
    if (size < 1 || size > 4096)
        return Usage();
    try {
        const Dictionary d = Dictionary::OpenFile(argv[3]);
        if (!d.IsDictionary())
            throw KelmoraError(ErrorCode::NotADictionary, {.File = argv[3]});
        for (std::size_t i = 0; i < d.Entries().size(); ++i) {
            const DecodedTexture t = d.Decode(i);
            if (!t.Ok())
                continue;
            // Alpha brightened to the full range, as the viewer shows it.
            WritePng(argv[4], Thumbnail(t.State, static_cast<std::uint32_t>(size)), true);
            return 0;
        }
        std::fprintf(stderr, "kelmora-thumbnailer: %s holds no texture that can be shown\n", argv[3]);
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelmora-thumbnailer: %s\n", ErrorText(e).c_str());
        return 1;
    }
}
