// Dictionaries in the layout real console files have: raster info, a transfer
// header per mip level, padded small levels, empty extensions, true colour.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/engine_files.h"
#include "dictionary/dictionary_walk.h"
#include "dictionary/gs_memory.h"
#include "dictionary/raster_decode.h"
#include "dictionary/unswizzle.h"
#include "tests/support/dictionary_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

class RealLayoutTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("real"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::vector<std::uint8_t>& bytes) {
        std::string p = dir_ + "/t" + std::to_string(counter_++) + ".txd";
        WriteFile(p, bytes);
        return p;
    }
    std::string dir_;
    int counter_ = 0;
};

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The level data where one texel position holds 1 and everything else 0,
// decoded through the memory model: the texel that comes out as 1.
std::pair<std::uint32_t, std::uint32_t> WhereDoesPositionLand(std::uint32_t depth, std::uint32_t w, std::uint32_t h,
                                                              std::size_t position) {
    const std::uint32_t rrw = TransferWidth(depth, w), rrh = TransferHeight(depth, h);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(rrw) * rrh * (depth == 8 ? 4 : 2), 0);
    if (depth == 8)
        data[position] = 1;
    else
        data[position / 2] = position % 2 ? 0x10 : 0x01;
    std::vector<std::uint8_t> grid(static_cast<std::size_t>(w) * h, 0xFF);
    DecodeTransferredLevel(data.data(), data.size(), depth, rrw, rrh, w, h, grid.data());
    std::pair<std::uint32_t, std::uint32_t> found{~0u, ~0u};
    int ones = 0;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            if (grid[static_cast<std::size_t>(y) * w + x] == 1) {
                found = {x, y};
                ++ones;
            }
    return ones == 1 ? found : std::pair{~0u, ~0u};
}

} // namespace

// Texel positions measured on real files; the memory model and the test
// builder's formula must both put every one of them where the console does.
TEST(ConsoleMemory, TexelPositionsOfRealFiles) {
    struct Case {
        std::uint32_t Depth, W, H, X, Y;
        std::size_t Position;
    };
    const Case cases[] = {
        {8, 16, 8, 0, 0, 0},   {8, 16, 8, 1, 0, 4},    {8, 16, 8, 8, 0, 2},    {8, 16, 8, 0, 1, 32},
        {8, 16, 8, 0, 2, 17},  {8, 16, 8, 4, 2, 1},    {8, 16, 8, 0, 4, 80},   {8, 16, 8, 0, 6, 65},
        {8, 8, 8, 0, 2, 17},   {8, 8, 8, 4, 2, 1},     {4, 32, 8, 0, 0, 0},    {4, 32, 8, 1, 0, 4},
        {4, 32, 8, 8, 0, 2},   {4, 32, 8, 16, 0, 32},  {4, 32, 8, 0, 1, 64},   {4, 32, 8, 0, 2, 17},
        {4, 32, 8, 4, 2, 1},   {4, 32, 8, 0, 4, 144},  {4, 16, 16, 0, 4, 144}, {4, 8, 8, 4, 2, 1},
        {4, 4, 4, 0, 2, 17},   {4, 64, 8, 0, 1, 128},  {4, 64, 8, 32, 0, 64},  {4, 64, 8, 0, 4, 272},
    };
    for (const Case& c : cases) {
        const std::uint32_t rrw = TransferWidth(c.Depth, c.W);
        EXPECT_EQ(TexelPosition(c.Depth, c.X, c.Y, rrw), c.Position)
            << c.Depth << "-bit " << c.W << " x " << c.H << " texel " << c.X << "," << c.Y;
        EXPECT_EQ(WhereDoesPositionLand(c.Depth, c.W, c.H, c.Position), std::pair(c.X, c.Y))
            << c.Depth << "-bit " << c.W << " x " << c.H << " position " << c.Position;
    }
    // A few cells of the console's column tables, as offsets inside one column.
    EXPECT_EQ(AddressPsmt8(0, 2, 2), 33u);        // even column, row 2
    EXPECT_EQ(AddressPsmt8(0, 4, 2) - 64, 32u);   // odd column, row 0
    EXPECT_EQ(AddressPsmt8(15, 7, 2) - 64, 63u);  // odd column, last cell
    EXPECT_EQ(NibbleAddressPsmt4(0, 3, 2), 81u);  // even column, row 3
    EXPECT_EQ(NibbleAddressPsmt4(0, 4, 2) - 128, 64u);
    EXPECT_EQ(NibbleAddressPsmt4(31, 3, 2), 63u);
    EXPECT_EQ(AddressPsmct32(8, 0, 1), 256u);     // the second block of a page
    EXPECT_EQ(AddressPsmct16(16, 0, 1), 512u);    // 16-bit blocks run down first
}

// Every power-of-two size from 1 x 1 to 1024 x 512 and some odd ones, at both
// palettised depths, read back exactly; where the row passes apply, the memory
// model agrees with them.
TEST_F(RealLayoutTest, EverySizeRoundTrips) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes;
    for (std::uint32_t w = 1; w <= 1024; w *= 2)
        for (std::uint32_t h = 1; h <= 512; h *= 2)
            sizes.push_back({w, h});
    for (auto odd : {std::pair{3u, 5u}, {17u, 9u}, {33u, 20u}, {100u, 60u}, {48u, 24u}})
        sizes.push_back(odd);
    int passesCompared = 0;
    for (std::uint32_t depth : {4u, 8u}) {
        std::vector<TextureSpec> texs;
        for (auto [w, h] : sizes)
            texs.push_back(RealTexture("t" + std::to_string(w) + "x" + std::to_string(h), w, h, depth, 1, w * 31 + h));
        auto bytes = BuildDictionary(texs);
        const std::string p = Write(bytes);
        WalkResult walk = WalkFile(p);
        ASSERT_EQ(walk.End, WalkEnd::Complete);
        ASSERT_EQ(walk.Listed, texs.size());
        for (std::size_t i = 0; i < texs.size(); ++i) {
            const TextureSpec& t = texs[i];
            SCOPED_TRACE(std::to_string(depth) + "-bit " + std::to_string(t.Width) + " x " + std::to_string(t.Height));
            DecodeState s;
            DecodeResult r = DecodeFile(p, walk.Entries[i], true, s);
            ASSERT_TRUE(r.Ok()) << DecodeProblem(r);
            EXPECT_TRUE(r.LayoutFromFile);
            EXPECT_EQ(s.Pixels, t.Pixels);
            for (std::size_t c = 0; c < (depth == 4 ? 16u : 256u); ++c)
                ASSERT_EQ(s.Palette[c], t.Palette[c]) << "entry " << c;
            // The image is level 0's data, 80 bytes into the pixel block.
            EXPECT_EQ(r.ImageOffset, walk.Entries[i].DataOffset + 156);
            const std::uint32_t pixelSize = U32At(bytes, walk.Entries[i].DataOffset + 48);
            EXPECT_EQ(r.PaletteOffset, walk.Entries[i].DataOffset + 76 + pixelSize + 80);

            const std::uint32_t rrw = TransferWidth(depth, t.Width), rrh = TransferHeight(depth, t.Height);
            if (RowPassesApply(depth, t.Width, t.Height, rrw, rrh)) {
                std::vector<std::uint8_t> viaMemory(s.Pixels.size());
                const std::uint8_t* data = bytes.data() + r.ImageOffset;
                DecodeTransferredLevel(data, pixelSize - 80, depth, rrw, rrh, t.Width, t.Height, viaMemory.data());
                EXPECT_EQ(viaMemory, s.Pixels) << "the row passes and the memory model disagree";
                ++passesCompared;
            }
        }
    }
    EXPECT_GT(passesCompared, 60);
}

// The sizes where the row-pair reading is known to be right give exactly the
// fixed-layout reading of the same pixel bytes.
TEST_F(RealLayoutTest, RowPassesMatchTheFixedReadingWhereTheyApply) {
    for (auto [depth, w, h] : {std::tuple{8u, 64u, 32u}, {8u, 16u, 16u}, {4u, 128u, 64u}, {4u, 16u, 16u}, {4u, 32u, 8u}}) {
        TextureSpec real = RealTexture("r", w, h, depth, 1, 3);
        auto bytes = BuildDictionary({real});
        const std::string p = Write(bytes);
        TTexEntry e = WalkFile(p).Entries[0];
        DecodeState viaReal;
        ASSERT_TRUE(DecodeFile(p, e, true, viaReal).Ok());

        // The same level data placed at the fixed image offset of a fixed-layout file.
        TextureSpec fixed = real;
        fixed.Real = false;
        auto fbytes = BuildDictionary({fixed});
        const std::string fp = Write(fbytes);
        TTexEntry fe = WalkFile(fp).Entries[0];
        const std::size_t n = depth == 8 ? w * h : (h == 16 ? w * 16 : w * h / 2);
        std::copy_n(bytes.begin() + e.DataOffset + 156, std::min<std::size_t>(n, 0u + U32At(bytes, e.DataOffset + 48) - 80),
                    fbytes.begin() + fe.DataOffset + 156);
        WriteFile(fp, fbytes);
        DecodeState viaFixed;
        ASSERT_TRUE(DecodeFile(fp, fe, true, viaFixed).Ok());
        EXPECT_EQ(viaFixed.Pixels, viaReal.Pixels) << depth << "-bit " << w << " x " << h;
    }
}

// Worked examples of mipmapped textures from real files: the pixel block holds
// every level, and the palette comes after all of them.
TEST_F(RealLayoutTest, MipLevelsAndThePaletteAfterThem) {
    struct Case {
        std::uint32_t Depth, W, H, Levels, PixelSize;
    };
    for (const Case& c : {Case{8, 128, 256, 5, 44176}, Case{4, 128, 128, 5, 11536}, Case{4, 128, 128, 7, 11824},
                          Case{4, 256, 128, 5, 22288}, Case{8, 64, 64, 2, 0}, Case{4, 32, 32, 6, 0},
                          Case{8, 1024, 512, 7, 0}}) {
        SCOPED_TRACE(std::to_string(c.Depth) + "-bit " + std::to_string(c.W) + " x " + std::to_string(c.H) + ", " +
                     std::to_string(c.Levels) + " levels");
        TextureSpec t = RealTexture("mip", c.W, c.H, c.Depth, c.Levels, c.W + c.Levels);
        auto bytes = BuildDictionary({t});
        const std::string p = Write(bytes);
        TTexEntry e = WalkFile(p).Entries[0];
        if (c.PixelSize) {
            ASSERT_EQ(U32At(bytes, e.DataOffset + 48), c.PixelSize);
        }
        for (std::uint32_t n = 0; n < c.Levels; ++n) {
            DecodeState s;
            DecodeResult r = DecodeFile(p, e, true, s, n);
            ASSERT_TRUE(r.Ok()) << DecodeProblem(r);
            EXPECT_TRUE(r.LayoutFromFile);
            EXPECT_EQ(r.LevelCount, c.Levels);
            EXPECT_EQ(s.TexWidth, std::max(1u, c.W >> n));
            EXPECT_EQ(s.TexHeight, std::max(1u, c.H >> n));
            EXPECT_EQ(s.Pixels, n == 0 ? t.Pixels : t.MipPixels[n - 1]) << "level " << n;
            EXPECT_EQ(s.Palette[3], t.Palette[3]);
            EXPECT_EQ(s.Palette[c.Depth == 8 ? 200 : 15], t.Palette[c.Depth == 8 ? 200 : 15]);
            EXPECT_EQ(r.ImageOffset, e.DataOffset + 156); // level 0's pixels whatever level is shown
        }
        DecodeState s;
        EXPECT_EQ(DecodeFile(p, e, true, s, c.Levels).Status, DecodeStatus::NoSuchLevel);
    }
}

TEST_F(RealLayoutTest, TrueColourRasters) {
    for (std::uint32_t depth : {16u, 32u}) {
        for (auto [w, h] : {std::pair{16u, 16u}, {128u, 64u}, {1u, 1u}, {5u, 3u}}) {
            TextureSpec t = RealTexture("tc", w, h, depth, 1, depth + w);
            const std::string p = Write(BuildDictionary({t}));
            WalkResult walk = WalkFile(p);
            EXPECT_EQ(walk.Entries[0].Caption,
                      "1. tc  |  " + std::to_string(w) + " x " + std::to_string(h) + " (" + std::to_string(depth) + "bit)");
            for (bool unswizzle : {true, false}) {
                DecodeState s;
                DecodeResult r = DecodeFile(p, walk.Entries[0], unswizzle, s);
                ASSERT_TRUE(r.Ok()) << DecodeProblem(r);
                EXPECT_TRUE(s.TrueColour);
                EXPECT_TRUE(s.HasGrid());
                EXPECT_EQ(s.Texels, t.Texels) << depth << "-bit " << w << " x " << h;
                EXPECT_EQ(s.Colour(w - 1, h - 1), t.Texels.back());
            }
        }
    }
    // 16-bit channels: red in the low bits, 5 bits widened to the full range,
    // the alpha bit as opaque.
    TextureSpec t = RealTexture("c16", 1, 1, 16, 1, 1);
    t.Texels = {{0xFF, 0x08, 0x00, 128}};
    const std::string p = Write(BuildDictionary({t}));
    DecodeState s;
    ASSERT_TRUE(DecodeFile(p, WalkFile(p).Entries[0], true, s).Ok());
    EXPECT_EQ(s.Texels[0], (PaletteEntry{0xFF, 0x08, 0x00, 128}));
}

// Most modder-made files end their records with an empty extension chunk.
TEST_F(RealLayoutTest, EmptyExtensionsAnywhere) {
    std::vector<TextureSpec> texs;
    for (int i = 0; i < 4; ++i) {
        texs.push_back(RealTexture("tex" + std::to_string(i), 32 << i, 16, i % 2 ? 8 : 4, 1, i));
        texs.back().Mask = i == 2 ? "" : "mask" + std::to_string(i);
        texs.back().EmptyExtension = i != 3;
    }
    const std::string p = Write(BuildDictionary(texs));
    WalkResult walk = WalkFile(p);
    ASSERT_EQ(walk.End, WalkEnd::Complete);
    ASSERT_EQ(walk.Listed, 4u);
    EXPECT_EQ(walk.Entries[1].Caption, "2. tex1 / mask1  |  64 x 16 (8bit)");
    EXPECT_EQ(walk.Entries[2].Caption, "3. tex2  |  128 x 16 (4bit)");
    EXPECT_EQ(walk.Entries[2].AlphaName, "tex2_alpha");
    for (std::size_t i = 0; i < 4; ++i) {
        DecodeState s;
        ASSERT_TRUE(DecodeFile(p, walk.Entries[i], true, s).Ok());
        EXPECT_EQ(s.Pixels, texs[i].Pixels) << i;
    }
}

// Names come from their string chunks when the chunks add up: a byte that would
// end the stop-byte scan early is part of the name.
TEST_F(RealLayoutTest, NamesComeFromTheirChunks) {
    TextureSpec t = RealTexture("ab\x02" "defgh", 32, 32, 4, 1, 9);
    t.Mask = "  m  ";
    std::string longName(300, 'n');
    TextureSpec u = RealTexture(longName, 32, 32, 8, 1, 10);
    WalkResult walk = WalkFile(Write(BuildDictionary({t, u})));
    ASSERT_EQ(walk.End, WalkEnd::Complete);
    EXPECT_EQ(walk.Entries[0].Name, "ab\x02" "defgh");
    EXPECT_EQ(walk.Entries[0].AlphaName, "m");
    EXPECT_EQ(walk.Entries[1].Name, longName.substr(0, 255));
    EXPECT_EQ(walk.Entries[1].Caption.size(), 255u);
}

// Sizes that do not add up fall back to the fixed distances, and a record that
// would send the walk backwards or onto itself stops it with the report.
TEST_F(RealLayoutTest, InconsistentSizesAndBackwardRecords) {
    TextureSpec a = RealTexture("a", 32, 32, 4, 1, 1), b = RealTexture("b", 32, 32, 4, 1, 2);
    auto bytes = BuildDictionary({a, b});
    WalkResult good = WalkFile(Write(bytes));
    // Damage the first record's size word: its 28-byte extension still lets the
    // fixed distances find the second record.
    auto damaged = bytes;
    damaged[32] ^= 0x40;
    WalkResult fixed = WalkFile(Write(damaged));
    ASSERT_EQ(fixed.End, WalkEnd::Complete);
    EXPECT_EQ(fixed.Entries[1].Caption, good.Entries[1].Caption);
    EXPECT_EQ(fixed.Entries[1].DataOffset, good.Entries[1].DataOffset);

    // A raster info whose pixel size is off by 16 is not trusted: the fixed offsets.
    auto info = bytes;
    info[good.Entries[0].DataOffset + 48] += 16;
    const std::string ip = Write(info);
    DecodeState s;
    DecodeResult r = DecodeFile(ip, good.Entries[0], true, s);
    EXPECT_FALSE(r.LayoutFromFile);
    EXPECT_EQ(r.ImageOffset, good.Entries[0].DataOffset + 156);
    EXPECT_EQ(r.PaletteOffset, good.Entries[0].DataOffset + 236 + 32 * 32 / 2);

    // A fixed-layout record whose size word points the next record at itself.
    TextureSpec f = RandomTexture("loop", 8, 8, 8, true, 4);
    auto loop = BuildDictionary({f, f});
    loop[32] ^= 0x40; // the chunk sizes no longer add up
    const std::uint32_t sAt = 28 + 44 + 8 + 12 + 4 + 4; // name "loop" and mask "" take 8 and 4 bytes
    const std::uint32_t fake = static_cast<std::uint32_t>(28 - (sAt + 4) - 32);
    for (int i = 0; i < 4; ++i)
        loop[sAt + i] = static_cast<std::uint8_t>(fake >> (8 * i));
    WalkResult stopped = WalkFile(Write(loop));
    ASSERT_EQ(stopped.End, WalkEnd::Stopped);
    EXPECT_EQ(stopped.Listed, 1u);
    EXPECT_EQ(stopped.Report.Next, 28);
    EXPECT_EQ(stopped.Report.Next, 28);
}
