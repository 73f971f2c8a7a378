// Converting dictionaries between the console and the PC and Xbox platforms:
// palettised console textures through Direct3D 8 and back byte for byte, every
// class of texture each way read back by references that are not the decoder,
// the console's sides, and the notes of what was lost.
#include <gtest/gtest.h>

#include <squish.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dictionary/colour_rules.h"
#include "dictionary/dictionary.h"
#include "dictionary/native_format.h"
#include "editing/convert.h"
#include "editing/dictionary_edit.h"
#include "editing/put_back.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/native_builder.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

Dictionary Open(const std::vector<std::uint8_t>& bytes) { return Dictionary(std::make_shared<BufferSource>(bytes)); }

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// An empty console dictionary: a 3.6 stamp's struct carries the device (6).
std::vector<std::uint8_t> EmptyConsole(std::uint32_t stamp) {
    std::vector<std::uint8_t> b;
    Put32(b, 0x16), Put32(b, 28), Put32(b, stamp);
    Put32(b, 0x01), Put32(b, 4), Put32(b, stamp);
    Put32(b, stamp == 0x1803FFFF ? 6u << 16 : 0);
    Put32(b, 0x03), Put32(b, 0), Put32(b, stamp);
    return b;
}

// A palettised picture as an export of a console texture gives it: its alpha
// brightened from 0..128.
InputImage Palettised(std::uint32_t w, std::uint32_t h, std::uint32_t entries, std::uint32_t seed) {
    std::mt19937 r(seed);
    InputImage img;
    img.Width = w;
    img.Height = h;
    img.Indexed = img.HasAlpha = true;
    for (std::uint32_t i = 0; i < entries; ++i)
        img.Palette.push_back({static_cast<std::uint8_t>(r()), static_cast<std::uint8_t>(r()),
                               static_cast<std::uint8_t>(r()), BrightenAlpha(static_cast<std::uint8_t>(r() % 129))});
    for (std::uint32_t i = 0; i < w * h; ++i)
        img.Indices.push_back(static_cast<std::uint8_t>(r() % entries));
    return img;
}

InputImage TrueColour(std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
    std::mt19937 r(seed);
    InputImage img;
    img.Width = w;
    img.Height = h;
    img.HasAlpha = true;
    for (std::uint32_t i = 0; i < w * h; ++i)
        img.Rgba.push_back({static_cast<std::uint8_t>(r()), static_cast<std::uint8_t>(r()),
                            static_cast<std::uint8_t>(r()), BrightenAlpha(static_cast<std::uint8_t>(r() % 129))});
    return img;
}

// Console dictionaries of every palettised class, laid out as real files are.
std::vector<std::vector<std::uint8_t>> PalettisedConsoleDictionaries() {
    std::vector<std::vector<std::uint8_t>> out;
    for (std::uint32_t stamp : {0x1803FFFFu, 0x0C02FFFFu}) {
        DictionaryEdit edit(EmptyConsole(stamp), true);
        std::uint32_t seed = 1;
        for (std::uint32_t depth : {4u, 8u})
            for (auto [w, h, levels] : {std::tuple{8u, 8u, 1u}, {64u, 16u, 1u}, {16u, 64u, 3u}, {128u, 128u, 4u}}) {
                PutBackOptions o;
                o.Depth = depth;
                const std::string name = "t" + std::to_string(depth) + "_" + std::to_string(w) + "x" + std::to_string(h);
                AddImage(edit, Palettised(w, h, depth == 4 ? 16 : 256, seed++), "p.png", name,
                         seed % 2 ? name + "a" : "", std::min(levels, MostLevels(depth, w, h)), o);
            }
        out.push_back(edit.Bytes());
    }
    return out;
}

std::vector<PaletteEntry> Texels(const DecodeState& s) {
    std::vector<PaletteEntry> out;
    for (std::uint32_t y = 0; y < s.TexHeight; ++y)
        for (std::uint32_t x = 0; x < s.TexWidth; ++x)
            out.push_back(s.Colour(x, y));
    return out;
}

ConvertResult Convert(const std::vector<std::uint8_t>& bytes, TexturePlatform to, ConvertOptions o = {}) {
    o.To = to;
    return ConvertDictionary(Open(bytes), o);
}

} // namespace

// Palettised console textures become Direct3D 8 PAL8 and PAL4 without loss,
// and come back the same bytes; on the way nothing is noted.
TEST(Convert, PalettisedConsoleTexturesGoThroughDirect3D8AndBackUnchanged) {
    for (const std::vector<std::uint8_t>& ps2 : PalettisedConsoleDictionaries()) {
        const ConvertResult pc = Convert(ps2, TexturePlatform::Direct3D8);
        ASSERT_TRUE(pc.Refused.empty());
        EXPECT_TRUE(pc.Notes.empty());
        const Dictionary d8 = Open(pc.Bytes);
        const Dictionary d2 = Open(ps2);
        ASSERT_EQ(d8.Entries().size(), d2.Entries().size());
        for (std::size_t i = 0; i < d8.Entries().size(); ++i) {
            EXPECT_EQ(d8.Entries()[i].Platform, TexturePlatform::Direct3D8);
            EXPECT_EQ(d8.Entries()[i].Format, d2.Entries()[i].Depth == 4 ? "4bit" : "8bit");
            EXPECT_EQ(d8.Entries()[i].Mask, d2.Entries()[i].Mask);
            // The console's alpha, widened to 0..255 by the rule the way back undoes.
            const DecodedTexture a = d2.Decode(i), b = d8.Decode(i);
            ASSERT_TRUE(a.Ok() && b.Ok());
            std::vector<PaletteEntry> widened = Texels(a.State);
            for (PaletteEntry& e : widened)
                e.A = BrightenAlpha(e.A);
            EXPECT_EQ(Texels(b.State), widened);
            EXPECT_EQ(b.Result.LevelCount, a.Result.LevelCount);
        }
        const ConvertResult back = Convert(pc.Bytes, TexturePlatform::Ps2);
        ASSERT_TRUE(back.Refused.empty());
        EXPECT_TRUE(back.Notes.empty());
        EXPECT_EQ(back.Bytes, ps2);
    }
}

// Console textures of every class on each platform: raw texels exactly (Xbox's
// in Morton order, read by the builder's reference), DXT near them.
TEST(Convert, ConsoleTexturesOnEveryPlatform) {
    DictionaryEdit edit(EmptyConsole(0x1803FFFF), true);
    PutBackOptions o8, o4, o16, o32;
    o8.Depth = 8, o4.Depth = 4, o16.Depth = 16, o32.Depth = 32;
    AddImage(edit, Palettised(32, 16, 256, 3), "a.png", "pal8", "", MostLevels(8, 32, 16), o8);
    AddImage(edit, Palettised(16, 16, 16, 4), "a.png", "pal4", "", 1, o4);
    AddImage(edit, TrueColour(16, 8, 5), "a.png", "tc16", "", 1, o16);
    AddImage(edit, TrueColour(8, 16, 6), "a.png", "tc32", "", 1, o32);
    const std::vector<std::uint8_t> ps2 = edit.Bytes();
    const Dictionary source = Open(ps2);
    for (TexturePlatform to : {TexturePlatform::Direct3D8, TexturePlatform::Direct3D9, TexturePlatform::Xbox})
        for (bool compress : {false, true}) {
            SCOPED_TRACE(std::string(PlatformName(to)) + (compress ? " dxt" : ""));
            ConvertOptions o;
            o.Compress = compress;
            const ConvertResult r = Convert(ps2, to, o);
            ASSERT_TRUE(r.Refused.empty());
            const Dictionary d = Open(r.Bytes);
            ASSERT_EQ(d.Entries().size(), 4u);
            for (std::size_t i = 0; i < 4; ++i) {
                const DecodedTexture a = source.Decode(i), b = d.Decode(i);
                ASSERT_TRUE(b.Ok()) << i;
                std::vector<PaletteEntry> widened = Texels(a.State);
                for (PaletteEntry& e : widened)
                    e.A = BrightenAlpha(e.A);
                ByteReader reader(d.Source());
                NativeTexture t;
                ASSERT_TRUE(ReadNativeTexture(reader, d.Entries()[i].RecordStart, t));
                const std::string format = d.Entries()[i].Format;
                if (compress) {
                    EXPECT_TRUE(format == "DXT1" || format == "DXT5") << format;
                    // Random texels are the hardest case for blocks; still well above noise.
                    double sum = 0;
                    const auto got = Texels(b.State);
                    for (std::size_t k = 0; k < got.size(); ++k)
                        sum += std::abs(got[k].G - widened[k].G);
                    EXPECT_LT(sum / static_cast<double>(got.size()), 80.0);
                    continue;
                }
                if (to == TexturePlatform::Direct3D8 && i < 2) {
                    EXPECT_EQ(format, i == 0 ? "8bit" : "4bit");
                } else {
                    EXPECT_EQ(format, i == 2 ? "1555" : "8888");
                }
                // The builder's reference reads the written bytes (Xbox's Morton order undone).
                NativeSpec tex;
                tex.Platform = to == TexturePlatform::Xbox ? 5 : to == TexturePlatform::Direct3D8 ? 8 : 9;
                tex.Format = format == "8bit" ? "PAL8" : format == "4bit" ? "PAL4" : format;
                tex.Width = a.State.TexWidth;
                tex.Height = a.State.TexHeight;
                tex.LevelBytes = t.Levels;
                tex.Palette = t.Palette;
                if (i == 2) { // 16-bit: the console's 5 bits widened as Direct3D widens them
                    for (PaletteEntry& e : widened)
                        e = {static_cast<std::uint8_t>(e.R | e.R >> 5), static_cast<std::uint8_t>(e.G | e.G >> 5),
                             static_cast<std::uint8_t>(e.B | e.B >> 5), e.A};
                }
                EXPECT_EQ(ReferenceTexels(tex, 0), widened) << i;
            }
        }
}

// PC and Xbox textures of every class to the console: 8 bits by default (4 for
// a 16-colour palette), as asked otherwise; the result reads back, and level
// 0's indices lie where the console's addressing formula puts them.
TEST(Convert, PcAndXboxTexturesToTheConsole) {
    std::vector<NativeSpec> specs;
    std::uint32_t seed = 1;
    for (std::uint32_t p : {8u, 9u, 5u})
        for (const std::string f : {"DXT1", "DXT3", "DXT5", "8888", "888", "565", "1555", "4444", "L8", "PAL8"})
            specs.push_back(RandomNative(p, f, 32, 16, 3, seed++));
    NativeSpec pal4 = RandomNative(8, "PAL4", 16, 16, 1, seed++);
    for (auto& b : pal4.LevelBytes[0])
        b %= 16;
    specs.push_back(pal4);
    for (std::size_t i = 0; i < specs.size(); ++i)
        specs[i].Name += "_" + std::to_string(i);
    const auto bytes = BuildNativeDictionary(specs);
    const Dictionary source = Open(bytes);
    for (std::uint32_t depth : {0u, 4u, 32u}) {
        SCOPED_TRACE(depth);
        ConvertOptions o;
        o.Depth = depth;
        const ConvertResult r = Convert(bytes, TexturePlatform::Ps2, o);
        ASSERT_TRUE(r.Refused.empty());
        const Dictionary d = Open(r.Bytes);
        ASSERT_TRUE(d.Complete());
        ASSERT_EQ(d.Entries().size(), specs.size());
        for (std::size_t i = 0; i < specs.size(); ++i) {
            const TTexEntry& e = d.Entries()[i];
            EXPECT_EQ(e.Platform, TexturePlatform::Ps2);
            EXPECT_EQ(e.Name, specs[i].Name);
            const std::uint32_t want = depth ? depth : (i + 1 == specs.size() ? 4 : 8);
            EXPECT_EQ(e.Depth, want) << e.Name;
            const DecodedTexture t = d.Decode(i);
            ASSERT_TRUE(t.Ok()) << e.Name;
            EXPECT_EQ(t.Result.LevelCount,
                      std::min(specs[i].Levels, MostLevels(want, specs[i].Width, specs[i].Height)))
                << e.Name;
            if (want == 32)
                continue;
            // The raster's level 0 transfer holds each index where the formula says.
            const std::uint32_t rrw = TransferWidth(want, 32);
            const std::uint8_t* data = r.Bytes.data() + t.Result.ImageOffset;
            for (std::uint32_t y = 0; y < t.State.TexHeight; ++y)
                for (std::uint32_t x = 0; x < t.State.TexWidth; ++x) {
                    const std::size_t at = TexelPosition(want, x, y, rrw);
                    const std::uint8_t v = want == 8 ? data[at] : (data[at / 2] >> (at % 2 ? 4 : 0)) & 15;
                    ASSERT_EQ(v, t.State.Pixel(x, y)) << e.Name << " at " << x << ", " << y;
                }
        }
        // A palette within 0..128 after narrowing comes through exactly.
        const DecodedTexture pal = source.Decode(specs.size() - 1);
        const DecodedTexture got = d.Decode(specs.size() - 1);
        if (depth == 0) {
            EXPECT_EQ(got.State.Pixels, pal.State.Pixels);
            for (std::size_t k = 0; k < 16; ++k)
                EXPECT_EQ(got.State.Palette[k].A, (pal.State.Palette[k].A + 1) / 2);
        }
    }
}

// Sides the console cannot hold are refused, per texture, unless resized; the
// notes say what each texture lost.
TEST(Convert, TheConsolesSidesAndWhatIsLostAreSaid) {
    NativeSpec odd = RandomNative(9, "8888", 24, 20, 1, 1);
    odd.Name = "odd";
    NativeSpec deep = RandomNative(9, "DXT1", 64, 64, 7, 2);
    deep.Name = "deep";
    const auto bytes = BuildNativeDictionary({odd, deep});
    const ConvertResult refused = Convert(bytes, TexturePlatform::Ps2);
    ASSERT_EQ(refused.Refused.size(), 1u);
    EXPECT_EQ(refused.Refused[0].Texture, 0u);
    EXPECT_EQ(refused.Refused[0].Error.Code(), ErrorCode::SidesNotForConsole);
    EXPECT_TRUE(refused.Bytes.empty());

    ConvertOptions o;
    o.Resize = true;
    const ConvertResult r = Convert(bytes, TexturePlatform::Ps2, o);
    ASSERT_TRUE(r.Refused.empty());
    const Dictionary d = Open(r.Bytes);
    EXPECT_EQ(d.Entries()[0].Width, 32u);
    EXPECT_EQ(d.Entries()[0].Height, 16u);
    ASSERT_EQ(r.Notes.size(), 2u);
    EXPECT_EQ(r.Notes[0].Width, 32u);
    EXPECT_EQ(r.Notes[0].WidthBefore, 24u);
    EXPECT_TRUE(r.Notes[0].LostColours);
    EXPECT_EQ(r.Notes[1].LevelsBefore, 7u);
    EXPECT_LT(r.Notes[1].Levels, 7u);
    EXPECT_EQ(r.Notes[1].Levels, d.Decode(1).Result.LevelCount);

    // Console alpha above 128 has no place in 0..255 that comes back: said.
    DictionaryEdit edit(EmptyConsole(0x1803FFFF), true);
    PutBackOptions raw;
    raw.Depth = 32;
    raw.Import.Brighten = false; // 0..255 stored as it is: above 128 here
    AddImage(edit, TrueColour(8, 8, 9), "a.png", "bright", "", 1, raw);
    const ConvertResult pc = Convert(edit.Bytes(), TexturePlatform::Direct3D9);
    ASSERT_EQ(pc.Notes.size(), 1u);
    EXPECT_TRUE(pc.Notes[0].LostAlpha);
    EXPECT_FALSE(pc.Notes[0].LostColours);
}

// Between the PC and Xbox platforms DXT blocks move as they are, raw texels are
// written again exactly, and what a platform does not hold becomes 8888.
TEST(Convert, BetweenPcAndXboxBlocksMoveAsTheyAre) {
    std::vector<NativeSpec> specs = {RandomNative(8, "DXT5", 32, 32, 3, 1), RandomNative(8, "PAL8", 16, 16, 2, 2),
                                     RandomNative(9, "A8L8", 8, 8, 1, 3)};
    specs[1].Name += "p";
    specs[2].Platform = 9;
    const auto d8 = BuildNativeDictionary({specs[0], specs[1]});
    const ConvertResult x = Convert(d8, TexturePlatform::Xbox);
    ASSERT_TRUE(x.Refused.empty());
    const Dictionary dx = Open(x.Bytes);
    ByteReader reader(dx.Source());
    NativeTexture t;
    ASSERT_TRUE(ReadNativeTexture(reader, dx.Entries()[0].RecordStart, t));
    EXPECT_EQ(t.Levels, specs[0].LevelBytes);
    EXPECT_EQ(t.Compression, 0x0F);
    EXPECT_EQ(dx.Entries()[1].Format, "8888");
    EXPECT_EQ(Texels(dx.Decode(1).State), Texels(Open(d8).Decode(1).State));
    const ConvertResult back = Convert(x.Bytes, TexturePlatform::Direct3D8);
    EXPECT_EQ(Texels(Open(back.Bytes).Decode(0).State), Texels(Open(d8).Decode(0).State));
    const ConvertResult l = Convert(BuildNativeDictionary({specs[2]}), TexturePlatform::Direct3D8);
    EXPECT_EQ(Open(l.Bytes).Entries()[0].Format, "8888");
    EXPECT_EQ(Texels(Open(l.Bytes).Decode(0).State), Texels(Open(BuildNativeDictionary({specs[2]})).Decode(0).State));
}
