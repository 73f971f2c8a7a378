#include <gtest/gtest.h>

#include "dictionary/colour_rules.h"
#include "base/text.h"

using namespace kelmora;

TEST(BrightenAlpha, DoublesTheConsoleRange) {
    const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {64, 127}, {128, 255}, {129, 1}, {255, 253}};
    for (auto [a, want] : cases)
        EXPECT_EQ(BrightenAlpha(static_cast<std::uint8_t>(a)), want) << a;
}

TEST(MakeIndexedImage, ColourAlphaAndBrightenedViews) {
    DecodeState s;
    s.TexWidth = 3;
    s.TexHeight = 2;
    s.Pixels = {0, 1, 2, 2, 1, 0};
    s.Palette[0] = {0x10, 0x20, 0x30, 0x80};
    s.Palette[1] = {0xFF, 0x00, 0x7F, 0x40};
    s.Palette[2] = {1, 2, 3, 0};

    IndexedImage colour = MakeIndexedImage(s, false, true);
    EXPECT_EQ(colour.Width, 3u);
    EXPECT_EQ(colour.Height, 2u);
    EXPECT_EQ(colour.Rows, s.Pixels);
    EXPECT_EQ(colour.Colours[0], (Rgb{0x10, 0x20, 0x30}));
    EXPECT_EQ(colour.Colours[1], (Rgb{0xFF, 0x00, 0x7F}));

    IndexedImage alpha = MakeIndexedImage(s, true, false);
    EXPECT_EQ(alpha.Rows, s.Pixels);
    EXPECT_EQ(alpha.Colours[0], (Rgb{0x80, 0x80, 0x80}));
    EXPECT_EQ(alpha.Colours[1], (Rgb{0x40, 0x40, 0x40}));
    EXPECT_EQ(alpha.Colours[2], (Rgb{0, 0, 0}));

    IndexedImage bright = MakeIndexedImage(s, true, true);
    EXPECT_EQ(bright.Colours[0], (Rgb{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(bright.Colours[1], (Rgb{0x7F, 0x7F, 0x7F}));
    EXPECT_EQ(bright.Colours[2], (Rgb{0, 0, 0}));

    s.Pixels.clear(); // no grid: no picture
    EXPECT_EQ(MakeIndexedImage(s, false, false).Width, 0u);
}

TEST(Text, TrimCutAndCodePage) {
    EXPECT_EQ(Trim(std::string("\x01 a b\x20\x1f", 7)), "a b");
    EXPECT_EQ(Trim("\x21x\x21"), "\x21x\x21");
    EXPECT_EQ(Cut255(std::string(300, 'x')).size(), 255u);
    EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(Text, SecondsHaveTwoToFourDecimals) {
    EXPECT_EQ(FormatSeconds(15), "0.015");
    EXPECT_EQ(FormatSeconds(100), "0.10");
    EXPECT_EQ(FormatSeconds(1234), "1.234");
    EXPECT_EQ(FormatSeconds(0), "0.00");
    EXPECT_EQ(FormatSeconds(61500, ','), "61,50");
    EXPECT_EQ(FormatSeconds(4294967295u), "4294967.295");
}
