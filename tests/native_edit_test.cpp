// Putting pictures back into Direct3D 8, Direct3D 9 and Xbox textures: records
// written back byte for byte, the round trip of an unedited export, changed
// pictures checked against libsquish's decoder and the builder's reference, the
// flags against the pixels, and the levels, names and new textures as real
// files hold them.
#include <gtest/gtest.h>

#include <squish.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "dictionary/dictionary.h"
#include "dictionary/native_format.h"
#include "editing/dictionary_edit.h"
#include "editing/native_put.h"
#include "editing/put_back.h"
#include "export/image_writers.h"
#include "images/image_input.h"
#include "tests/support/native_builder.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

Dictionary Open(const std::vector<std::uint8_t>& bytes) { return Dictionary(std::make_shared<BufferSource>(bytes)); }

std::vector<PaletteEntry> Texels(const DecodeState& s) {
    std::vector<PaletteEntry> out;
    for (std::uint32_t y = 0; y < s.TexHeight; ++y)
        for (std::uint32_t x = 0; x < s.TexWidth; ++x)
            out.push_back(s.Colour(x, y));
    return out;
}

NativeTexture Read(const Dictionary& d, std::size_t i) {
    ByteReader r(d.Source());
    NativeTexture t;
    EXPECT_TRUE(ReadNativeTexture(r, d.Entries()[i].RecordStart, t));
    return t;
}

NativeRecord Parse(const Dictionary& d, std::size_t i) {
    ByteReader r(d.Source());
    NativeRecord n;
    EXPECT_TRUE(ParseNativeRecord(r, d.Entries()[i].RecordStart, n));
    return n;
}

// Every format each platform's reader takes, and the quirks of real files.
std::vector<NativeSpec> Corpus() {
    std::vector<NativeSpec> all;
    const char* const formats[] = {"DXT1", "DXT3", "DXT5", "8888", "888",  "565",  "1555",
                                   "555",  "4444", "L8",   "A8L8", "PAL8", "PAL4"};
    std::uint32_t seed = 1;
    for (std::uint32_t p : {8u, 9u, 5u})
        for (const std::string f : formats) {
            if (f == "A8L8" && p != 9)
                continue;
            all.push_back(RandomNative(p, f, 32, 16, 3, seed++));
            all.push_back(RandomNative(p, f, 8, 8, 4, seed++)); // a chain to 1 x 1
        }
    for (std::uint32_t p : {8u, 9u})
        for (const std::string f : {"DXT2", "DXT4"})
            all.push_back(RandomNative(p, f, 16, 16, 2, seed++));
    NativeSpec npot = RandomNative(9, "DXT1", 24, 20, 3, seed++); // D3D9 keeps other sides too
    all.push_back(npot);
    NativeSpec junk = RandomNative(8, "PAL8", 8, 8, 1, seed++);
    junk.PaletteJunkAlpha = true;
    all.push_back(junk);
    NativeSpec zero = RandomNative(9, "DXT1", 8, 8, 1, seed++);
    zero.CountZero = true;
    all.push_back(zero);
    NativeSpec autoMip = RandomNative(9, "888", 8, 8, 1, seed++);
    autoMip.AutoMipmap = true;
    all.push_back(autoMip);
    NativeSpec emptySmall = RandomNative(9, "DXT5", 8, 8, 4, seed++);
    emptySmall.EmptySmallDxt = true;
    all.push_back(emptySmall);
    NativeSpec stale = RandomNative(9, "DXT3", 8, 8, 1, seed++);
    stale.StaleMask.fill(0xAB);
    stale.Mask = "";
    all.push_back(stale);
    NativeSpec oversize = RandomNative(9, "DXT1", 24, 16, 3, seed++);
    oversize.LevelBytes[2].resize(oversize.LevelBytes[2].size() + 24, 0xEE);
    all.push_back(oversize);
    for (const std::string f : {"PAL8", "L8", "565"}) {
        NativeSpec padded = RandomNative(8, f, 4, 4, 3, seed++);
        padded.PadSmallRows = true;
        for (std::uint32_t n = 0; n < 3; ++n)
            padded.LevelBytes[n].resize(NativeLevelSize(f, std::max(1u, 4u >> n), std::max(1u, 4u >> n), true));
        all.push_back(padded);
    }
    NativeSpec bare = RandomNative(9, "8888", 4, 4, 1, seed++);
    bare.NoExtension = true;
    all.push_back(bare);
    NativeSpec extra = RandomNative(9, "8888", 4, 4, 1, seed++);
    extra.ExtraChunk = true;
    all.push_back(extra);
    NativeSpec sixteen = RandomNative(8, "PAL4", 8, 4, 1, seed++);
    sixteen.Palette.resize(64);
    sixteen.Pal4Sixteen = sixteen.Pal4Packed = true;
    sixteen.LevelBytes[0].resize(16);
    all.push_back(sixteen);
    // Unique names: the corpus goes into one dictionary per platform.
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i].Name += "_" + std::to_string(i);
    return all;
}

std::vector<std::vector<std::uint8_t>> CorpusDictionaries() {
    std::vector<std::vector<std::uint8_t>> out;
    for (std::uint32_t p : {8u, 9u, 5u}) {
        std::vector<NativeSpec> specs;
        for (const NativeSpec& s : Corpus())
            if (s.Platform == p)
                specs.push_back(s);
        out.push_back(BuildNativeDictionary(specs, p == 5 ? 0x00000350 : 0x1803FFFF));
    }
    return out;
}

double Psnr(const std::vector<PaletteEntry>& a, const std::vector<PaletteEntry>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int d[4] = {a[i].R - b[i].R, a[i].G - b[i].G, a[i].B - b[i].B, a[i].A - b[i].A};
        for (int v : d)
            sum += v * v;
    }
    const double mse = sum / (4.0 * static_cast<double>(a.size()));
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// A smooth picture, as painted textures are: gradients in colour and, on request, alpha.
InputImage Gradient(std::uint32_t w, std::uint32_t h, bool alpha, std::uint32_t seed = 0) {
    InputImage img;
    img.Width = w;
    img.Height = h;
    img.HasAlpha = alpha;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            img.Rgba.push_back({static_cast<std::uint8_t>((x * 255 / std::max(1u, w - 1) + seed) & 255),
                                static_cast<std::uint8_t>(y * 255 / std::max(1u, h - 1)),
                                static_cast<std::uint8_t>(128 + (x + y) % 64),
                                static_cast<std::uint8_t>(alpha ? 40 + (x * 200) / std::max(1u, w) : 255)});
    return img;
}

// libsquish's own reading of a level's blocks: a decoder that is not ours.
std::vector<PaletteEntry> SquishDecode(const std::string& format, const std::vector<std::uint8_t>& blocks,
                                       std::uint32_t w, std::uint32_t h) {
    const int flags = format == "DXT1" ? squish::kDxt1 : format == "DXT3" ? squish::kDxt3 : squish::kDxt5;
    std::vector<std::uint8_t> rgba(4 * std::size_t{w} * h);
    squish::DecompressImage(rgba.data(), static_cast<int>(w), static_cast<int>(h), blocks.data(), flags);
    std::vector<PaletteEntry> out(std::size_t{w} * h);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = {rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
    return out;
}

std::vector<PaletteEntry> Pixels(const InputImage& img) {
    std::vector<PaletteEntry> out;
    for (std::size_t i = 0; i < std::size_t{img.Width} * img.Height; ++i)
        out.push_back(img.Pixel(i));
    return out;
}

} // namespace

// Reading a record into its parts and writing them gives the record back, for
// every format and every quirk.
TEST(NativeEdit, RecordsWriteBackByteForByte) {
    for (const std::vector<std::uint8_t>& bytes : CorpusDictionaries()) {
        const Dictionary d = Open(bytes);
        ASSERT_TRUE(d.Complete());
        for (std::size_t i = 0; i < d.Entries().size(); ++i) {
            const TTexEntry& e = d.Entries()[i];
            const std::vector<std::uint8_t> record(bytes.begin() + static_cast<std::ptrdiff_t>(e.RecordStart),
                                                   bytes.begin() + static_cast<std::ptrdiff_t>(e.RecordEnd));
            EXPECT_EQ(WriteNativeRecord(Read(d, i)), record) << e.Name;
        }
    }
}

// The round trip: every texture exported as PNG (the window's and the CLI's
// writer) and put back unedited leaves the dictionary byte-identical.
TEST(NativeEdit, UneditedExportsPutBackChangeNothing) {
    for (const std::vector<std::uint8_t>& bytes : CorpusDictionaries()) {
        DictionaryEdit edit(bytes, true);
        for (std::size_t i = 0; i < edit.Current().Entries().size(); ++i) {
            const DecodedTexture t = edit.Current().Decode(i);
            ASSERT_TRUE(t.Ok()) << edit.Current().Entries()[i].Name;
            const InputImage image = ReadImage(PngFileBytes(t.State, true), "t.png");
            const PutOutcome r = PutImage(edit, i, image, "t.png", {});
            EXPECT_FALSE(r.Changed) << edit.Current().Entries()[i].Name;
        }
        EXPECT_FALSE(edit.Changed());
        EXPECT_EQ(edit.Bytes(), bytes);
    }
}

// A changed DXT picture is encoded again: libsquish's decoder reads it within
// the encoder's error at every level, the level count and sizes stay, and the
// flags say what the pixels hold.
TEST(NativeEdit, ChangedDxtPicturesReadBackNearTheImage) {
    for (std::uint32_t p : {8u, 9u, 5u})
        for (const std::string format : {"DXT1", "DXT3", "DXT5"}) {
            SCOPED_TRACE(std::to_string(p) + " " + format);
            const NativeSpec tex = RandomNative(p, format, 64, 32, p == 5 ? 1 : 5, 3);
            DictionaryEdit edit(BuildNativeDictionary({tex}), true);
            const bool alpha = format != "DXT1";
            InputImage image = Gradient(64, 32, alpha);
            image.HasAlpha = true; // opaque where it says so, not the texture's alpha kept
            const PutOutcome r = PutImage(edit, 0, image, "g.png", {});
            ASSERT_TRUE(r.Changed);
            EXPECT_FALSE(r.Reshaped());
            edit.Verify();
            const Dictionary after = Open(edit.Bytes());
            const NativeTexture t = Read(after, 0);
            const NativeRecord n = Parse(after, 0);
            ASSERT_EQ(t.Levels.size(), tex.Levels);
            EXPECT_EQ(FormatName(n.Format), format);
            for (std::uint32_t k = 0; k < tex.Levels; ++k) {
                const std::uint32_t w = std::max(1u, 64u >> k), h = std::max(1u, 32u >> k);
                ASSERT_EQ(t.Levels[k].size(), NativeLevelSize(format, w, h)) << "level " << k;
                const DecodedTexture ours = after.Decode(0, {true, k});
                ASSERT_TRUE(ours.Ok());
                EXPECT_EQ(Texels(ours.State), SquishDecode(format, t.Levels[k], w, h)) << "level " << k;
            }
            EXPECT_GT(Psnr(SquishDecode(format, t.Levels[0], 64, 32), Pixels(image)), 30.0);
            // Flags from the pixels.
            EXPECT_EQ((t.RasterFormat & kRasterHasLevels) != 0, tex.Levels > 1);
            if (p == 9) {
                EXPECT_EQ((t.Compression & kD3D9CompressedFlag) != 0, true);
                EXPECT_EQ((t.Compression & kD3D9AlphaFlag) != 0, alpha);
            } else {
                EXPECT_EQ(t.AlphaOrFormat, alpha ? 1u : 0u);
            }
        }
}

// Raw and palettised formats are written exactly: a picture they can hold comes
// back texel for texel, as the builder's reference (not our decoder) reads the
// written bytes; other pictures come back as the format rounds them.
TEST(NativeEdit, RawAndPalettisedFormatsAreWrittenExactly) {
    for (const NativeSpec& tex : Corpus()) {
        if (IsDxtFormat(tex.Format) || tex.Pal4Packed || tex.AutoMipmap || tex.CountZero)
            continue;
        SCOPED_TRACE(tex.Name);
        const auto bytes = BuildNativeDictionary({tex});
        DictionaryEdit edit(bytes, true);
        const DecodedTexture now = edit.Current().Decode(0);
        ASSERT_TRUE(now.Ok());
        // The present picture with its texels moved round by one: every texel changes place.
        InputImage image = ReadImage(PngFileBytes(now.State, true), "t.png");
        if (image.Indexed) {
            std::rotate(image.Indices.begin(), image.Indices.begin() + 1, image.Indices.end());
        } else {
            std::rotate(image.Rgba.begin(), image.Rgba.begin() + 1, image.Rgba.end());
        }
        const PutOutcome r = PutImage(edit, 0, image, "t.png", {});
        if (!r.Changed)
            continue; // a picture of one colour
        EXPECT_EQ(r.After.Format, r.Before.Format);
        edit.Verify();
        const Dictionary after = Open(edit.Bytes());
        const NativeTexture t = Read(after, 0);
        NativeSpec written = tex;
        written.LevelBytes = t.Levels;
        written.Palette = t.Palette;
        EXPECT_EQ(ReferenceTexels(written, 0), Pixels(image));
        // The levels below are the halved picture, on the same terms.
        for (std::uint32_t k = 1; k < t.Levels.size(); ++k)
            EXPECT_EQ(Texels(after.Decode(0, {true, k}).State), ReferenceTexels(written, k)) << "level " << k;
        // Byte counts and pitch as the old record had them.
        const NativeRecord before = Parse(Open(bytes), 0), now2 = Parse(after, 0);
        ASSERT_EQ(before.Levels.size(), now2.Levels.size());
        for (std::size_t k = 0; k < before.Levels.size() && !tex.OversizeLast; ++k)
            EXPECT_EQ(before.Levels[k].Bytes, now2.Levels[k].Bytes) << "level " << k;
    }
}

// A format that cannot hold the picture's alpha gives way, and says so: opaque
// DXT1 becomes DXT5, 888 becomes 8888. A DXT1 that was cut out stays DXT1 for
// a cut-out picture.
TEST(NativeEdit, AlphaTheFormatCannotHoldChangesTheFormat) {
    struct Row {
        std::uint32_t Platform;
        std::string Format;
        bool CutOut;       // the present picture has transparent texels
        bool Partial;      // the new picture has alpha between 0 and 255
        std::string After;
    };
    const Row rows[] = {
        {8, "DXT1", false, true, "DXT5"}, {9, "DXT1", false, false, "DXT5"}, {5, "DXT1", false, true, "DXT5"},
        {9, "DXT1", true, false, "DXT1"}, {9, "DXT1", true, true, "DXT5"},   {9, "888", false, true, "8888"},
        {8, "565", false, true, "8888"},  {9, "DXT3", false, true, "DXT3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.Platform) + " " + row.Format);
        NativeSpec tex = RandomNative(row.Platform, row.Format, 16, 16, 1, 5);
        std::vector<PaletteEntry> picture(256, {90, 120, 200, 255});
        if (row.CutOut)
            picture[0].A = 0;
        if (IsDxtFormat(row.Format)) {
            const int flags = row.Format == "DXT1" ? squish::kDxt1 : row.Format == "DXT3" ? squish::kDxt3 : squish::kDxt5;
            squish::CompressImage(reinterpret_cast<const squish::u8*>(picture.data()), 16, 16,
                                  tex.LevelBytes[0].data(), flags);
        }
        DictionaryEdit edit(BuildNativeDictionary({tex}), true);
        InputImage image = Gradient(16, 16, true);
        for (std::size_t i = 0; i < image.Rgba.size(); ++i)
            image.Rgba[i].A = row.Partial ? image.Rgba[i].A : (i % 3 ? 255 : 0);
        const PutOutcome r = PutImage(edit, 0, image, "a.png", {});
        ASSERT_TRUE(r.Changed);
        EXPECT_EQ(r.After.Format, row.After);
        EXPECT_EQ(r.FormatForAlpha, row.After != row.Format);
        edit.Verify();
        const Dictionary after = Open(edit.Bytes());
        EXPECT_EQ(after.Entries()[0].Format, row.After);
        const NativeTexture t = Read(after, 0);
        if (row.Platform == 9)
            EXPECT_TRUE(t.Compression & kD3D9AlphaFlag);
        else
            EXPECT_EQ(t.AlphaOrFormat, 1u);
    }
}

// A picture of another size: DXT chains that stopped at 4 x 4 stop there at the
// new size, full chains stay full; small rows stay padded, small DXT levels empty.
TEST(NativeEdit, NewSizesKeepHowTheChainWasStored) {
    struct Row {
        NativeSpec Texture;
        std::uint32_t W, H;
        std::size_t Levels;
    };
    NativeSpec stop4 = RandomNative(8, "DXT1", 64, 64, 5, 7); // 64 .. 4
    NativeSpec full = RandomNative(9, "8888", 16, 16, 5, 8);  // 16 .. 1
    NativeSpec one = RandomNative(9, "DXT5", 32, 32, 1, 9);
    NativeSpec empty = RandomNative(9, "DXT5", 8, 8, 4, 10);
    empty.EmptySmallDxt = true;
    NativeSpec padded = RandomNative(8, "PAL8", 4, 4, 3, 11);
    padded.PadSmallRows = true;
    for (std::uint32_t n = 0; n < 3; ++n)
        padded.LevelBytes[n].resize(NativeLevelSize("PAL8", 4u >> n, 4u >> n, true));
    const Row rows[] = {{stop4, 128, 128, 6}, {stop4, 256, 64, 7}, {full, 32, 8, 6},
                        {one, 64, 64, 1},     {empty, 16, 16, 5},  {padded, 8, 8, 4}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Texture.Format + " to " + std::to_string(row.W) + " x " + std::to_string(row.H));
        DictionaryEdit edit(BuildNativeDictionary({row.Texture}), true);
        const PutOutcome r = PutImage(edit, 0, Gradient(row.W, row.H, false), "big.png", {});
        ASSERT_TRUE(r.Changed);
        EXPECT_TRUE(r.Reshaped());
        EXPECT_EQ(r.After.Levels, row.Levels);
        edit.Verify();
        const Dictionary after = Open(edit.Bytes());
        const NativeRecord n = Parse(after, 0);
        ASSERT_EQ(n.Levels.size(), row.Levels);
        EXPECT_EQ(n.LevelCount, row.Levels);
        EXPECT_EQ(n.Width, row.W);
        for (const NativeLevel& lv : n.Levels) {
            if (row.Texture.EmptySmallDxt && (lv.Width < 4 || lv.Height < 4))
                EXPECT_EQ(lv.Bytes, 0u);
            else if (row.Texture.PadSmallRows)
                EXPECT_EQ(lv.Bytes, NativeLevelSize(row.Texture.Format, lv.Width, lv.Height, true));
            else
                EXPECT_EQ(lv.Bytes, NativeLevelSize(row.Texture.Format, lv.Width, lv.Height));
        }
    }
}

// A rename writes the field it changes, zero-filled, and keeps the other's bytes
// as stored, stale bytes after the NUL included; duplicates are refused as on
// the console.
TEST(NativeEdit, RenameKeepsTheFieldItDoesNotChange) {
    NativeSpec a = RandomNative(9, "DXT3", 8, 8, 1, 16);
    a.StaleMask.fill(0xAB);
    a.Mask = "";
    a.Name = "crate";
    NativeSpec b = RandomNative(9, "DXT1", 8, 8, 1, 17);
    b.Name = "barrel";
    const auto bytes = BuildNativeDictionary({a, b});
    DictionaryEdit edit(bytes, true);
    const NativeTexture before = Read(edit.Current(), 0);
    edit.Rename(0, "box", "");
    const NativeTexture after = Read(edit.Current(), 0);
    EXPECT_EQ(after.RawMask, before.RawMask);
    EXPECT_EQ(after.RawName, NameField("box"));
    EXPECT_EQ(after.Levels, before.Levels);
    EXPECT_EQ(edit.Current().Entries()[0].Name, "box");
    EXPECT_THROW(edit.Rename(0, "BARREL", ""), DuplicateNameError);
    edit.Verify();
}

// New textures take the dictionary's platform: DXT1, or DXT5 with alpha, and
// a chain of the levels asked for; a format the platform does not hold, or a
// console depth, is refused.
TEST(NativeEdit, NewTexturesAreOfTheDictionarysPlatform) {
    for (std::uint32_t p : {8u, 9u, 5u}) {
        SCOPED_TRACE(p);
        DictionaryEdit edit(BuildNativeDictionary({RandomNative(p, "DXT1", 8, 8, 1, 1)}), true);
        AddImage(edit, Gradient(32, 32, true), "new.png", "glass", "glass_a", 6, {});
        AddImage(edit, Gradient(16, 8, false), "new.png", "wall", "", 1, {});
        PutBackOptions raw;
        raw.Format = NativeFormat::A8R8G8B8;
        AddImage(edit, Gradient(12, 10, true), "new.png", "odd", "", 2, raw);
        edit.Verify();
        const Dictionary d = Open(edit.Bytes());
        ASSERT_EQ(d.Entries().size(), 4u);
        EXPECT_EQ(d.Entries()[1].Format, "DXT5");
        EXPECT_EQ(d.Entries()[1].Mask, "glass_a");
        EXPECT_EQ(Parse(d, 1).Levels.size(), 6u);
        EXPECT_EQ(Parse(d, 1).Platform, d.Entries()[0].Platform);
        EXPECT_EQ(d.Entries()[2].Format, "DXT1");
        EXPECT_EQ(d.Entries()[3].Format, "8888");
        EXPECT_EQ(Texels(d.Decode(3).State), Pixels(Gradient(12, 10, true)));
        PutBackOptions pal;
        pal.Format = NativeFormat::Pal8;
        if (p != 8)
            EXPECT_THROW(AddImage(edit, Gradient(8, 8, false), "x.png", "p", "", 1, pal), KelmoraError);
        PutBackOptions depth;
        depth.Depth = 8;
        EXPECT_THROW(AddImage(edit, Gradient(8, 8, false), "x.png", "q", "", 1, depth), KelmoraError);
        EXPECT_THROW(AddImage(edit, Gradient(8, 8, false), "x.png", "r", "", 5, {}), KelmoraError); // 8 x 8 has 4
    }
}
