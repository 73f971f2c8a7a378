// Direct3D 8, Direct3D 9 and Xbox dictionaries: every format on every platform
// decoded against a reference written from the format notes (DXT against
// libsquish), each quirk real files have, hostile records, the properties, and
// the refusal of edits.
#include <gtest/gtest.h>

#include <squish.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/texture_search.h"
#include "dictionary/dictionary.h"
#include "dictionary/native_format.h"
#include "base/text.h"
#include "dictionary/texture_properties.h"
#include "editing/dictionary_edit.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/native_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

Dictionary Open(const std::vector<std::uint8_t>& bytes) {
    return Dictionary(std::make_shared<BufferSource>(bytes));
}

std::uint32_t Side(std::uint32_t v, std::uint32_t n) { return std::max<std::uint32_t>(1, v >> n); }

// What a DXT level decodes to, by libsquish (DXT2 and DXT4 as stored: their
// blocks are DXT3's and DXT5's).
std::vector<PaletteEntry> SquishTexels(const NativeSpec& s, std::uint32_t level) {
    const std::uint32_t w = Side(s.Width, level), h = Side(s.Height, level);
    const int flags = s.Format == "DXT1" ? squish::kDxt1 : (s.Format == "DXT2" || s.Format == "DXT3") ? squish::kDxt3
                                                                                                    : squish::kDxt5;
    std::vector<std::uint8_t> rgba(4 * std::size_t{w} * h);
    squish::DecompressImage(rgba.data(), static_cast<int>(w), static_cast<int>(h), s.LevelBytes[level].data(), flags);
    std::vector<PaletteEntry> out(std::size_t{w} * h);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
    return out;
}

std::vector<PaletteEntry> Expected(const NativeSpec& s, std::uint32_t level, bool unswizzle = true) {
    return IsDxtFormat(s.Format) ? SquishTexels(s, level) : ReferenceTexels(s, level, unswizzle);
}

std::vector<PaletteEntry> Texels(const DecodedTexture& d) {
    std::vector<PaletteEntry> out;
    for (std::uint32_t y = 0; y < d.State.TexHeight; ++y)
        for (std::uint32_t x = 0; x < d.State.TexWidth; ++x)
            out.push_back(d.State.Colour(x, y));
    return out;
}

std::string PlatformLabel(std::uint32_t id) { return id == 8 ? "D3D8" : id == 9 ? "D3D9" : "Xbox"; }

struct FormatCase {
    std::uint32_t Platform;
    std::string Format;
};

class EveryFormat : public ::testing::TestWithParam<FormatCase> {};

// Three levels of an odd-shaped texture, level 0 full size, in a dictionary with
// a texture before and after it: the walk lists it with its format, and every
// level decodes as the reference says.
TEST_P(EveryFormat, DecodesEveryLevelAsTheReference) {
    const FormatCase c = GetParam();
    const NativeSpec before = RandomNative(c.Platform, "DXT1", 8, 8, 1, 1);
    const NativeSpec t = RandomNative(c.Platform, c.Format, 32, 16, 3, 7);
    const NativeSpec after = RandomNative(c.Platform, "8888", 4, 4, 1, 3);
    const auto bytes = BuildNativeDictionary({before, t, after});
    const Dictionary d = Open(bytes);
    ASSERT_TRUE(d.Complete());
    ASSERT_EQ(d.Entries().size(), 3u);
    const TTexEntry& e = d.Entries()[1];
    const std::string shown = c.Format == "PAL8" ? "8bit" : c.Format == "PAL4" ? "4bit" : c.Format;
    EXPECT_EQ(e.Caption, "2. " + t.Name + " / " + t.Mask + "  |  32 x 16 (" + shown + ")");
    EXPECT_EQ(e.Format, shown);
    EXPECT_EQ(d.Entries()[2].Caption, "3. " + after.Name + " / " + after.Mask + "  |  4 x 4 (8888)");
    for (std::uint32_t level = 0; level < 3; ++level) {
        const DecodedTexture got = d.Decode(1, {true, level});
        ASSERT_TRUE(got.Ok()) << DecodeProblem(got.Result) << " at level " << level;
        EXPECT_EQ(got.Result.LevelCount, 3u);
        EXPECT_EQ(got.State.TexWidth, Side(32, level));
        EXPECT_EQ(got.State.TexHeight, Side(16, level));
        EXPECT_TRUE(got.State.FullAlpha);
        EXPECT_EQ(Texels(got), Expected(t, level)) << "level " << level;
    }
    EXPECT_EQ(d.Decode(1, {true, 3}).Result.Status, DecodeStatus::NoSuchLevel);
}

std::vector<FormatCase> AllFormats() {
    std::vector<FormatCase> cases;
    const char* const raw[] = {"8888", "888", "565", "1555", "555", "4444", "L8", "A8L8", "PAL8", "PAL4"};
    for (std::uint32_t p : {8u, 9u, 5u}) {
        for (const char* f : {"DXT1", "DXT3", "DXT5"})
            cases.push_back({p, f});
        for (const char* f : raw)
            if (p == 9 || std::string(f) != "A8L8") // only Direct3D 9 names A8L8 (by its D3DFORMAT)
                cases.push_back({p, f});
    }
    for (std::uint32_t p : {8u, 9u})
        for (const char* f : {"DXT2", "DXT4"})
            cases.push_back({p, f});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Platforms, EveryFormat, ::testing::ValuesIn(AllFormats()),
                         [](const ::testing::TestParamInfo<FormatCase>& i) {
                             return PlatformLabel(i.param.Platform) + "_" + i.param.Format;
                         });

// The quirks the note lists, each on its own texture of one dictionary.
TEST(PlatformTest, RealFileQuirksReadAsTheFilesMeanThem) {
    std::vector<NativeSpec> t;
    // 4-bit with 32 entries and one byte a texel, index 31 in use.
    NativeSpec pal4 = RandomNative(8, "PAL4", 4, 4, 1, 11);
    pal4.LevelBytes[0][5] = 31;
    t.push_back(pal4);
    // An 888 palette's fourth bytes are junk, not alpha.
    NativeSpec junk = RandomNative(8, "PAL8", 8, 8, 1, 12);
    junk.PaletteJunkAlpha = true;
    t.push_back(junk);
    // A level count of 0 still stores one level.
    NativeSpec zero = RandomNative(9, "DXT1", 8, 8, 1, 13);
    zero.CountZero = true;
    t.push_back(zero);
    // Auto-mipmap: counts 4 levels, stores the top one.
    NativeSpec autoMip = RandomNative(9, "888", 8, 8, 1, 14);
    autoMip.AutoMipmap = true;
    t.push_back(autoMip);
    // DXT levels below 4 x 4 stored with byte count 0.
    NativeSpec emptySmall = RandomNative(9, "DXT5", 8, 8, 4, 15);
    emptySmall.EmptySmallDxt = true;
    t.push_back(emptySmall);
    // D3D9 mask fields keep stale bytes after their NUL.
    NativeSpec stale = RandomNative(9, "DXT3", 8, 8, 1, 16);
    stale.StaleMask.fill(0xAB);
    stale.Mask = "";
    t.push_back(stale);
    // The last level larger than its size needs.
    NativeSpec oversize = RandomNative(9, "DXT1", 24, 16, 3, 17);
    oversize.LevelBytes[2].resize(oversize.LevelBytes[2].size() + 24, 0xEE);
    t.push_back(oversize);
    // No extension chunk; then a second chunk after the extension.
    NativeSpec bare = RandomNative(9, "8888", 4, 4, 1, 18);
    bare.NoExtension = true;
    t.push_back(bare);
    NativeSpec extra = RandomNative(9, "8888", 4, 4, 1, 19);
    extra.ExtraChunk = true;
    t.push_back(extra);
    // Sector padding after the dictionary chunk.
    const auto bytes = BuildNativeDictionary(t, 0x1803FFFF, 2048);
    ASSERT_EQ(bytes.size() % 2048, 0u);
    const Dictionary d = Open(bytes);
    ASSERT_TRUE(d.Complete());
    ASSERT_EQ(d.Entries().size(), t.size());

    const DecodedTexture p4 = d.Decode(0);
    ASSERT_TRUE(p4.Ok());
    EXPECT_EQ(p4.State.PaletteEntries(), 32u);
    EXPECT_EQ(p4.State.Pixel(1, 1), 31);
    EXPECT_EQ(Texels(p4), ReferenceTexels(t[0], 0));

    const DecodedTexture j = d.Decode(1);
    ASSERT_TRUE(j.Ok());
    for (std::uint32_t i = 0; i < 256; ++i)
        EXPECT_EQ(j.State.Palette[i].A, 255) << "entry " << i;
    EXPECT_EQ(Texels(j), ReferenceTexels(t[1], 0));

    EXPECT_TRUE(d.Decode(2).Ok());
    EXPECT_EQ(d.Decode(2).Result.LevelCount, 1u);
    EXPECT_EQ(d.Decode(3).Result.LevelCount, 1u);
    EXPECT_EQ(Texels(d.Decode(3)), ReferenceTexels(t[3], 0));

    const DecodedTexture small = d.Decode(4, {true, 2});
    EXPECT_EQ(small.Result.Status, DecodeStatus::DataMissing); // 2 x 2, stored empty
    EXPECT_EQ(small.Result.DataPresent, 0u);
    EXPECT_EQ(Texels(d.Decode(4, {true, 1})), Expected(t[4], 1));

    EXPECT_EQ(d.Entries()[5].Mask, "");
    EXPECT_EQ(d.Entries()[5].AlphaName, t[5].Name + "_alpha");
    EXPECT_EQ(Texels(d.Decode(6, {true, 2})), Expected(t[6], 2));
    EXPECT_EQ(Texels(d.Decode(7)), ReferenceTexels(t[7], 0));
    EXPECT_EQ(Texels(d.Decode(8)), ReferenceTexels(t[8], 0));
}

// Small rows padded to a 4-byte pitch: the padding is skipped, not shown.
TEST(PlatformTest, PaddedSmallRowsSkipTheirPadding) {
    for (const std::string format : {"PAL8", "L8", "565", "A8L8"}) {
        NativeSpec s = RandomNative(9, format, 4, 4, 3, 21);
        s.Format = format;
        for (std::uint32_t n = 1; n < 3; ++n) { // 2 x 2 and 1 x 1: rows under 4 bytes
            const std::uint32_t w = Side(4, n), h = Side(4, n);
            const std::size_t row = NativeLevelSize(format, w, 1), padded = (row + 3) / 4 * 4;
            std::vector<std::uint8_t> bytes;
            for (std::uint32_t y = 0; y < h; ++y) {
                bytes.insert(bytes.end(), s.LevelBytes[n].begin() + y * row, s.LevelBytes[n].begin() + (y + 1) * row);
                bytes.resize(bytes.size() + padded - row, 0xFF); // junk in the padding
            }
            s.LevelBytes[n] = bytes;
        }
        const Dictionary d = Open(BuildNativeDictionary({s}));
        for (std::uint32_t n = 0; n < 3; ++n) {
            const DecodedTexture got = d.Decode(0, {true, n});
            ASSERT_TRUE(got.Ok()) << format << " level " << n << ": " << DecodeProblem(got.Result);
            EXPECT_EQ(Texels(got), ReferenceTexels(s, n)) << format << " level " << n;
        }
    }
}

// The write-ups' 4-bit layout: 16 entries, two indices a byte.
TEST(PlatformTest, SixteenEntryPackedFourBitIsReadWhereTheRecordBalancesSo) {
    NativeSpec s = RandomNative(8, "PAL4", 8, 4, 1, 23);
    s.Palette.resize(64);
    s.Pal4Sixteen = s.Pal4Packed = true;
    s.LevelBytes[0].resize(16);
    const Dictionary d = Open(BuildNativeDictionary({s}));
    const DecodedTexture got = d.Decode(0);
    ASSERT_TRUE(got.Ok()) << DecodeProblem(got.Result);
    EXPECT_EQ(got.State.PaletteEntries(), 16u);
    EXPECT_EQ(Texels(got), ReferenceTexels(s, 0));
}

// Xbox keeps one byte count for all levels, and raw texels in Morton order:
// the filter undoes it, without the filter they show as stored.
TEST(PlatformTest, XboxLevelsShareOneCountAndRawTexelsAreUnswizzled) {
    for (const auto& [w, h] : {std::pair{16u, 16u}, {16u, 4u}}) {
        const NativeSpec s = RandomNative(5, "8888", w, h, 3, 31);
        const Dictionary d = Open(BuildNativeDictionary({s}, 0x00000350));
        for (std::uint32_t n = 0; n < 3; ++n) {
            EXPECT_EQ(Texels(d.Decode(0, {true, n})), ReferenceTexels(s, n, true)) << w << "x" << h << " level " << n;
            EXPECT_EQ(Texels(d.Decode(0, {false, n})), ReferenceTexels(s, n, false)) << w << "x" << h << " level " << n;
        }
    }
    const NativeSpec dxt = RandomNative(5, "DXT5", 16, 16, 2, 32);
    const Dictionary d = Open(BuildNativeDictionary({dxt}, 0x00000350));
    EXPECT_EQ(Texels(d.Decode(0, {true, 1})), SquishTexels(dxt, 1)); // blocks in plain row order
}

// Another platform's record is listed and refused by name; the walk goes on.
TEST(PlatformTest, AnUnknownPlatformIsRefusedByNameAndTheWalkGoesOn) {
    NativeSpec odd = RandomNative(8, "DXT1", 8, 8, 1, 41);
    odd.Name = "x";
    odd.Mask = "";
    odd.PlatformIdOverride = 13;
    const NativeSpec next = RandomNative(8, "DXT1", 8, 8, 1, 42);
    const Dictionary d = Open(BuildNativeDictionary({RandomNative(8, "DXT1", 4, 4, 1, 40), RandomNative(8, "DXT1", 4, 4, 1, 43), odd, next}));
    ASSERT_TRUE(d.Complete());
    ASSERT_EQ(d.Entries().size(), 4u);
    EXPECT_EQ(d.Entries()[2].Caption, "3. x  |  platform 13 is not supported");
    const DecodedTexture r = d.Decode(2);
    EXPECT_EQ(r.Result.Status, DecodeStatus::UnsupportedPlatform);
    EXPECT_EQ(TextureLabel(2, d.Entries()[2].Name) + ": " + DecodeProblem(r.Result),
              "texture 3 (x): platform 13 is not supported");
    EXPECT_EQ(Texels(d.Decode(3)), SquishTexels(next, 0));
}

// Hostile records fail cleanly, before anything is allocated for them.
TEST(PlatformTest, HostileRecordsAreRefusedNotTrusted) {
    // A mangled size: 34176 x 0.
    NativeSpec flat = RandomNative(9, "DXT1", 8, 8, 1, 51);
    flat.Width = 34176;
    flat.Height = 0;
    // Sides far larger than the data: refused for the missing bytes, not allocated.
    NativeSpec huge = RandomNative(9, "8888", 4, 4, 1, 52);
    huge.Width = huge.Height = 16000;
    // A format code no platform has.
    NativeSpec unknown = RandomNative(8, "DXT1", 8, 8, 1, 53);
    const auto bytes = BuildNativeDictionary({flat, huge, unknown});
    std::vector<std::uint8_t> b = bytes;
    // The third record's compression byte: after its chunk headers and 0x57 bytes of head.
    const std::size_t third = 28 + BuildNativeRecord(flat).size() + BuildNativeRecord(huge).size();
    b[third + 24 + 0x57] = 7;
    const Dictionary d = Open(b);
    ASSERT_TRUE(d.Complete());
    EXPECT_EQ(d.Decode(0).Result.Status, DecodeStatus::NoPixels);
    EXPECT_EQ(DecodeProblem(d.Decode(0).Result), "The texture has no pixels (34176 x 0)");
    EXPECT_EQ(d.Decode(1).Result.Status, DecodeStatus::DataMissing);
    EXPECT_EQ(d.Decode(2).Result.Status, DecodeStatus::UnsupportedFormat);
    EXPECT_EQ(DecodeProblem(d.Decode(2).Result), "Direct3D 8 texture format 0x7 is not supported");
    EXPECT_EQ(d.Entries()[2].Caption.substr(d.Entries()[2].Caption.size() - 16), "(unknown format)");

    // A level count that runs past the struct: the record is listed as damaged.
    std::vector<std::uint8_t> c = BuildNativeDictionary({RandomNative(9, "DXT1", 8, 8, 1, 54)});
    c[28 + 24 + kNativeHeadBytes] = 0xFF; // level 0's byte count
    const Dictionary damaged = Open(c);
    ASSERT_EQ(damaged.Entries().size(), 1u);
    EXPECT_NE(damaged.Entries()[0].Caption.find("(damaged record)"), std::string::npos);
    EXPECT_FALSE(damaged.Decode(0).Ok());

    // A file cut inside a record: the walk stops and says so, as for the console.
    std::vector<std::uint8_t> cut = BuildNativeDictionary({RandomNative(9, "DXT1", 8, 8, 1, 55), RandomNative(9, "DXT1", 64, 64, 1, 56)});
    cut.resize(cut.size() - 100);
    const Dictionary shortFile = Open(cut);
    EXPECT_FALSE(shortFile.Complete());
    EXPECT_EQ(shortFile.Walk().Report.TextureNumber, 2u);
}

TEST(PlatformTest, PropertiesShowThePlatformFormatFlagsFilterAndAddressing) {
    NativeSpec s = RandomNative(9, "DXT5", 16, 16, 2, 61);
    s.AlphaFlag = true;
    s.Filter = 6;
    s.Addressing = 0x31;
    const auto bytes = BuildNativeDictionary({s});
    const Dictionary d = Open(bytes);
    const DecodedTexture t = d.Decode(0);
    const PropertyList rows = DescribeTexture(d.Source(), d.Entries()[0], &t.State);
    const auto value = [&](const std::string& label) {
        for (const auto& [l, v] : rows)
            if (l == label)
                return v;
        return std::string("(missing)");
    };
    EXPECT_EQ(value("Platform"), "Direct3D 9");
    EXPECT_EQ(value("Format"), "DXT5, compressed");
    EXPECT_EQ(value("Levels"), "2: 16 x 16, 8 x 8");
    EXPECT_EQ(value("D3DFORMAT"), "0x35545844");
    EXPECT_EQ(value("Flags"), "0x09 (alpha, compressed)");
    EXPECT_EQ(value("Filter"), "6 (linear-mip-linear)");
    EXPECT_EQ(value("Addressing"), "U wrap, V clamp");
    EXPECT_NE(value("Alpha").find("(255 is opaque)"), std::string::npos);

    const Dictionary d8 = Open(BuildNativeDictionary({RandomNative(8, "DXT2", 8, 8, 1, 62)}));
    const PropertyList rows8 = DescribeTexture(d8.Source(), d8.Entries()[0], nullptr);
    EXPECT_EQ(rows8[4], (std::pair<std::string, std::string>{"Format",
                                                             "DXT2, compressed; colours premultiplied by alpha, shown as stored"}));
}

// Until they can be written, changes to these textures are refused by name;
// removing a whole record needs no writer and is done.
TEST(PlatformTest, ConsoleLevelEditsWorkOnOtherPlatformsAndUnknownOnesAreRefused) {
    NativeSpec odd = RandomNative(9, "8888", 8, 8, 1, 73);
    odd.PlatformIdOverride = 13;
    odd.Name = "port";
    const auto bytes = BuildNativeDictionary({RandomNative(9, "DXT1", 8, 8, 1, 71), RandomNative(9, "8888", 8, 8, 1, 72), odd});
    DictionaryEdit edit(bytes, true);
    DecodeState picture = edit.Current().Decode(1).State;
    std::reverse(picture.Texels.begin(), picture.Texels.end());
    edit.Replace(1, {picture});
    edit.Rename(1, "new", "");
    const auto refusal = [&](auto&& change) {
        try {
            change();
        } catch (const KelmoraError& e) {
            return ErrorText(e);
        }
        return std::string("(nothing refused)");
    };
    EXPECT_EQ(refusal([&] { edit.Rename(2, "other", ""); }),
              "texture 3 (port): editing unknown textures is not supported yet");
    edit.Remove(0);
    edit.Verify();
    const Dictionary after = Open(edit.Bytes());
    ASSERT_EQ(after.Entries().size(), 2u);
    EXPECT_EQ(after.Entries()[0].Name, "new");
    EXPECT_EQ(after.Entries()[0].Format, "8888");
    EXPECT_EQ(Texels(after.Decode(0)), picture.Texels);
}

// Find in All Dictionaries over a folder: PC dictionaries loose and in a game
// archive of either version are searched as the console's are.
TEST(PlatformTest, TheSearchFindsPcTexturesInFoldersAndArchives) {
    const std::string dir = MakeTempDir("pcsearch");
    NativeSpec wheel = RandomNative(9, "DXT1", 8, 8, 1, 81);
    wheel.Name = "admiral_wheel";
    const auto pc = BuildNativeDictionary({RandomNative(9, "8888", 4, 4, 1, 80), wheel});
    WriteFile(dir + "/loose.txd", pc);
    WriteFile(dir + "/game.img", BuildArchiveV2({{"cars.txd", pc}}));
    const ArchiveV1 old = BuildArchiveV1({{"xbox.txd", BuildNativeDictionary({RandomNative(5, "DXT1", 8, 8, 1, 82), wheel}, 0x350)}});
    WriteFile(dir + "/old.img", old.Img);
    WriteFile(dir + "/old.dir", old.Dir);
    std::vector<std::string> found;
    SearchTextures(
        dir, "WHEEL",
        [&](TextureMatch&& m) {
            found.push_back(std::filesystem::path(m.File).filename().string() + "|" + m.Entry + "|" +
                            std::to_string(m.Index) + "|" + m.Texture.Format);
        },
        [&](const std::exception& e) { ADD_FAILURE() << e.what(); }, [] { return false; });
    EXPECT_EQ(found, (std::vector<std::string>{"game.img|cars.txd|1|DXT1", "loose.txd||1|DXT1", "old.img|xbox.txd|1|DXT1"}));
    std::filesystem::remove_all(dir);
}

} // namespace
