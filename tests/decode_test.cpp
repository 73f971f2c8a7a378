#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>

#include "tests/support/engine_files.h"
#include "dictionary/dictionary_walk.h"
#include "dictionary/raster_decode.h"
#include "dictionary/unswizzle.h"
#include "tests/support/dictionary_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

class DecodeTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("decode"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Writes the dictionary and returns its path and walk.
    std::string Write(const std::vector<std::uint8_t>& bytes) {
        std::string p = dir_ + "/t" + std::to_string(counter_++) + ".txd";
        WriteFile(p, bytes);
        return p;
    }

    // A single plain 8-bit texture whose pixel bytes in the file are exactly `raw`.
    std::string RawTexture(std::uint32_t w, std::uint32_t h, std::uint32_t depth, const std::vector<std::uint8_t>& raw) {
        TextureSpec t;
        t.Name = "raw";
        t.Width = w;
        t.Height = h;
        t.Depth = depth;
        t.Swizzled = false;
        auto bytes = BuildDictionary({t});
        WalkResult walk = WalkFile(Write(bytes));
        std::size_t image = walk.Entries[0].DataOffset + 156;
        std::copy(raw.begin(), raw.end(), bytes.begin() + static_cast<std::ptrdiff_t>(image));
        return Write(bytes);
    }

    DecodeState Decode(const std::string& path, bool unswizzle, DecodeResult* out = nullptr, std::size_t index = 0) {
        WalkResult walk = WalkFile(path);
        DecodeState s;
        DecodeResult r = DecodeFile(path, walk.Entries.at(index), unswizzle, s);
        if (out)
            *out = r;
        return s;
    }

    std::string dir_;
    int counter_ = 0;
};

std::vector<int> RowOf(const DecodeState& s, std::uint32_t y) {
    std::vector<int> row;
    for (std::uint32_t x = 0; x < s.TexWidth; ++x)
        row.push_back(s.Pixel(x, y));
    return row;
}

} // namespace

TEST_F(DecodeTest, Unswizzled16x8MatchesTheKnownLayout) {
    std::vector<std::uint8_t> raw(128);
    std::iota(raw.begin(), raw.end(), 0);
    DecodeState s = Decode(RawTexture(16, 8, 8, raw), true);
    const std::vector<std::vector<int>> want = {
        {0, 4, 8, 12, 16, 20, 24, 28, 2, 6, 10, 14, 18, 22, 26, 30},
        {32, 36, 40, 44, 48, 52, 56, 60, 34, 38, 42, 46, 50, 54, 58, 62},
        {17, 21, 25, 29, 1, 5, 9, 13, 19, 23, 27, 31, 3, 7, 11, 15},
        {49, 53, 57, 61, 33, 37, 41, 45, 51, 55, 59, 63, 35, 39, 43, 47},
        {80, 84, 88, 92, 64, 68, 72, 76, 82, 86, 90, 94, 66, 70, 74, 78},
        {112, 116, 120, 124, 96, 100, 104, 108, 114, 118, 122, 126, 98, 102, 106, 110},
        {65, 69, 73, 77, 81, 85, 89, 93, 67, 71, 75, 79, 83, 87, 91, 95},
        {97, 101, 105, 109, 113, 117, 121, 125, 99, 103, 107, 111, 115, 119, 123, 127},
    };
    for (std::uint32_t y = 0; y < 8; ++y)
        EXPECT_EQ(RowOf(s, y), want[y]) << "row " << y;
}

TEST_F(DecodeTest, FourBitNibblesPlainAndPaired) {
    std::string p = RawTexture(4, 2, 4, {0x21, 0x43, 0x65, 0x87});
    DecodeState plain = Decode(p, false);
    EXPECT_EQ(RowOf(plain, 0), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(RowOf(plain, 1), (std::vector<int>{5, 6, 7, 8}));
    DecodeState paired = Decode(p, true);
    EXPECT_EQ(RowOf(paired, 0), (std::vector<int>{1, 3, 5, 7}));
    EXPECT_EQ(RowOf(paired, 1), (std::vector<int>{2, 4, 6, 8}));
}

TEST_F(DecodeTest, PlainEightBitReproducesTheFileRows) {
    std::vector<std::uint8_t> raw(32 * 32);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<std::uint8_t>(i * 7 + i / 32);
    DecodeState s = Decode(RawTexture(32, 32, 8, raw), false);
    EXPECT_EQ(s.Pixels, raw);
}

TEST_F(DecodeTest, EightBitPaletteReorder) {
    TextureSpec t;
    t.Name = "pal";
    t.Width = t.Height = 2;
    t.Depth = 8;
    t.Swizzled = false; // the file holds entry n = n
    t.Pixels.assign(4, 0);
    for (int i = 0; i < 256; ++i)
        t.Palette[i] = {static_cast<std::uint8_t>(i), 0, 0, 128};
    std::string p = Write(BuildDictionary({t}));
    DecodeState on = Decode(p, true);
    EXPECT_EQ(on.Palette[8].R, 16);
    EXPECT_EQ(on.Palette[16].R, 8);
    EXPECT_EQ(on.Palette[23].R, 15);
    EXPECT_EQ(on.Palette[40].R, 48);
    EXPECT_EQ(on.Palette[0].R, 0);
    EXPECT_EQ(on.Palette[31].R, 31);
    EXPECT_EQ(on.Palette[255].R, 255);
    DecodeState off = Decode(p, false);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(off.Palette[i].R, i);
}

struct RoundTrip {
    std::uint32_t w, h, depth;
};

class DecodeRoundTrip : public DecodeTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(DecodeRoundTrip, BuilderAndDecodeAgree) {
    const RoundTrip rt = GetParam();
    for (bool swizzled : {true, false}) {
        TextureSpec a = RandomTexture("a", rt.w, rt.h, rt.depth, swizzled, rt.w * 131 + rt.h);
        TextureSpec b = RandomTexture("b", rt.h, rt.w, rt.depth, swizzled, rt.h * 17 + rt.w);
        std::string p = Write(BuildDictionary({a, b}));
        for (std::size_t i = 0; i < 2; ++i) {
            const TextureSpec& t = i == 0 ? a : b;
            DecodeResult r;
            DecodeState s = Decode(p, swizzled, &r, i);
            ASSERT_TRUE(r.Ok());
            ASSERT_EQ(s.TexWidth, t.Width);
            ASSERT_EQ(s.TexHeight, t.Height);
            EXPECT_EQ(s.Pixels, t.Pixels) << t.Width << "x" << t.Height << " swizzled=" << swizzled;
            std::size_t entries = rt.depth == 4 ? 16 : 256;
            for (std::size_t e = 0; e < entries; ++e) {
                ASSERT_EQ(s.Palette[e].R, t.Palette[e].R);
                ASSERT_EQ(s.Palette[e].A, t.Palette[e].A);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AwkwardSizes, DecodeRoundTrip,
                         ::testing::Values(RoundTrip{16, 8, 8}, RoundTrip{32, 32, 8}, RoundTrip{48, 24, 8},
                                           RoundTrip{17, 9, 8}, RoundTrip{8, 32, 8}, RoundTrip{64, 16, 4},
                                           RoundTrip{4, 2, 4}, RoundTrip{4, 2, 8}, RoundTrip{17, 9, 4},
                                           RoundTrip{33, 16, 4}, RoundTrip{128, 64, 4}, RoundTrip{1, 1, 8},
                                           RoundTrip{3, 5, 4}, RoundTrip{0, 7, 8}),
                         [](const ::testing::TestParamInfo<RoundTrip>& i) {
                             return std::to_string(i.param.w) + "x" + std::to_string(i.param.h) + "_" +
                                    std::to_string(i.param.depth) + "bit";
                         });

TEST_F(DecodeTest, FourBitSixteenRowsSkipsEveryOtherRowPair) {
    TextureSpec t = RandomTexture("t", 64, 16, 4, true, 99);
    std::string p = Write(BuildDictionary({t}));
    DecodeResult r;
    DecodeState s = Decode(p, true, &r);
    EXPECT_EQ(r.ImageOffset, WalkFile(p).Entries[0].DataOffset + 156);
    EXPECT_EQ(r.PaletteOffset, r.ImageOffset + 1024 + 80);
    EXPECT_EQ(s.Pixels, t.Pixels); // the skipped 0xEE filler never shows
}

TEST_F(DecodeTest, OffsetsAreTheSameWithAndWithoutUnswizzle) {
    std::string p = Write(BuildDictionary({RandomTexture("t", 48, 24, 8, true, 3)}));
    DecodeResult a, b;
    Decode(p, true, &a);
    Decode(p, false, &b);
    EXPECT_EQ(a.ImageOffset, b.ImageOffset);
    EXPECT_EQ(a.PaletteOffset, b.PaletteOffset);
    EXPECT_EQ(a.PaletteOffset, a.ImageOffset + 48 * 24 + 80);
}

TEST_F(DecodeTest, UnsupportedDepthsAndHugeSizesAreResults) {
    for (std::uint32_t depth : {16u, 32u, 0u}) {
        TextureSpec t = RandomTexture("d", 8, 8, 8, false, 1);
        t.Depth = depth;
        DecodeResult r;
        std::string p = Write(BuildDictionary({t}));
        WalkResult walk = WalkFile(p);
        DecodeState s;
        s.Palette[0] = {1, 2, 3, 4};
        r = DecodeFile(p, walk.Entries[0], true, s);
        EXPECT_EQ(r.Status, DecodeStatus::UnsupportedDepth);
        EXPECT_EQ(DecodeProblem(r), "Unknown palette size detected!!! (" + std::to_string(depth) + ")");
        EXPECT_EQ(s.TexDepth, depth);
        EXPECT_FALSE(s.HasGrid()); // refused before anything is allocated
        EXPECT_EQ(s.Palette[0].R, 1); // the palette is left alone
    }

    TextureSpec big;
    big.Name = "big";
    big.Width = 1;
    big.Height = 1;
    big.Pixels = {0};
    auto bytes = BuildDictionary({big});
    std::string p0 = Write(bytes);
    std::size_t at = WalkFile(p0).Entries[0].DataOffset;
    for (int i = 0; i < 2; ++i) // width and height 65535
        bytes[at + 4 * i] = bytes[at + 4 * i + 1] = 0xFF;
    DecodeResult r;
    DecodeState s = Decode(Write(bytes), false, &r);
    EXPECT_EQ(r.Status, DecodeStatus::TooLarge);
    EXPECT_EQ(DecodeProblem(r), "Texture too large!!! (65535 x 65535)");
    EXPECT_TRUE(s.Pixels.empty());
    EXPECT_FALSE(s.HasGrid());
}

TEST_F(DecodeTest, EndOfFileRepeatsTheLastByteAndKeepsThePalette) {
    std::vector<std::uint8_t> raw(16);
    std::iota(raw.begin(), raw.end(), 1);
    std::string full = RawTexture(4, 4, 8, raw);
    auto bytes = ReadFile(full);
    std::size_t image = WalkFile(full).Entries[0].DataOffset + 156;
    bytes.resize(image + 10); // ten of the sixteen pixel bytes remain, no palette

    DecodeState s;
    s.Palette[5] = {9, 9, 9, 9};
    std::string p = Write(bytes);
    TTexEntry e = WalkFile(full).Entries[0];
    DecodeResult r = DecodeFile(p, e, false, s);
    ASSERT_TRUE(r.Ok());
    EXPECT_TRUE(r.CutShort());
    EXPECT_EQ(r.DataPresent, 10u);
    EXPECT_EQ(RowOf(s, 0), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(RowOf(s, 2), (std::vector<int>{9, 10, 10, 10}));
    EXPECT_EQ(RowOf(s, 3), (std::vector<int>{10, 10, 10, 10}));
    EXPECT_EQ(s.Palette[5].R, 9);

    // Exactly half is still decoded; less than half is refused before allocating.
    bytes.resize(image + 8);
    EXPECT_TRUE(DecodeFile(Write(bytes), e, true, s).Ok());
    bytes.resize(image + 7);
    s = {};
    r = DecodeFile(Write(bytes), e, true, s);
    EXPECT_EQ(r.Status, DecodeStatus::DataMissing);
    EXPECT_EQ(DecodeProblem(r), "Texture data missing!!! (7 of 16 bytes)");
    EXPECT_FALSE(s.HasGrid());
}

TEST_F(DecodeTest, EntryPastTheEndDecodesAsZeroSize) {
    TTexEntry e;
    e.DataOffset = 0xFFFFFFF0u;
    std::string p = Write(BuildDictionary({RandomTexture("t", 4, 4, 8, true, 5)}));
    DecodeState s;
    DecodeResult r = DecodeFile(p, e, true, s);
    EXPECT_EQ(r.Status, DecodeStatus::UnsupportedDepth);
    EXPECT_EQ(s.TexWidth, 0u);
    EXPECT_EQ(r.ImageOffset, 0xFFFFFFF0u + 144u); // wraps as 32-bit arithmetic does
}

TEST(UnswizzlePasses, SmallTexturesOnlyGetTheRowExchange) {
    // 8 wide, 8 high: rows 1/2 and 5/6 change places, nothing else moves.
    std::vector<std::uint8_t> g(64);
    std::iota(g.begin(), g.end(), 0);
    auto orig = g;
    Unswizzle(g.data(), 8, 8);
    for (int y = 0; y < 8; ++y) {
        int from = y % 4 == 1 ? y + 1 : (y % 4 == 2 ? y - 1 : y);
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(g[y * 8 + x], orig[from * 8 + x]) << x << "," << y;
    }
    // Fewer than 4 rows: untouched.
    std::vector<std::uint8_t> h(3 * 8);
    std::iota(h.begin(), h.end(), 0);
    auto h0 = h;
    Unswizzle(h.data(), 8, 3);
    EXPECT_EQ(h, h0);
}

TEST(UnswizzlePasses, SwizzleIsTheInverse) {
    for (auto [w, h] : {std::pair{48u, 24u}, {17u, 9u}, {16u, 8u}, {35u, 19u}}) {
        std::vector<std::uint8_t> g(w * h);
        for (std::size_t i = 0; i < g.size(); ++i)
            g[i] = static_cast<std::uint8_t>(i * 31 + 7);
        auto orig = g;
        Swizzle(g.data(), w, h);
        EXPECT_NE(g, orig);
        Unswizzle(g.data(), w, h);
        EXPECT_EQ(g, orig) << w << "x" << h;
    }
}
