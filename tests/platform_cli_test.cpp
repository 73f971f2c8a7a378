// kelmora-cli over Direct3D 8, Direct3D 9 and Xbox dictionaries, loose and in
// archives: the list, the exports read back by ImageMagick and Pillow, find, the
// refusal of edits and of a platform it does not read, and the thumbnailer.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "dictionary/dictionary.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/native_builder.h"
#include "tests/support/process.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

CommandResult Cli(const std::string& args) { return RunCommand(Quote(KELMORA_CLI) + " " + args + " 2>&1"); }

// The picture a file holds as ImageMagick reads it: R, G, B, A a pixel.
std::string Rgba(const std::string& path) { return RunCommand("convert " + Quote(path) + " -depth 8 rgba:-").out; }

std::string Rgba(const DecodeState& s, bool colourOnly = false) {
    std::string out;
    for (std::uint32_t y = 0; y < s.TexHeight; ++y)
        for (std::uint32_t x = 0; x < s.TexWidth; ++x) {
            const PaletteEntry e = s.Colour(x, y);
            out += {static_cast<char>(e.R), static_cast<char>(e.G), static_cast<char>(e.B),
                    static_cast<char>(colourOnly ? 255 : e.A)};
        }
    return out;
}

class PlatformCli : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("pccli"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST_F(PlatformCli, ListsFormatsAndGivesThemInJson) {
    const CommandResult list = Cli("list " + Quote(KELMORA_D3D8));
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.out, "1. sky  |  128 x 64 (DXT1)\n"
                        "2. glass / glass_a  |  64 x 64 (DXT5)\n"
                        "3. smoke / smoke_a  |  32 x 32 (DXT3)\n"
                        "4. flag / flag_a  |  32 x 32 (8888)\n"
                        "5. sign  |  64 x 32 (8bit)\n"
                        "6. lamp  |  32 x 32 (4bit)\n");
    const CommandResult json = Cli("list --json " + Quote(KELMORA_D3D9) + " " + Quote(KELMORA_CONSOLE));
    EXPECT_EQ(json.code, 0);
    EXPECT_NE(json.out.find(R"("name": "bricks",
          "mask": "",
          "platform": "d3d9",
          "format": "DXT1",
          "width": 64,
          "height": 64,
          "depth": 16,
          "levels": 7,)"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find(R"("platform": "ps2",
          "format": "8bit",)"),
              std::string::npos);
    EXPECT_NE(json.out.find(R"("name": "rings_mips",
          "mask": "rings_mips_a",
          "platform": "ps2",
          "format": "8bit",
          "width": 128,
          "height": 128,
          "depth": 8,
          "levels": 5,)"),
              std::string::npos);
}

// Every texture of both samples in all four formats, read back by ImageMagick:
// TGA and PNG hold colour and alpha exactly (alpha not brightened, it is
// 0..255 already), BMP the colours, JPEG a picture of the right size.
TEST_F(PlatformCli, ExportsReadBackAsTheTexturesDecode) {
    KELMORA_NEEDS_HOST_TOOLS();
    for (const std::string sample : {KELMORA_D3D8, KELMORA_D3D9}) {
        const Dictionary d = Dictionary::OpenFile(sample);
        for (const char* format : {"tga", "png", "bmp", "jpg"}) {
            // One dictionary's files go straight into the folder named.
            const std::string sub = dir_ + "/" + format + "/" + std::filesystem::path(sample).stem().string();
            const CommandResult r = Cli("extract -q --no-alphas -f " + std::string(format) + " -o " + Quote(sub) + " " + Quote(sample));
            ASSERT_EQ(r.code, 0) << r.out;
            for (std::size_t i = 0; i < d.Entries().size(); ++i) {
                const DecodedTexture t = d.Decode(i);
                ASSERT_TRUE(t.Ok());
                const std::string file = sub + "/" + d.Entries()[i].Name + "." + format;
                const std::string got = Rgba(file);
                if (std::string(format) == "jpg")
                    EXPECT_EQ(got.size(), 4 * std::size_t{t.State.TexWidth} * t.State.TexHeight) << file;
                else
                    EXPECT_EQ(got, Rgba(t.State, std::string(format) == "bmp")) << file;
            }
        }
    }
    // PNG of a palettised texture: the exact palette and indices, 32 entries for 4 bits.
    const CommandResult pil = RunCommand("/usr/bin/python3 -c " +
                                         Quote("from PIL import Image\n"
                                               "im = Image.open('" + dir_ + "/png/d3d8/lamp.png')\n"
                                               "print(im.mode, len(im.getpalette()) // 3, max(im.getdata()))"));
    EXPECT_EQ(pil.out, "P 32 31\n");
}

// A platform Kelmora does not read: listed as such, refused by name when
// exported, the rest exported with --keep-going.
TEST_F(PlatformCli, AnUnknownPlatformIsNamedAndTheRestGoesOn) {
    NativeSpec odd = RandomNative(8, "DXT1", 8, 8, 1, 3);
    odd.Name = "x";
    odd.Mask = "";
    odd.PlatformIdOverride = 13;
    const std::string file = dir_ + "/mixed.txd";
    WriteFile(file, BuildNativeDictionary({RandomNative(8, "DXT1", 8, 8, 1, 1), RandomNative(8, "8888", 8, 8, 1, 2), odd}));
    EXPECT_EQ(Cli("list " + Quote(file)).out, "1. DXT1_8x8 / DXT1_8x8a  |  8 x 8 (DXT1)\n"
                                              "2. 8888_8x8 / 8888_8x8a  |  8 x 8 (8888)\n"
                                              "3. x  |  platform 13 is not supported\n");
    const CommandResult plain = Cli("extract -q -f png -o " + Quote(dir_ + "/a") + " " + Quote(file));
    EXPECT_EQ(plain.code, 1);
    EXPECT_NE(plain.out.find("kelmora-cli: " + file + ": texture 3 (x): platform 13 is not supported\n"),
              std::string::npos)
        << plain.out;
    const CommandResult going = Cli("extract -q --keep-going -f png -o " + Quote(dir_ + "/b") + " " + Quote(file));
    EXPECT_EQ(going.code, 1);
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/b/DXT1_8x8.png"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/b/8888_8x8.png"));
    const CommandResult save = Cli("save " + Quote(file) + " 3 " + Quote(dir_ + "/x.png"));
    EXPECT_EQ(save.code, 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/x.png"));
}

// PC games use the same archives: find and extract reach their dictionaries.
TEST_F(PlatformCli, ArchivesOfPcDictionariesAreListedFoundAndExported) {
    const auto d8 = ReadFile(KELMORA_D3D8), d9 = ReadFile(KELMORA_D3D9);
    WriteFile(dir_ + "/gta3.img", BuildArchiveV2({{"props.txd", d8}, {"walls.txd", d9}, {"a.dff", {1, 2, 3}}}));
    const ArchiveV1 v1 = BuildArchiveV1({{"props.txd", d8}});
    WriteFile(dir_ + "/old.img", v1.Img);
    WriteFile(dir_ + "/old.dir", v1.Dir);
    const CommandResult find = Cli("find glass " + Quote(dir_));
    EXPECT_EQ(find.code, 0);
    for (const std::string where : {"gta3.img::props.txd", "gta3.img::walls.txd", "old.img::props.txd"})
        EXPECT_NE(find.out.find(where), std::string::npos) << where << " in\n" << find.out;
    const CommandResult all = Cli("list --all " + Quote(dir_ + "/gta3.img"));
    EXPECT_NE(all.out.find("1. bricks  |  64 x 64 (DXT1)"), std::string::npos) << all.out;
    const CommandResult x = Cli("extract -q -f png -o " + Quote(dir_ + "/out") + " " + Quote(dir_ + "/gta3.img"));
    EXPECT_EQ(x.code, 0) << x.out;
    EXPECT_EQ(Rgba(dir_ + "/out/gta3/walls/flag.png"), Rgba(Dictionary::OpenFile(KELMORA_D3D9).Decode(2).State));
}

// The whole loop on PC and Xbox dictionaries, loose and in an archive: an
// unedited export (PNG and TGA) imported back changes no byte; an edited one is
// put back and said, opaque DXT1 that gains alpha says it became DXT5; rename,
// add and remove work as on the console.
TEST_F(PlatformCli, TheWholeLoopWorksOnPcAndXboxDictionaries) {
    for (const std::string sample : {KELMORA_D3D8, KELMORA_D3D9}) {
        const std::string file = dir_ + "/pc.txd";
        WriteFile(file, ReadFile(sample));
        const auto before = ReadFile(file);
        for (const std::string format : {"png", "tga"}) {
            const std::string out = dir_ + "/x_" + format;
            ASSERT_EQ(Cli("extract -q -f " + format + " -o " + Quote(out) + " " + Quote(file)).code, 0);
            const CommandResult same = Cli("import " + Quote(file) + " " + Quote(out));
            EXPECT_EQ(same.code, 0) << same.out;
            EXPECT_NE(same.out.find("0 of "), std::string::npos) << same.out;
            EXPECT_EQ(ReadFile(file), before) << sample << " " << format;
            std::filesystem::remove_all(out);
        }
    }
    // An opaque DXT1 texture given a picture with alpha.
    const std::string file = dir_ + "/pc.txd";
    WriteFile(file, ReadFile(KELMORA_D3D9));
    ASSERT_EQ(Cli("save " + Quote(file) + " glass " + Quote(dir_ + "/glass.png")).code, 0);
    const CommandResult replace = Cli("replace " + Quote(file) + " bricks " + Quote(dir_ + "/glass.png"));
    EXPECT_EQ(replace.code, 0) << replace.out;
    EXPECT_NE(replace.out.find("texture 1 (bricks): " + dir_ + "/glass.png has alpha that DXT1 does not hold; the "
                               "texture is now DXT5"),
              std::string::npos)
        << replace.out;
    EXPECT_NE(Cli("list " + Quote(file)).out.find("1. bricks  |  64 x 64 (DXT5)"), std::string::npos);
    const CommandResult q = Cli("replace " + Quote(file) + " flag " + Quote(dir_ + "/glass.png") +
                                " --format 8888 --dxt-quality best");
    EXPECT_EQ(q.code, 0) << q.out;
    EXPECT_NE(q.out.find("32 x 32 -> 64 x 64, 888 -> 8888"), std::string::npos) << q.out;
    EXPECT_EQ(Rgba(dir_ + "/glass.png"), Rgba(Dictionary::OpenFile(file).Decode(2).State));
    const CommandResult bad = Cli("replace " + Quote(file) + " flag " + Quote(dir_ + "/glass.png") + " --format PAL8");
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.out.find("Direct3D 9 textures cannot be stored as 8bit"), std::string::npos) << bad.out;
    const CommandResult depth = Cli("replace " + Quote(file) + " flag " + Quote(dir_ + "/glass.png") + " --depth 8");
    EXPECT_EQ(depth.code, 1);
    EXPECT_NE(depth.out.find("chosen with --format"), std::string::npos) << depth.out;
    EXPECT_EQ(Cli("rename " + Quote(file) + " flag banner").code, 0);
    const CommandResult add = Cli("add " + Quote(file) + " " + Quote(dir_ + "/glass.png") + " --name pane --levels 7");
    EXPECT_EQ(add.code, 0) << add.out;
    const CommandResult list = Cli("list " + Quote(file));
    EXPECT_NE(list.out.find("3. banner  |  64 x 64 (8888)"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("8. pane  |  64 x 64 (DXT5)"), std::string::npos) << list.out;
    EXPECT_EQ(Cli("remove " + Quote(file) + " pane").code, 0);

    // In an archive, through ARCHIVE::NAME and the whole archive's import.
    WriteFile(dir_ + "/gta3.img", BuildArchiveV2({{"props.txd", ReadFile(KELMORA_D3D8)}, {"a.dff", {1, 2, 3}}}));
    const auto img = ReadFile(dir_ + "/gta3.img");
    ASSERT_EQ(Cli("extract -q -f png -o " + Quote(dir_ + "/all") + " " + Quote(dir_ + "/gta3.img")).code, 0);
    const CommandResult same = Cli("import " + Quote(dir_ + "/gta3.img") + " " + Quote(dir_ + "/all"));
    EXPECT_EQ(same.code, 0) << same.out;
    EXPECT_EQ(ReadFile(dir_ + "/gta3.img"), img);
    const CommandResult into = Cli("replace " + Quote(dir_ + "/gta3.img::props") + " sky " + Quote(dir_ + "/glass.png"));
    EXPECT_EQ(into.code, 0) << into.out;
    EXPECT_NE(Cli("list " + Quote(dir_ + "/gta3.img::props")).out.find("1. sky  |  64 x 64 (DXT5)"), std::string::npos);
}

// convert: a dictionary, an archive's entry and whole archives of both kinds,
// into new files only; what each texture lost is said; a texture the console
// cannot hold refuses the conversion and nothing is written.
TEST_F(PlatformCli, ConvertWritesNewFilesAndSaysWhatChanged) {
    const std::string ps2 = dir_ + "/p.txd", pc = dir_ + "/pc.txd";
    const CommandResult to = Cli("convert --to ps2 " + Quote(KELMORA_D3D9) + " -o " + Quote(ps2));
    EXPECT_EQ(to.code, 0) << to.out;
    EXPECT_NE(to.out.find("texture 1 (bricks): DXT1 -> 8bit, 3 of 7 levels dropped"), std::string::npos) << to.out;
    EXPECT_NE(to.out.find("7 textures of "), std::string::npos) << to.out;
    EXPECT_NE(Cli("list " + Quote(ps2)).out.find("1. bricks  |  64 x 64 (8bit)"), std::string::npos);
    const CommandResult again = Cli("convert --to ps2 " + Quote(KELMORA_D3D9) + " -o " + Quote(ps2));
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.out.find("exists already"), std::string::npos) << again.out;
    const CommandResult none = Cli("convert --to ps2 " + Quote(KELMORA_D3D9));
    EXPECT_EQ(none.code, 2) << none.out;

    const CommandResult dxt = Cli("convert --to d3d9 --compress dxt " + Quote(KELMORA_CONSOLE) + " -o " + Quote(pc));
    EXPECT_EQ(dxt.code, 0) << dxt.out;
    EXPECT_NE(dxt.out.find("compressed"), std::string::npos) << dxt.out;
    EXPECT_NE(Cli("list " + Quote(pc)).out.find("(DXT"), std::string::npos);

    // A side the console does not hold: refused, or resized.
    NativeSpec odd = RandomNative(9, "8888", 24, 20, 1, 4);
    odd.Name = "odd";
    const std::string oddFile = dir_ + "/odd.txd";
    WriteFile(oddFile, BuildNativeDictionary({odd}));
    const CommandResult refused = Cli("convert --to ps2 " + Quote(oddFile) + " -o " + Quote(dir_ + "/o.txd"));
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.out.find("odd.txd: texture 1 (odd): 24 x 20: the console's sides are powers of two from 8 to "
                               "1024; --resize scales the texture"),
              std::string::npos)
        << refused.out;
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/o.txd"));
    const CommandResult resized = Cli("convert --to ps2 --resize " + Quote(oddFile) + " -o " + Quote(dir_ + "/o.txd"));
    EXPECT_EQ(resized.code, 0) << resized.out;
    EXPECT_NE(resized.out.find("24 x 20 -> 32 x 16"), std::string::npos) << resized.out;

    // Archives: every entry in its order, dictionaries converted, the rest as they are.
    WriteFile(dir_ + "/gta3.img", BuildArchiveV2({{"props.txd", ReadFile(KELMORA_D3D8)}, {"a.dff", {1, 2, 3, 4}}}));
    const ArchiveV1 v1 = BuildArchiveV1({{"walls.txd", ReadFile(KELMORA_D3D9)}, {"b.col", {9, 9}}});
    WriteFile(dir_ + "/old.img", v1.Img);
    WriteFile(dir_ + "/old.dir", v1.Dir);
    const CommandResult whole = Cli("convert --to ps2 " + Quote(dir_ + "/gta3.img") + " -o " + Quote(dir_ + "/ps2.img"));
    EXPECT_EQ(whole.code, 0) << whole.out;
    EXPECT_NE(whole.out.find("props.txd: texture 1 (sky)"), std::string::npos) << whole.out;
    const CommandResult entries =
        Cli("unpack " + Quote(dir_ + "/ps2.img") + " a.dff props.txd -o " + Quote(dir_ + "/un"));
    EXPECT_EQ(entries.code, 0) << entries.out;
    ASSERT_EQ(Cli("unpack " + Quote(dir_ + "/gta3.img") + " a.dff -o " + Quote(dir_ + "/src")).code, 0);
    EXPECT_EQ(ReadFile(dir_ + "/un/a.dff"), ReadFile(dir_ + "/src/a.dff")); // whole sectors, as the archive holds it
    EXPECT_EQ(Dictionary::OpenFile(dir_ + "/un/props.txd").Entries()[0].Platform, TexturePlatform::Ps2);
    const CommandResult old = Cli("convert --to xbox " + Quote(dir_ + "/old.dir") + " -o " + Quote(dir_ + "/x.dir"));
    EXPECT_EQ(old.code, 0) << old.out;
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/x.img"));
    EXPECT_NE(Cli("list --all " + Quote(dir_ + "/x.dir")).out.find("bricks  |  64 x 64 (DXT1)"), std::string::npos);
    const CommandResult one = Cli("convert --to d3d8 " + Quote(dir_ + "/old.dir::walls") + " -o " + Quote(dir_ + "/w.txd"));
    EXPECT_EQ(one.code, 0) << one.out;
    EXPECT_EQ(Dictionary::OpenFile(dir_ + "/w.txd").Entries()[0].Platform, TexturePlatform::Direct3D8);
    // A failed archive conversion leaves no archive behind.
    WriteFile(dir_ + "/bad.img", BuildArchiveV2({{"odd.txd", ReadFile(oddFile)}}));
    EXPECT_EQ(Cli("convert --to ps2 " + Quote(dir_ + "/bad.img") + " -o " + Quote(dir_ + "/bad2.img")).code, 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/bad2.img"));
}

// The file manager's thumbnail: the first texture, its alpha as stored.
TEST_F(PlatformCli, TheThumbnailerShowsPcTextures) {
    KELMORA_NEEDS_HOST_TOOLS();
    NativeSpec s = RandomNative(9, "8888", 8, 8, 1, 9);
    const std::string file = dir_ + "/one.txd", png = dir_ + "/one.png";
    WriteFile(file, BuildNativeDictionary({s}));
    const CommandResult r = RunCommand(Quote(KELMORA_THUMBNAILER) + " -s 64 " + Quote(file) + " " + Quote(png));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(Rgba(png), Rgba(Dictionary::OpenFile(file).Decode(0).State));
}

} // namespace
