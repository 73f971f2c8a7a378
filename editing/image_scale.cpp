#include "editing/image_scale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kelmora {

namespace {

// The source texels an output texel takes, with their weights (summing to 1).
struct Tap {
    std::uint32_t First = 0;
    std::vector<float> Weights;
};

std::vector<Tap> Taps(std::uint32_t from, std::uint32_t to) {
    std::vector<Tap> taps(to);
    const double scale = static_cast<double>(from) / to;
    for (std::uint32_t o = 0; o < to; ++o) {
        Tap& t = taps[o];
        if (from >= to) {
            // Shrinking: the share of each source texel in the output texel's span.
            const double a = o * scale, b = (o + 1) * scale;
            t.First = static_cast<std::uint32_t>(a);
            const auto last = std::min<std::uint32_t>(from - 1, static_cast<std::uint32_t>(std::ceil(b)) - 1);
            for (std::uint32_t s = t.First; s <= last; ++s)
                t.Weights.push_back(static_cast<float>((std::min<double>(b, s + 1) - std::max<double>(a, s)) / scale));
        } else {
            // Growing: between the two nearest texel centres.
            const double c = std::clamp((o + 0.5) * scale - 0.5, 0.0, static_cast<double>(from - 1));
            t.First = static_cast<std::uint32_t>(c);
            const float f = static_cast<float>(c - t.First);
            t.Weights = {1 - f};
            if (t.First + 1 < from)
                t.Weights.push_back(f);
        }
    }
    return taps;
}

struct Premultiplied {
    float R = 0, G = 0, B = 0, A = 0;
};

} // namespace

InputImage ScaleImage(const InputImage& image, std::uint32_t width, std::uint32_t height) {
    const std::uint32_t w = image.Width, h = image.Height;
    std::vector<Premultiplied> src(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < src.size(); ++i) {
        const PaletteEntry p = image.Pixel(i);
        const float a = p.A / 255.0f;
        src[i] = {p.R * a, p.G * a, p.B * a, a};
    }
    // Across, then down.
    const std::vector<Tap> across = Taps(w, width), down = Taps(h, height);
    std::vector<Premultiplied> rows(static_cast<std::size_t>(width) * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            Premultiplied sum;
            const Tap& t = across[x];
            for (std::size_t k = 0; k < t.Weights.size(); ++k) {
                const Premultiplied& s = src[static_cast<std::size_t>(y) * w + t.First + k];
                sum.R += s.R * t.Weights[k], sum.G += s.G * t.Weights[k], sum.B += s.B * t.Weights[k],
                    sum.A += s.A * t.Weights[k];
            }
            rows[static_cast<std::size_t>(y) * width + x] = sum;
        }
    InputImage out;
    out.Width = width;
    out.Height = height;
    out.HasAlpha = image.HasAlpha;
    out.Rgba.resize(static_cast<std::size_t>(width) * height);
    const auto channel = [](float v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            Premultiplied sum;
            const Tap& t = down[y];
            for (std::size_t k = 0; k < t.Weights.size(); ++k) {
                const Premultiplied& s = rows[static_cast<std::size_t>(t.First + k) * width + x];
                sum.R += s.R * t.Weights[k], sum.G += s.G * t.Weights[k], sum.B += s.B * t.Weights[k],
                    sum.A += s.A * t.Weights[k];
            }
            const float a = sum.A > 0 ? sum.A : 1;
            out.Rgba[static_cast<std::size_t>(y) * width + x] = {channel(sum.R / a), channel(sum.G / a),
                                                                 channel(sum.B / a), channel(sum.A * 255)};
        }
    return out;
}

} // namespace kelmora
