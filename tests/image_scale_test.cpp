// Pictures scaled to a texture's size: averaged when shrinking, interpolated
// when growing, and transparent texels lend no colour to their neighbours.
#include <gtest/gtest.h>

#include "editing/image_scale.h"

using namespace kelmora;

namespace {

InputImage Picture(std::uint32_t w, std::uint32_t h, std::vector<PaletteEntry> rgba) {
    InputImage img;
    img.Width = w;
    img.Height = h;
    img.Rgba = std::move(rgba);
    img.HasAlpha = true;
    return img;
}

} // namespace

TEST(ImageScaleTest, ShrinkingAveragesAndTransparencyLendsNoColour) {
    const InputImage four = Picture(2, 2, {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}});
    EXPECT_EQ(ScaleImage(four, 1, 1).Rgba, (std::vector<PaletteEntry>{{128, 128, 128, 255}}));
    // Red beside a transparent black: red at half the alpha, not dark red.
    const InputImage half = Picture(2, 1, {{255, 0, 0, 255}, {0, 0, 0, 0}});
    EXPECT_EQ(ScaleImage(half, 1, 1).Rgba, (std::vector<PaletteEntry>{{255, 0, 0, 128}}));
    // A palettised picture scales by its colours.
    InputImage indexed = Picture(2, 1, {});
    indexed.Indexed = true;
    indexed.Palette = {{10, 20, 30, 255}, {30, 40, 50, 255}};
    indexed.Indices = {0, 1};
    const InputImage scaled = ScaleImage(indexed, 1, 1);
    EXPECT_FALSE(scaled.Indexed);
    EXPECT_EQ(scaled.Rgba, (std::vector<PaletteEntry>{{20, 30, 40, 255}}));
}

TEST(ImageScaleTest, GrowingInterpolatesBetweenTexelCentres) {
    const InputImage two = Picture(2, 1, {{0, 0, 0, 255}, {255, 255, 255, 255}});
    const InputImage wide = ScaleImage(two, 4, 1);
    ASSERT_EQ(wide.Rgba.size(), 4u);
    EXPECT_EQ(wide.Rgba[0].R, 0);
    EXPECT_EQ(wide.Rgba[1].R, 64);
    EXPECT_EQ(wide.Rgba[2].R, 191);
    EXPECT_EQ(wide.Rgba[3].R, 255);
    const InputImage one = Picture(1, 1, {{9, 8, 7, 6}});
    EXPECT_EQ(ScaleImage(one, 8, 8).Rgba, std::vector<PaletteEntry>(64, PaletteEntry{9, 8, 7, 6}));
}

// An odd picture brought to a texture's size keeps its mean colour.
TEST(ImageScaleTest, AnOddPictureKeepsItsMeanColour) {
    std::vector<PaletteEntry> rgba;
    for (std::uint32_t y = 0; y < 60; ++y)
        for (std::uint32_t x = 0; x < 100; ++x)
            rgba.push_back({static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 4), 100, 255});
    const InputImage scaled = ScaleImage(Picture(100, 60, rgba), 64, 64);
    ASSERT_EQ(scaled.Rgba.size(), 64u * 64u);
    const auto mean = [](const std::vector<PaletteEntry>& p, auto channel) {
        double sum = 0;
        for (const PaletteEntry& e : p)
            sum += channel(e);
        return sum / static_cast<double>(p.size());
    };
    EXPECT_NEAR(mean(scaled.Rgba, [](const PaletteEntry& e) { return e.R; }), mean(rgba, [](const PaletteEntry& e) { return e.R; }), 1.0);
    EXPECT_NEAR(mean(scaled.Rgba, [](const PaletteEntry& e) { return e.G; }), mean(rgba, [](const PaletteEntry& e) { return e.G; }), 1.0);
}
