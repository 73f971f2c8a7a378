#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <filesystem>
#include <jpeglib.h>
#include <jerror.h>

#include "dictionary/colour_rules.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "export/image_writers.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

class WriterTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("writers"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string dir_;
};

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Red letter F on blue, a grey corner with half alpha: every flip, pad or swap shows.
DecodeState RedOnBlue(std::uint32_t w, std::uint32_t h) {
    DecodeState s;
    s.TexWidth = w;
    s.TexHeight = h;
    s.TexDepth = 8;
    s.Palette[0] = {20, 40, 200, 128};
    s.Palette[1] = {230, 20, 20, 128};
    s.Palette[2] = {250, 250, 250, 64};
    s.Pixels.assign(static_cast<std::size_t>(w) * h, 0);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            bool stem = x >= w / 5 && x < w / 5 + 2 && y >= 1;
            bool bar = y == 1 && x >= w / 5 && x < w - 1;
            s.Pixels[y * w + x] = stem || bar ? 1 : (x == w - 1 && y == h - 1 ? 2 : 0);
        }
    return s;
}

std::vector<std::uint8_t> ImageMagickRgba(const std::string& path, std::string* size = nullptr) {
    CommandResult r = RunCommand("convert " + Quote(path) + " -depth 8 rgba:-");
    if (size)
        *size = RunCommand("identify -format '%wx%h' " + Quote(path)).out;
    return {r.out.begin(), r.out.end()};
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

Decoded LibjpegDecode(const std::string& path) {
    Decoded d;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return d;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    d.width = static_cast<int>(cinfo.output_width);
    d.height = static_cast<int>(cinfo.output_height);
    d.rgb.resize(static_cast<std::size_t>(d.width) * d.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = d.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * d.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return d;
}

} // namespace

TEST_F(WriterTest, FileSizesAndHeaderFields) {
    struct Case {
        std::uint32_t w, h, stride;
    };
    for (Case c : {Case{64, 32, 64}, Case{5, 2, 8}, Case{1, 1, 4}, Case{17, 3, 20}, Case{4, 7, 4}}) {
        DecodeState s = RedOnBlue(c.w, c.h);
        WriteBmp8(MakeIndexedImage(s, false, false), Path("a.bmp"));
        WriteTga32(Path("a.tga"), s, true);
        auto bmp = ReadFile(Path("a.bmp"));
        auto tga = ReadFile(Path("a.tga"));
        const std::uint32_t image = c.stride * c.h;
        ASSERT_EQ(bmp.size(), 1078 + image) << c.w << "x" << c.h;
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(U32(bmp, 2), 1078 + image);
        EXPECT_EQ(U32(bmp, 6), 0u);
        EXPECT_EQ(U32(bmp, 10), 1078u);
        EXPECT_EQ(U32(bmp, 14), 40u);
        EXPECT_EQ(U32(bmp, 18), c.w);
        EXPECT_EQ(U32(bmp, 22), c.h);
        EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);
        EXPECT_EQ(bmp[28] | bmp[29] << 8, 8);
        EXPECT_EQ(U32(bmp, 30), 0u);
        EXPECT_EQ(U32(bmp, 34), image);
        EXPECT_EQ(U32(bmp, 46), 256u);
        EXPECT_EQ(U32(bmp, 50), 0u);
        // Rows bottom-up, zero padding.
        for (std::uint32_t row = 0; row < c.h; ++row)
            for (std::uint32_t x = 0; x < c.stride; ++x)
                ASSERT_EQ(bmp[1078 + row * c.stride + x], x < c.w ? s.Pixel(x, c.h - 1 - row) : 0);

        ASSERT_EQ(tga.size(), 18 + 4u * c.w * c.h);
        const std::vector<std::uint8_t> head = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_TRUE(std::equal(head.begin(), head.end(), tga.begin()));
        EXPECT_EQ(tga[12] | tga[13] << 8, static_cast<int>(c.w));
        EXPECT_EQ(tga[14] | tga[15] << 8, static_cast<int>(c.h));
        EXPECT_EQ(tga[16], 0x20);
        EXPECT_EQ(tga[17], 0x28);
        // The first pixel is the top-left one.
        auto first = ToTgaPixel(s.Palette[s.Pixel(0, 0)], true);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), tga.begin() + 18));
    }
}

TEST_F(WriterTest, OnePaletteEntryInEveryFormat) {
    DecodeState s;
    s.TexWidth = 2;
    s.TexHeight = 1;
    s.Pixels = {0, 1};
    s.Palette[0] = {0x10, 0x20, 0x30, 0x80};
    s.Palette[1] = {0x10, 0x20, 0x30, 0x00};
    EXPECT_EQ(ToTgaPixel(s.Palette[0], true), (std::array<std::uint8_t, 4>{0x30, 0x20, 0x10, 0xFF}));
    EXPECT_EQ(ToTgaPixel(s.Palette[0], false), (std::array<std::uint8_t, 4>{0x30, 0x20, 0x10, 0x80}));
    EXPECT_EQ(ToTgaPixel(s.Palette[1], true)[3], 0);
    EXPECT_EQ(ToTgaPixel(s.Palette[1], false)[3], 0);

    WriteTga32(Path("p.tga"), s, true);
    auto tga = ReadFile(Path("p.tga"));
    EXPECT_EQ(std::vector<std::uint8_t>(tga.begin() + 18, tga.end()),
              (std::vector<std::uint8_t>{0x30, 0x20, 0x10, 0xFF, 0x30, 0x20, 0x10, 0x00}));

    auto tableEntry = [&](bool alpha, bool brighten) {
        WriteBmp8(MakeIndexedImage(s, alpha, brighten), Path("p.bmp"));
        auto bmp = ReadFile(Path("p.bmp"));
        return std::vector<std::uint8_t>(bmp.begin() + 54, bmp.begin() + 58);
    };
    EXPECT_EQ(tableEntry(false, true), (std::vector<std::uint8_t>{0x30, 0x20, 0x10, 0x00}));
    EXPECT_EQ(tableEntry(true, true), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x00}));
    EXPECT_EQ(tableEntry(true, false), (std::vector<std::uint8_t>{0x80, 0x80, 0x80, 0x00}));
}

TEST_F(WriterTest, EmptyPicturesAndReplacedFiles) {
    DecodeState s = RedOnBlue(0, 5);
    WriteFile(Path("e.bmp"), std::vector<std::uint8_t>(5000, 7)); // a longer file is replaced
    WriteBmp8(MakeIndexedImage(s, false, false), Path("e.bmp"));
    WriteJpeg(MakeIndexedImage(s, false, false), Path("e.jpg"));
    WriteTga32(Path("e.tga"), s, false);
    EXPECT_EQ(std::filesystem::file_size(Path("e.bmp")), 0u);
    EXPECT_EQ(std::filesystem::file_size(Path("e.jpg")), 0u);
    EXPECT_EQ(std::filesystem::file_size(Path("e.tga")), 18u);

    WriteFile(Path("r.tga"), std::vector<std::uint8_t>(100000, 7));
    WriteTga32(Path("r.tga"), RedOnBlue(3, 3), false);
    EXPECT_EQ(std::filesystem::file_size(Path("r.tga")), 18u + 36u);
}

TEST_F(WriterTest, FailuresCarryTheUsersText) {
    DecodeState s = RedOnBlue(8, 8);
    IndexedImage img = MakeIndexedImage(s, false, false);
    const std::string bad = Path("missing/dir/x.bmp");
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const KelmoraError& e) {
            return ErrorText(e);
        }
        return std::string("no error");
    };
#ifdef _WIN32 // the reason is the system's own text
    const std::string created = message([&] { WriteBmp8(img, bad); });
    EXPECT_EQ(created.rfind("Cannot create file \"" + AbsolutePath(bad) + "\". ", 0), 0u) << created;
    EXPECT_GT(created.size(), bad.size() + 24) << created;
#else
    const std::string created = "Cannot create file \"" + bad + "\". No such file or directory";
    EXPECT_EQ(message([&] { WriteBmp8(img, bad); }), created);
#endif
    EXPECT_EQ(message([&] { WriteTga32(bad, s, true); }), created);
    EXPECT_EQ(message([&] { WriteJpeg(img, bad); }), created);

#ifndef _WIN32
    // A device is never replaced by a file.
    EXPECT_EQ(message([&] { WriteBmp8(img, "/dev/full"); }), "Cannot create file \"/dev/full\". Not a regular file");
    EXPECT_FALSE(IsRegularFile("/dev/full"));
#endif

    // libjpeg refuses a picture this wide; no file may be left behind.
    IndexedImage wide;
    wide.Width = 70000;
    wide.Height = 1;
    wide.Rows.assign(70000, 0);
    EXPECT_EQ(message([&] { WriteJpeg(wide, Path("wide.jpg")); }), "JPEG error #" + std::to_string(JERR_IMAGE_TOO_BIG));
    EXPECT_FALSE(std::filesystem::exists(Path("wide.jpg")));

    DecodeState huge;
    huge.TexWidth = 70000;
    huge.TexHeight = 1;
    huge.Pixels.assign(70000, 0);
    EXPECT_EQ(message([&] { WriteTga32(Path("huge.tga"), huge, true); }), "Texture too large for TGA!!! (70000 x 1)");
    EXPECT_FALSE(std::filesystem::exists(Path("huge.tga")));
}

TEST_F(WriterTest, OtherDecodersReadTheSamePicture) {
    KELMORA_NEEDS_HOST_TOOLS();
    for (auto [w, h] : {std::pair{37u, 13u}, {64u, 32u}, {5u, 2u}}) {
        DecodeState s = RedOnBlue(w, h);
        WriteBmp8(MakeIndexedImage(s, false, false), Path("c.bmp"));
        WriteTga32(Path("c.tga"), s, true);

        QImage bmp(QString::fromStdString(Path("c.bmp")));
        ASSERT_FALSE(bmp.isNull());
        ASSERT_EQ(bmp.width(), static_cast<int>(w));
        ASSERT_EQ(bmp.height(), static_cast<int>(h));
        std::string size;
        auto rgba = ImageMagickRgba(Path("c.tga"), &size);
        ASSERT_EQ(size, std::to_string(w) + "x" + std::to_string(h));
        ASSERT_EQ(rgba.size(), 4u * w * h);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) {
                const PaletteEntry& e = s.Palette[s.Pixel(x, y)];
                ASSERT_EQ(bmp.pixel(x, y), qRgb(e.R, e.G, e.B)) << x << "," << y;
                const std::uint8_t* p = &rgba[4 * (y * w + x)];
                ASSERT_EQ(p[0], e.R);
                ASSERT_EQ(p[1], e.G);
                ASSERT_EQ(p[2], e.B);
                ASSERT_EQ(p[3], BrightenAlpha(e.A));
            }
    }
}

TEST_F(WriterTest, JpegMatchesTheReferenceEncoderByteForByte) {
    KELMORA_NEEDS_HOST_TOOLS();
    for (auto [w, h] : {std::pair{37u, 13u}, {64u, 1u}, {1u, 1u}, {300u, 17u}}) {
        DecodeState s = RedOnBlue(w, h);
        for (std::size_t i = 0; i < s.Pixels.size(); ++i) // plenty of detail for the DCT
            s.Palette[3 + i % 200] = {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i * 13),
                                      static_cast<std::uint8_t>(i * 29), 128};
        for (std::size_t i = 0; i < s.Pixels.size(); i += 3)
            s.Pixels[i] = static_cast<std::uint8_t>(3 + i % 200);
        IndexedImage img = MakeIndexedImage(s, false, false);
        WriteJpeg(img, Path("m.jpg"));

        std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        for (std::uint8_t i : img.Rows)
            ppm += {static_cast<char>(img.Colours[i].Red), static_cast<char>(img.Colours[i].Green),
                    static_cast<char>(img.Colours[i].Blue)};
        WriteFile(Path("m.ppm"), {ppm.begin(), ppm.end()});
        CommandResult ref = RunCommand("cjpeg -quality 100 -baseline -dct float " + Quote(Path("m.ppm")));
        ASSERT_EQ(ref.code, 0);
        auto ours = ReadFile(Path("m.jpg"));
        EXPECT_EQ(std::string(ours.begin(), ours.end()), ref.out) << w << "x" << h;

        Decoded d = LibjpegDecode(Path("m.jpg"));
        ASSERT_EQ(d.width, static_cast<int>(w));
        ASSERT_EQ(d.height, static_cast<int>(h));
    }
}

TEST_F(WriterTest, GreyAlphaCompanionDecodesAsGrey) {
    DecodeState s = RedOnBlue(32, 16);
    WriteJpeg(MakeIndexedImage(s, true, true), Path("g.jpg"));
    Decoded d = LibjpegDecode(Path("g.jpg"));
    ASSERT_EQ(d.width, 32);
    for (std::size_t i = 0; i < d.rgb.size(); i += 3) {
        EXPECT_NEAR(d.rgb[i], d.rgb[i + 1], 2);
        EXPECT_NEAR(d.rgb[i], d.rgb[i + 2], 2);
    }
    // Most of the picture has alpha 128, brightened to white.
    EXPECT_GT(d.rgb[3 * (8 * 32 + 20)], 250);
}

// True-colour textures: a 24-bit BMP and a JPEG of their colours, a TGA with
// their alpha, an 8-bit grey BMP of their alpha; all read back by ImageMagick.
TEST_F(WriterTest, TrueColourInEveryFormat) {
    KELMORA_NEEDS_HOST_TOOLS();
    DecodeState s;
    s.TrueColour = true;
    s.TexDepth = 32;
    for (auto [w, h] : {std::pair{5u, 3u}, {16u, 9u}}) {
        s.TexWidth = w;
        s.TexHeight = h;
        s.Texels.clear();
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) // red rises to the right, blue downwards
                s.Texels.push_back({static_cast<std::uint8_t>(x * 40), 30, static_cast<std::uint8_t>(y * 60),
                                    static_cast<std::uint8_t>(x == 0 ? 0 : 128)});
        const std::string tag = std::to_string(w) + "x" + std::to_string(h);

        WriteBmp(MakePicture(s, false, false), Path(tag + ".bmp"));
        auto bmp = ReadFile(Path(tag + ".bmp"));
        const std::uint32_t stride = (3 * w + 3) / 4 * 4;
        EXPECT_EQ(bmp.size(), 54 + stride * h);
        EXPECT_EQ(bmp[28], 24);
        EXPECT_EQ(U32(bmp, 10), 54u);
        std::vector<std::uint8_t> want;
        for (const PaletteEntry& e : s.Texels)
            want.insert(want.end(), {e.R, e.G, e.B, 255});
        EXPECT_EQ(ImageMagickRgba(Path(tag + ".bmp")), want) << tag;

        WriteTga32(Path(tag + ".tga"), s, true);
        want.clear();
        for (const PaletteEntry& e : s.Texels)
            want.insert(want.end(), {e.R, e.G, e.B, BrightenAlpha(e.A)});
        EXPECT_EQ(ImageMagickRgba(Path(tag + ".tga")), want) << tag;

        WriteBmp(MakePicture(s, true, false), Path(tag + "_a.bmp"));
        auto alpha = ReadFile(Path(tag + "_a.bmp"));
        EXPECT_EQ(alpha[28], 8); // the companion stays an 8-bit grey bitmap
        want.clear();
        for (const PaletteEntry& e : s.Texels)
            want.insert(want.end(), {e.A, e.A, e.A, 255});
        EXPECT_EQ(ImageMagickRgba(Path(tag + "_a.bmp")), want) << tag;

        // The JPEG of the colours is what the reference encoder makes of them.
        WriteJpeg(MakePicture(s, false, false), Path(tag + ".jpg"));
        std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
        for (const PaletteEntry& e : s.Texels)
            ppm += {static_cast<char>(e.R), static_cast<char>(e.G), static_cast<char>(e.B)};
        WriteFile(Path(tag + ".ppm"), {ppm.begin(), ppm.end()});
        CommandResult ref = RunCommand("cjpeg -quality 100 -baseline -dct float " + Quote(Path(tag + ".ppm")));
        auto ours = ReadFile(Path(tag + ".jpg"));
        EXPECT_EQ(std::string(ours.begin(), ours.end()), ref.out) << tag;
    }
}

namespace {

// What Pillow makes of a PNG, and what it should make of the decode state.
std::string PillowView(const std::string& png, std::size_t entries) {
    return RunCommand("/usr/bin/python3 " + Quote(KELMORA_PNG_CHECK) + " " + Quote(png) + " " +
                      std::to_string(entries))
        .out;
}

std::string ExpectedView(const DecodeState& s, bool brighten) {
    auto a = [&](std::uint8_t v) { return std::to_string(brighten ? BrightenAlpha(v) : v); };
    std::string out;
    auto join = [&](const std::vector<std::string>& parts) {
        for (std::size_t i = 0; i < parts.size(); ++i)
            out += (i ? " " : "") + parts[i];
        out += "\n";
    };
    const std::string size = std::to_string(s.TexWidth) + " " + std::to_string(s.TexHeight);
    std::vector<std::string> v;
    if (s.TrueColour) {
        out = "RGBA " + size + " 8\n";
        for (const PaletteEntry& e : s.Texels)
            for (const std::string& c : {std::to_string(e.R), std::to_string(e.G), std::to_string(e.B), a(e.A)})
                v.push_back(c);
        join(v);
        return out;
    }
    const std::size_t n = s.TexDepth == 4 ? 16 : 256;
    out = "P " + size + " " + std::to_string(s.TexDepth) + "\n";
    for (std::uint8_t i : s.Pixels)
        v.push_back(std::to_string(i));
    join(v);
    v.clear();
    for (std::size_t i = 0; i < n; ++i)
        for (std::uint8_t c : {s.Palette[i].R, s.Palette[i].G, s.Palette[i].B})
            v.push_back(std::to_string(c));
    join(v);
    v.clear();
    for (std::size_t i = 0; i < n; ++i)
        v.push_back(a(s.Palette[i].A));
    join(v);
    return out;
}

} // namespace

// Palettised textures stay palettised at their own depth, with every index,
// colour and alpha exact; true colour becomes RGBA. Read back by Pillow, and
// ImageMagick and Qt take the same files.
TEST_F(WriterTest, PngKeepsThePaletteExactly) {
    KELMORA_NEEDS_HOST_TOOLS();
    for (std::uint32_t depth : {4u, 8u, 16u, 32u}) {
        for (auto [w, h] : {std::pair{5u, 3u}, {32u, 17u}, {1u, 1u}}) {
            TextureSpec t = depth <= 8 ? RandomTexture("p", w, h, depth, false, w + depth)
                                       : RealTexture("p", w, h, depth, 1, w + depth);
            DecodeState s;
            s.TexWidth = w;
            s.TexHeight = h;
            s.TexDepth = depth;
            s.Palette = t.Palette;
            s.Palette[1].A = 129; // above the console's range: brightening wraps, as for TGA
            if (depth <= 8) {
                s.Pixels = t.Pixels;
            } else {
                s.TrueColour = true;
                s.Texels = t.Texels;
            }
            for (bool brighten : {false, true}) {
                const std::string tag = std::to_string(depth) + "-bit " + std::to_string(w) + "x" +
                                        std::to_string(h) + (brighten ? " brightened" : "");
                const std::string png = Path("p.png");
                WritePng(png, s, brighten);
                EXPECT_EQ(PillowView(png, depth == 4 ? 16 : 256), ExpectedView(s, brighten)) << tag;
                QImage q(QString::fromStdString(png));
                ASSERT_FALSE(q.isNull()) << tag;
                const PaletteEntry e = s.Colour(w - 1, h - 1);
                EXPECT_EQ(q.pixel(static_cast<int>(w - 1), static_cast<int>(h - 1)),
                          qRgba(e.R, e.G, e.B, brighten ? BrightenAlpha(e.A) : e.A))
                    << tag;
                std::string size;
                EXPECT_EQ(ImageMagickRgba(png, &size).size(), 4u * w * h) << tag;
            }
        }
    }
}
