// The image readers against files another program wrote: one asymmetric picture
// (red top left, green bottom right, blue elsewhere) in every kind of file that
// is read, so that flips, channel swaps and padding show.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/errors.h"
#include "dictionary/colour_rules.h"
#include "export/image_writers.h"
#include "images/image_input.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

const char* const kConvert = "/usr/bin/convert";
const char* const kPython = "/usr/bin/python3";

struct Kind {
    std::string Options; // ImageMagick's options before the output name; for Pillow, save()'s
    std::string Output;  // with ImageMagick's format prefix
    bool Indexed;
    bool Exact;          // JPEG is not
    bool Pillow = false; // ImageMagick 6 writes bottom-up TGA rows top first, so Pillow writes those
};

} // namespace

TEST(ImageInput, ReadsWhatAnotherProgramWrote) {
    if (!fs::exists(kConvert) || RunCommand(std::string(kPython) + " -c 'import PIL'").code != 0)
        GTEST_SKIP() << "ImageMagick or Pillow is not installed";
    const std::string dir = MakeTempDir("images");
    const std::string picture = "-size 7x3 xc:blue -fill red -draw 'point 0,0' -fill lime -draw 'point 6,2'";
    const Kind kinds[] = {
        {"", "tga", false, true, true},
        {"compression='tga_rle'", "rle.tga", false, true, true},
        {"", "a.tga", false, true, true},
        {"-orient TopLeft -compress RLE", "top.tga", false, true},
        {"", "BMP3:b24.bmp", false, true},
        {"-type Palette", "BMP3:b8.bmp", true, true},
        {"-alpha on", "BMP:b32.bmp", false, true},
        {"", "PNG24:rgb.png", false, true},
        {"", "PNG8:pal.png", true, true},
        {"-colors 3", "PNG8:pal2.png", true, true},
        {"", "PNG48:deep.png", false, true},
        {"-alpha on", "PNG32:rgba.png", false, true},
        {"-quality 100", "jpg", false, false},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.Output);
        const std::size_t colon = k.Output.find(':');
        const std::string name = dir + "/" + (colon == std::string::npos ? "p." + k.Output : k.Output.substr(colon + 1));
        const std::string target = colon == std::string::npos ? name : k.Output.substr(0, colon + 1) + name;
        if (k.Pillow) {
            const std::string mode = k.Output == "a.tga" ? "RGBA" : "RGB";
            const std::string script = "from PIL import Image\n"
                                       "im = Image.new('" + mode + "', (7, 3), (0, 0, 255, 128))\n"
                                       "im.putpixel((0, 0), (255, 0, 0, 128))\n"
                                       "im.putpixel((6, 2), (0, 255, 0, 128))\n"
                                       "im.save('" + name + "'" + (k.Options.empty() ? "" : ", " + k.Options) + ")\n";
            WriteFile(dir + "/w.py", {script.begin(), script.end()});
            ASSERT_EQ(RunCommand(std::string(kPython) + " " + Quote(dir + "/w.py")).code, 0);
        } else {
            ASSERT_EQ(RunCommand(std::string(kConvert) + " " + picture + " " + k.Options + " " + Quote(target)).code, 0);
        }
        const InputImage img = ReadImage(name);
        ASSERT_EQ(img.Width, 7u);
        ASSERT_EQ(img.Height, 3u);
        EXPECT_EQ(img.Indexed, k.Indexed);
        const int tolerance = k.Exact ? 0 : 8;
        auto expect = [&](std::size_t i, int r, int g, int b) {
            const PaletteEntry p = img.Pixel(i);
            EXPECT_NEAR(p.R, r, tolerance) << i;
            EXPECT_NEAR(p.G, g, tolerance) << i;
            EXPECT_NEAR(p.B, b, tolerance) << i;
        };
        expect(0, 255, 0, 0);
        expect(20, 0, 255, 0);
        expect(8, 0, 0, 255);
        if (k.Output == "a.tga") {
            EXPECT_NEAR(img.Pixel(3).A, 128, 1);
        }
    }
    fs::remove_all(dir);
}

TEST(ImageInput, BrokenFilesFailCleanly) {
    const std::vector<std::pair<std::vector<std::uint8_t>, std::string>> cases = {
        {{}, "x is not an image Kelmora reads (PNG, TGA, BMP or JPEG)"},
        {{'B', 'M', 1, 2}, "x: the image is cut short"},
        {{0xFF, 0xD8, 0xFF, 0xE0, 0, 16}, "x: JPEG error: "},
        // A TGA of 4 x 4 that stops after its header.
        {{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 32, 8}, "x: the image is cut short"},
        // An RLE TGA whose packet claims more than there is.
        {{0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 24, 0, 0x05, 1, 2}, "x: the image is cut short"},
        // A colour-mapped TGA is not read.
        {{0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 8, 0}, "x is not an image Kelmora reads (PNG, TGA, BMP or JPEG)"},
        // 40000 x 40000 in a BMP header.
        {[] {
             std::vector<std::uint8_t> b(54, 0);
             b[0] = 'B', b[1] = 'M', b[14] = 40, b[28] = 24;
             b[18] = b[22] = 0x40, b[19] = b[23] = 0x9C;
             return b;
         }(),
         "x: 40000 x 40000 is too large"},
    };
    for (const auto& [bytes, message] : cases) {
        try {
            ReadImage(bytes, "x");
            ADD_FAILURE() << "no error for " << message;
        } catch (const KelmoraError& e) {
            EXPECT_EQ(ErrorText(e).substr(0, message.size()), message);
        }
    }
}

// A file cut anywhere in its pixels is refused in every format, never filled in:
// JPEG's decoder only warns about a cut scan and would give grey rows.
TEST(ImageInput, CutFilesAreRefusedInEveryFormat) {
    const std::string dir = MakeTempDir("cut");
    TextureSpec t = RandomTexture("cut", 64, 64, 8, false, 9);
    DecodeState s;
    s.TexWidth = s.TexHeight = 64;
    s.TexDepth = 8;
    s.Pixels = t.Pixels;
    s.Palette = t.Palette;
    const IndexedImage picture = MakeIndexedImage(s, false, false);
    WriteBmp8(picture, dir + "/p.bmp");
    WriteJpeg(picture, dir + "/p.jpg");
    WritePng(dir + "/p.png", s, true);
    WriteTga32(dir + "/p.tga", s, true);
    for (const char* name : {"p.bmp", "p.jpg", "p.png", "p.tga"}) {
        const std::vector<std::uint8_t> whole = ReadFile(dir + "/" + name);
        EXPECT_NO_THROW(ReadImage(whole, name));
        for (double part : {0.3, 0.6, 0.9, 0.99}) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(part));
            const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() * part));
            EXPECT_THROW(ReadImage(cut, name), KelmoraError);
        }
    }
    fs::remove_all(dir);
}
