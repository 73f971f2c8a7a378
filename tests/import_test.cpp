// Putting textures back with kelmora-cli: extract then import changes nothing
// (BMP through its alpha companions),
// edits arrive exactly, and bad input leaves the dictionary untouched.
#include <gtest/gtest.h>

#include <filesystem>

#include "dictionary/dictionary.h"
#include "export/image_writers.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

CommandResult Cli(const std::string& args) {
    return RunCommand(std::string("'") + KELMORA_CLI + "' " + args + " 2>&1");
}

// Every class of raster the builder makes, in one dictionary: fixed layout at
// awkward sizes, the console layout with levels and padding, true colour, empty
// extensions, and two textures of one name.
std::vector<std::uint8_t> EveryClass() {
    std::vector<TextureSpec> t;
    std::uint32_t seed = 1;
    for (std::uint32_t depth : {4u, 8u}) {
        for (auto [w, h] : {std::pair{1u, 1u}, {16u, 16u}, {64u, 16u}, {45u, 27u}, {7u, 3u}})
            t.push_back(RandomTexture("fixed", w, h, depth, true, seed++));
        for (auto [w, h] : {std::pair{1u, 1u}, {8u, 8u}, {16u, 16u}, {32u, 8u}, {128u, 64u}, {1024u, 512u}})
            t.push_back(RealTexture("real", w, h, depth, 1, seed++));
        for (std::uint32_t levels = 2; levels <= 7; levels += 5)
            t.push_back(RealTexture("mips" + std::to_string(levels), 256, 128, depth, levels, seed++));
    }
    t.push_back(RealTexture("colour32", 32, 16, 32, 1, seed++));
    t.push_back(RealTexture("colour16", 16, 16, 16, 1, seed++));
    for (std::size_t i = 0; i < t.size(); i += 4)
        t[i].EmptyExtension = t[i].Real;
    // The law holds for palettes whose alphas are at most 128.
    for (TextureSpec& s : t) {
        for (PaletteEntry& e : s.Palette)
            e.A = static_cast<std::uint8_t>(e.A % 129);
        for (PaletteEntry& e : s.Texels)
            if (s.Depth == 32)
                e.A = static_cast<std::uint8_t>(e.A % 129);
    }
    return BuildDictionary(t);
}

class ImportTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("import"); }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Q(const std::string& rel) const { return Quote(dir_ + "/" + rel); }
    std::string dir_;
};

} // namespace

TEST_F(ImportTest, ExtractThenImportChangesNoByte) {
    WriteFile(dir_ + "/every.txd", EveryClass());
    fs::copy_file(KELMORA_DEMO, dir_ + "/demo.txd");
    fs::copy_file(KELMORA_CONSOLE, dir_ + "/console.txd");
    for (const std::string dict : {"every", "demo", "console"}) {
        for (const std::string format : {"png", "tga", "bmp"}) {
            for (const std::string options : {"", "--no-filter", "--no-brighten", "--no-filter --no-brighten"}) {
                SCOPED_TRACE(dict + " " + format + " " + options);
                fs::remove_all(dir_ + "/x");
                CommandResult ex = Cli("extract -q -f " + format + " " + options + " -o " + Q("x") + " " + Q(dict + ".txd"));
                ASSERT_EQ(ex.code, 0) << ex.out;
                CommandResult im = Cli("import " + options + " " + Q(dict + ".txd") + " " + Q("x") + " -o " + Q("back.txd"));
                ASSERT_EQ(im.code, 0) << im.out;
                EXPECT_NE(im.out.find("0 of "), std::string::npos) << im.out; // nothing had changed
                ASSERT_EQ(ReadFile(dir_ + "/back.txd"), ReadFile(dir_ + "/" + dict + ".txd"));
            }
        }
    }
}

// An edited picture arrives exactly: indices and palette as written, the levels
// made anew from it, or taken from NAME.mipN files; the other textures' bytes stay.
TEST_F(ImportTest, EditsArriveExactlyWithTheirLevels) {
    TextureSpec mips = RealTexture("sign", 64, 32, 8, 3, 4);
    TextureSpec other = RealTexture("other", 32, 32, 4, 1, 5);
    WriteFile(dir_ + "/d.txd", BuildDictionary({mips, other}));
    const Dictionary before = Dictionary::OpenFile(dir_ + "/d.txd");
    DecodedTexture t = before.Decode(0);
    for (std::uint32_t x = 0; x < 64; ++x)
        t.State.Pixels[5 * 64 + x] = 200; // a stripe in entry 200
    t.State.Palette[200] = {255, 0, 0, 128};
    fs::create_directory(dir_ + "/edit");
    WritePng(dir_ + "/edit/sign.png", t.State, true);
    CommandResult r = Cli("import " + Q("d.txd") + " " + Q("edit"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("replaced texture 1 (sign) from " + dir_ + "/edit/sign.png"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 of 2 texture(s) replaced in " + dir_ + "/d.txd."), std::string::npos) << r.out;

    const Dictionary after = Dictionary::OpenFile(dir_ + "/d.txd");
    const DecodedTexture got = after.Decode(0);
    EXPECT_EQ(got.State.Pixels, t.State.Pixels);
    EXPECT_EQ(got.State.Palette, t.State.Palette);
    // Level 1 is level 0 halved: the stripe's rows average to red there.
    const DecodedTexture level1 = after.Decode(0, {true, 1});
    ASSERT_TRUE(level1.Ok());
    const PaletteEntry red = level1.State.Colour(0, 2);
    EXPECT_GT(red.R, 100);
    EXPECT_EQ(after.Decode(1).State.Pixels, before.Decode(1).State.Pixels);

    // A level given as a file is taken as it is.
    DecodedTexture l2 = after.Decode(0, {true, 2});
    std::fill(l2.State.Pixels.begin(), l2.State.Pixels.end(), 200);
    WritePng(dir_ + "/edit/sign.mip2.png", l2.State, true);
    t.State.Pixels[0] = 201; // level 0 must change for the levels to be made again
    WritePng(dir_ + "/edit/sign.png", t.State, true);
    ASSERT_EQ(Cli("import " + Q("d.txd") + " " + Q("edit")).code, 0);
    EXPECT_EQ(Dictionary::OpenFile(dir_ + "/d.txd").Decode(0, {true, 2}).State.Pixels, l2.State.Pixels);
}

// Pictures of other colours are quantised to the depth, or with --keep-palette
// mapped onto the present palette; replace takes a number or a name.
TEST_F(ImportTest, OtherPicturesAreQuantisedOrMapped) {
    WriteFile(dir_ + "/d.txd", BuildDictionary({RealTexture("a", 32, 32, 4, 1, 7), RealTexture("b", 32, 32, 8, 1, 8)}));
    DecodeState rgba;
    rgba.TexWidth = rgba.TexHeight = 32;
    rgba.TexDepth = 32;
    rgba.TrueColour = true;
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 32; ++x)
            rgba.Texels.push_back({static_cast<std::uint8_t>(8 * x), static_cast<std::uint8_t>(8 * y), 77,
                                   static_cast<std::uint8_t>(x < 16 ? 128 : 64)});
    WritePng(dir_ + "/smooth.png", rgba, true);
    CommandResult byNumber = Cli("replace " + Q("d.txd") + " 1 " + Q("smooth.png") + " -o " + Q("q.txd"));
    ASSERT_EQ(byNumber.code, 0) << byNumber.out;
    const DecodedTexture q = Dictionary::OpenFile(dir_ + "/q.txd").Decode(0);
    ASSERT_TRUE(q.Ok());
    // Sixteen colours for a smooth picture: each texel near what was asked, the
    // alpha halves apart.
    for (std::uint32_t y = 0; y < 32; y += 7)
        for (std::uint32_t x = 0; x < 32; x += 5) {
            const PaletteEntry c = q.State.Colour(x, y);
            EXPECT_NEAR(c.B, 77, 40) << x << "," << y;
            EXPECT_EQ(c.A >= 96, x < 16) << x << "," << y << " alpha " << int(c.A);
        }
    CommandResult byName = Cli("replace --keep-palette " + Q("d.txd") + " b " + Q("smooth.png") + " -o " + Q("k.txd"));
    ASSERT_EQ(byName.code, 0) << byName.out;
    const Dictionary k = Dictionary::OpenFile(dir_ + "/k.txd");
    EXPECT_EQ(k.Decode(1).State.Palette, Dictionary::OpenFile(dir_ + "/d.txd").Decode(1).State.Palette);
    EXPECT_EQ(ReadFile(dir_ + "/d.txd").size(), ReadFile(dir_ + "/k.txd").size());
}

TEST_F(ImportTest, BadInputLeavesTheDictionaryUntouched) {
    WriteFile(dir_ + "/d.txd", BuildDictionary({RealTexture("a", 32, 32, 8, 1, 1)}));
    const std::vector<std::uint8_t> original = ReadFile(dir_ + "/d.txd");
    DecodeState s = Dictionary::OpenFile(dir_ + "/d.txd").Decode(0).State;
    WritePng(dir_ + "/good.png", s, true);
    std::vector<std::uint8_t> png = ReadFile(dir_ + "/good.png");
    WriteFile(dir_ + "/cut.png", std::vector<std::uint8_t>(png.begin(), png.begin() + png.size() / 2));
    // A bomb: a header claiming 65535 x 65535 in a few bytes.
    std::vector<std::uint8_t> bomb(png.begin(), png.begin() + 33);
    bomb[16] = bomb[17] = bomb[20] = bomb[21] = 0;
    bomb[18] = bomb[19] = bomb[22] = bomb[23] = 0xFF;
    WriteFile(dir_ + "/bomb.png", bomb);
    WriteFile(dir_ + "/text.png", {'h', 'e', 'l', 'l', 'o', '\n'});
    s.TexWidth = 12;
    s.Pixels.resize(12 * 32);
    WritePng(dir_ + "/small.png", s, true);
    // Each refusal names the dictionary, the texture and the image.
    const std::string where = "kelmora-cli: " + dir_ + "/d.txd: texture 1 (a): ";
    const std::pair<std::string, std::string> cases[] = {
        {"text.png", where + dir_ + "/text.png is not an image Kelmora reads (PNG, TGA, BMP or JPEG)\n"},
        {"cut.png", where + dir_ + "/cut.png: the image is cut short\n"},
        {"bomb.png", where + dir_ + "/bomb.png: 65535 x 65535 is too large\n"},
        {"small.png", where + dir_ + "/small.png is 12 x 32: a texture's sides must be powers of two from 8 to 1024\n"},
    };
    for (const auto& [image, message] : cases) {
        SCOPED_TRACE(image);
        CommandResult r = Cli("replace " + Q("d.txd") + " 1 " + Q(image));
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.out, message);
        EXPECT_EQ(ReadFile(dir_ + "/d.txd"), original);
    }
    CommandResult range = Cli("replace " + Q("d.txd") + " 2 " + Q("good.png") + " -o " + Q("o.txd"));
    EXPECT_EQ(range.code, 1);
    EXPECT_EQ(range.out, "kelmora-cli: " + dir_ + "/d.txd has no texture 2 (it lists 1)\n");
    EXPECT_FALSE(fs::exists(dir_ + "/o.txd"));
    EXPECT_EQ(Cli("replace " + Q("d.txd") + " nosuch " + Q("good.png")).code, 1);
    // An image that names no texture is said and skipped.
    fs::create_directory(dir_ + "/f");
    fs::copy_file(dir_ + "/good.png", dir_ + "/f/stray.png");
    CommandResult stray = Cli("import " + Q("d.txd") + " " + Q("f"));
    EXPECT_EQ(stray.code, 0);
    EXPECT_NE(stray.out.find("kelmora-cli: " + dir_ + "/f/stray.png matches no texture; skipped\n"), std::string::npos)
        << stray.out;
    EXPECT_EQ(ReadFile(dir_ + "/d.txd"), original);
}

// The list itself: textures added, removed, renamed and given another size or
// depth; every later record moves and the rest reads as before.
TEST_F(ImportTest, AddRemoveRenameAndResize) {
    WriteFile(dir_ + "/d.txd", BuildDictionary({RealTexture("a", 32, 32, 8, 1, 1), RealTexture("b", 64, 64, 4, 4, 2),
                                                RealTexture("c", 16, 16, 32, 1, 3)}));
    const Dictionary before = Dictionary::OpenFile(dir_ + "/d.txd");
    DecodeState pic = before.Decode(0).State;
    WritePng(dir_ + "/a.png", pic, true);
    pic.TexWidth = 16;
    pic.TexHeight = 64;
    pic.Pixels.assign(16 * 64, 3);
    WritePng(dir_ + "/tall.png", pic, true);

    ASSERT_EQ(Cli("add " + Q("d.txd") + " " + Q("a.png") + " --name new --mask new_a --levels 3 -o " + Q("e.txd")).code, 0);
    ASSERT_EQ(Cli("rename " + Q("e.txd") + " b \"b renamed\" --mask bm").code, 0);
    ASSERT_EQ(Cli("remove " + Q("e.txd") + " 1").code, 0);
    CommandResult r = Cli("replace --depth 4 " + Q("e.txd") + " c " + Q("tall.png"));
    ASSERT_EQ(r.code, 0) << r.out;
    CommandResult list = Cli("list " + Q("e.txd"));
    EXPECT_EQ(list.out, "1. b renamed / bm  |  64 x 64 (4bit)\n"
                        "2. c  |  16 x 64 (4bit)\n"
                        "3. new / new_a  |  32 x 32 (8bit)\n");
    const Dictionary after = Dictionary::OpenFile(dir_ + "/e.txd");
    for (std::uint32_t n = 0; n < 4; ++n)
        EXPECT_EQ(after.Decode(0, {true, n}).State.Pixels, before.Decode(1, {true, n}).State.Pixels) << n;
    const DecodedTexture added = after.Decode(2);
    EXPECT_EQ(added.Result.LevelCount, 3u); // a 32 x 32 texture's chain ends at 8 x 8
    EXPECT_EQ(added.State.Pixels, before.Decode(0).State.Pixels);
    EXPECT_EQ(after.Decode(1).State.Pixels, std::vector<std::uint8_t>(16 * 64, 3));

    const std::pair<std::string, std::string> refused[] = {
        {"add " + Q("d.txd") + " " + Q("a.png") + " --name " + std::string(32, 'n'),
         "kelmora-cli: " + dir_ + "/d.txd: new texture (" + std::string(32, 'n') + "): the name \"" + std::string(32, 'n') +
             "\" is 32 characters long; at most 31 fit\n"},
        {"add " + Q("d.txd") + " " + Q("a.png") + " --name x --levels 5",
         "kelmora-cli: " + dir_ + "/d.txd: new texture (x): a 32 x 32 texture of 8 bits holds 1 to 3 levels, not 5\n"},
        {"rename " + Q("d.txd") + " 4 x", "kelmora-cli: " + dir_ + "/d.txd has no texture 4 (it lists 3)\n"},
        {"remove " + Q("d.txd") + " zz", "kelmora-cli: " + dir_ + "/d.txd has no texture named zz\n"},
    };
    const std::vector<std::uint8_t> original = ReadFile(dir_ + "/d.txd");
    for (const auto& [args, message] : refused) {
        CommandResult bad = Cli(args);
        EXPECT_EQ(bad.code, 1) << args;
        EXPECT_EQ(bad.out, message);
    }
    EXPECT_EQ(ReadFile(dir_ + "/d.txd"), original);
}
