// New records as the console's tools lay them out, and edits that change the
// list of textures or their sizes.
#include <gtest/gtest.h>

#include <bit>

#include "base/bytes.h"
#include "base/errors.h"
#include "dictionary/dictionary.h"
#include "dictionary/raster_layout.h"
#include "editing/dictionary_edit.h"
#include "dictionary/record_layout.h"
#include "dictionary/record_format.h"
#include "tests/support/dictionary_builder.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

std::uint32_t CeilDiv(std::uint32_t a, std::uint32_t b) { return (a + b - 1) / b; }

DecodeState RandomPicture(std::uint32_t w, std::uint32_t h, std::uint32_t depth, std::uint32_t seed) {
    const TextureSpec t = RandomTexture("x", w, h, depth == 4 ? 4 : 8, true, seed);
    DecodeState s;
    s.TexWidth = w;
    s.TexHeight = h;
    s.TexDepth = depth;
    s.TrueColour = depth == 16 || depth == 32;
    if (s.TrueColour) {
        for (std::uint8_t p : t.Pixels)
            s.Texels.push_back(depth == 32 ? PaletteEntry{p, static_cast<std::uint8_t>(p * 3), 9, static_cast<std::uint8_t>(p % 129)}
                                           : PaletteEntry{0, 0, 0, static_cast<std::uint8_t>(p % 2 ? 128 : 0)});
    } else {
        s.Pixels = t.Pixels;
        s.Palette = t.Palette;
    }
    return s;
}

} // namespace

// Single levels: the closed form the real files follow at every power-of-two size.
TEST(RecordLayout, SingleLevelsFollowTheClosedForm) {
    struct Page {
        std::uint32_t Depth, W, H;
    };
    for (Page page : {Page{4, 128, 128}, Page{8, 128, 64}, Page{16, 64, 64}, Page{32, 64, 32}}) {
        for (std::uint32_t w = 4; w <= 1024; w *= 2) {
            for (std::uint32_t h = 4; h <= 1024; h *= 2) {
                const RecordLayout l = LayOutRecord(page.Depth, w, h, 1);
                const std::uint32_t p0 = CeilDiv(w, page.W) * CeilDiv(h, page.H);
                const bool full = w >= page.W && h >= page.H;
                if (page.Depth == 4 || page.Depth == 8) {
                    EXPECT_EQ(l.PaletteBlock, full ? 32 * p0 : 32 * p0 - 4) << page.Depth << " " << w << "x" << h;
                    EXPECT_EQ(l.GpuSize, 2048 * (p0 + full)) << page.Depth << " " << w << "x" << h;
                } else {
                    EXPECT_EQ(l.PaletteBlock, 0u);
                    EXPECT_EQ(l.GpuSize, 2048 * p0) << page.Depth << " " << w << "x" << h;
                }
            }
        }
    }
    // The palette's place for 8 bits: the top-left pixel of its block.
    const RecordLayout small = LayOutRecord(8, 64, 64, 1);
    EXPECT_EQ(small.PaletteBlock, 28u);
    EXPECT_EQ(std::pair(small.PaletteX, small.PaletteY), std::pair(48u, 16u));
    const RecordLayout wide = LayOutRecord(8, 256, 256, 1);
    EXPECT_EQ(std::pair(wide.PaletteX, wide.PaletteY), std::pair(0u, 0u));
}

TEST(RecordLayout, LevelsGoWhereTheConsoleToolsPutThem) {
    EXPECT_EQ(UsualLevelCount(128, 256), 5u); // down to 8 x 16
    EXPECT_EQ(UsualLevelCount(256, 64), 4u);  // down to 32 x 8
    EXPECT_EQ(UsualLevelCount(8, 8), 1u);
    const RecordLayout l = LayOutRecord(4, 128, 128, 5);
    ASSERT_EQ(l.Placement.size(), 5u);
    EXPECT_EQ(std::pair(l.Placement[1].X, l.Placement[1].Y), std::pair(0u, 64u)); // 32 x 32
    EXPECT_EQ(std::pair(l.Placement[2].X, l.Placement[2].Y), std::pair(32u, 64u)); // 16 x 16
    for (std::size_t n = 1; n < 5; ++n)
        EXPECT_EQ(l.Placement[n].BufferWidth, 2u);
    EXPECT_EQ(l.PaletteBlock % 32, 31u); // a one-block reserve with levels
    EXPECT_EQ(l.PixelSize, 80 * 5 + 2 * (64 * 64 + 32 * 32 + 16 * 16 + 16 * 8 + 16 * 4));
}

// A new record walks by its chunks, its headers give the layout back, and a
// picture encoded into it decodes to itself at every level.
TEST(RecordWriter, NewRecordsWalkAndHoldTheirPictures) {
    const std::vector<std::uint8_t> base = BuildDictionary({RealTexture("first", 32, 32, 8, 1, 1)});
    std::uint32_t seed = 3;
    for (std::uint32_t depth : {4u, 8u, 16u, 32u}) {
        for (auto [w, h] : {std::pair{8u, 8u}, {64u, 32u}, {16u, 128u}, {256u, 256u}, {512u, 64u}, {1024u, 1024u}}) {
            const std::uint32_t levels = depth == 4 || depth == 8 ? UsualLevelCount(w, h) : 1;
            SCOPED_TRACE(std::to_string(depth) + " " + std::to_string(w) + "x" + std::to_string(h));
            DictionaryEdit edit(base, true);
            std::vector<DecodeState> pictures{RandomPicture(w, h, depth, seed++)};
            for (std::uint32_t n = 1; n < levels; ++n)
                pictures.push_back(RandomPicture(std::max(1u, w >> n), std::max(1u, h >> n), depth, seed++));
            for (std::uint32_t n = 1; n < levels; ++n)
                pictures[n].Palette = pictures[0].Palette;
            edit.Add("added", "added_a", pictures);
            ASSERT_NO_THROW(edit.Verify());
            const std::vector<std::uint8_t>& bytes = edit.Bytes();
            EXPECT_EQ(LoadLE32(&bytes[4]) + 12, bytes.size()); // the dictionary's size follows
            EXPECT_EQ(bytes[24], 2);
            const Dictionary d(std::make_shared<MemorySource>(bytes.data(), bytes.size()));
            ASSERT_EQ(d.Entries().size(), 2u);
            EXPECT_EQ(d.Entries()[1].Name, "added");
            EXPECT_EQ(d.Entries()[1].Mask, "added_a");
            const MemorySource src(bytes.data(), bytes.size());
            ByteReader r(src);
            const RasterLayout layout = ReadRasterLayout(r, d.Entries()[1].DataOffset);
            EXPECT_TRUE(layout.FromFile);
            EXPECT_EQ(layout.Levels.size(), levels);
            // Header words as the rules give them.
            const std::size_t info = d.Entries()[1].DataOffset;
            const std::uint32_t format = LoadLE32(&bytes[info + 12]);
            EXPECT_EQ(format & 0x20000, 0x20000u);
            EXPECT_EQ((format & 0x8000) != 0, levels > 1);
            EXPECT_EQ((format & 0x4000) != 0, depth == 4);
            EXPECT_EQ((format & 0x2000) != 0, depth == 8);
            EXPECT_EQ((format >> 8) & 0xF, depth == 16 ? 1u : 5u);
            const std::uint64_t tex0 = LoadLE32(&bytes[info + 16]) | std::uint64_t{LoadLE32(&bytes[info + 20])} << 32;
            EXPECT_EQ((tex0 >> 26) & 15, static_cast<std::uint64_t>(std::countr_zero(w)));
            EXPECT_EQ((tex0 >> 30) & 15, static_cast<std::uint64_t>(std::countr_zero(h)));
            EXPECT_EQ(tex0 >> 61, depth == 4 || depth == 8 ? 1u : 0u);
            if (levels == 1) {
                EXPECT_EQ(LoadLE32(&bytes[info + 32]), 0x00004000u);
                EXPECT_EQ(LoadLE32(&bytes[info + 36]), 0x00400004u);
            }
            EXPECT_EQ(LoadLE32(&bytes[info + 60]), 0xFC0u);
            EXPECT_EQ(d.Decode(0).State.Pixels, Dictionary(std::make_shared<MemorySource>(base.data(), base.size())).Decode(0).State.Pixels);
        }
    }
}

// A record read back gives what it was written with, and where its parts are;
// chunk sizes that do not add up are refused.
TEST(RecordFormat, ParseGivesBackWhatBuildWrote) {
    for (bool emptyExtension : {false, true}) {
        TextureRecord written;
        written.Name = "wheel";
        written.Mask = "wheel_a ";
        written.Depth = 4;
        written.Width = 64;
        written.Height = 32;
        written.Levels = 3;
        written.Version = 0x0C02FFFF;
        written.FilterWord = 0x1206;
        written.EmptyExtension = emptyExtension;
        std::vector<std::uint8_t> bytes(20, 0xEE); // the record 20 bytes into its file
        const std::vector<std::uint8_t> record = BuildRecord(written);
        bytes.insert(bytes.end(), record.begin(), record.end());
        const MemorySource source(bytes.data(), bytes.size());
        ByteReader r(source);
        TextureRecord read;
        ASSERT_TRUE(ParseRecord(r, 20, read));
        EXPECT_EQ(read.Name, "wheel");
        EXPECT_EQ(read.Mask, "wheel_a"); // trimmed
        EXPECT_EQ(read.Version, 0x0C02FFFFu);
        EXPECT_EQ(read.FilterWord, 0x1206u);
        EXPECT_EQ(read.EmptyExtension, emptyExtension);
        EXPECT_EQ(read.Start, 20u);
        EXPECT_EQ(read.End, bytes.size());
        EXPECT_EQ(LoadLE32(&bytes[read.NameChunk]), kStringChunk);
        EXPECT_EQ(LoadLE32(&bytes[read.MaskChunk]), kStringChunk);
        EXPECT_EQ(LoadLE32(&bytes[read.RasterData - 12]), kStructChunk); // the raster info: a struct of 64 bytes
        EXPECT_EQ(LoadLE32(&bytes[read.RasterData - 8]), 64u);
        r.Seek(0);
        EXPECT_EQ(ReadRasterLayout(r, static_cast<std::uint32_t>(read.RasterData)).Levels.size(), 3u);
        EXPECT_FALSE(ParseRecord(r, 0, read)); // no record there
        bytes[20 + 4] += 4;                    // a record size its children do not fill
        EXPECT_FALSE(ParseRecord(r, 20, read));
        bytes.resize(bytes.size() - 1);        // the file ends inside the record
        const MemorySource cut(bytes.data(), bytes.size());
        ByteReader rc(cut);
        bytes[20 + 4] -= 4;
        EXPECT_FALSE(ParseRecord(rc, 20, read));
    }
    for (std::uint32_t depth : {4u, 8u, 16u, 32u}) {
        ASSERT_NE(FindDepth(depth), nullptr);
        EXPECT_EQ(FindDepth(depth)->Palettised(), IsPalettisedDepth(depth));
    }
    EXPECT_EQ(FindDepth(4)->PaletteEntries * 4, FindDepth(4)->PaletteBytes);
    EXPECT_EQ(FindDepth(8)->PaletteEntries * 4, FindDepth(8)->PaletteBytes);
    EXPECT_EQ(FindDepth(24), nullptr);
}

TEST(DictionaryEditTest, RemoveRenameAndReshapeKeepTheOthers) {
    const std::vector<TextureSpec> texs = {RealTexture("a", 32, 32, 8, 1, 1), RealTexture("b", 64, 64, 4, 4, 2),
                                           RealTexture("c", 16, 16, 32, 1, 3)};
    std::vector<std::uint8_t> bytes = BuildDictionary(texs);
    bytes.resize(bytes.size() + 100, 0); // padding after the dictionary stays
    const Dictionary before(std::make_shared<BufferSource>(bytes));
    DictionaryEdit edit(bytes, true);
    edit.Rename(0, "a_much_longer_name", "with_a_mask");
    EXPECT_THROW(edit.Rename(1, std::string(32, 'n'), ""), KelmoraError);
    edit.Remove(1);
    edit.Reshape(0, {RandomPicture(128, 32, 4, 9)});
    ASSERT_NO_THROW(edit.Verify());
    const Dictionary after(std::make_shared<MemorySource>(edit.Bytes().data(), edit.Bytes().size()));
    ASSERT_EQ(after.Entries().size(), 2u);
    EXPECT_EQ(after.Entries()[0].Caption, "1. a_much_longer_name / with_a_mask  |  128 x 32 (4bit)");
    EXPECT_EQ(after.Entries()[1].Name, "c");
    EXPECT_EQ(after.Decode(1).State.Texels, before.Decode(2).State.Texels);
    EXPECT_EQ(LoadLE32(&edit.Bytes()[4]) + 12 + 100, edit.Bytes().size());

    // A dictionary whose records do not carry their sizes takes no change of size.
    std::vector<TextureSpec> fixed = {RandomTexture("f", 16, 16, 8, true, 4)};
    DictionaryEdit old(BuildDictionary(fixed), true);
    std::vector<std::uint8_t> broken = BuildDictionary(fixed);
    broken[28 + 4] ^= 0x40; // the record's size no longer adds up
    DictionaryEdit damaged(broken, true);
    EXPECT_THROW(damaged.Remove(0), KelmoraError);
}
