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

// Until they can be written, edits of these textures are refused with the
// dictionary untouched; removing a whole record is done.
TEST_F(PlatformCli, EditsAreRefusedAndLeaveTheFileAsItWas) {
    const std::string file = dir_ + "/pc.txd";
    WriteFile(file, ReadFile(KELMORA_D3D9));
    ASSERT_EQ(Cli("save " + Quote(file) + " flag " + Quote(dir_ + "/flag.png")).code, 0);
    const auto before = ReadFile(file);
    const std::string refusal = "editing Direct3D 9 textures is not supported yet";
    const CommandResult replace = Cli("replace " + Quote(file) + " flag " + Quote(dir_ + "/flag.png"));
    EXPECT_EQ(replace.code, 1);
    EXPECT_NE(replace.out.find(": texture 3 (flag): "), std::string::npos) << replace.out;
    EXPECT_NE(replace.out.find(refusal), std::string::npos) << replace.out;
    const CommandResult rename = Cli("rename " + Quote(file) + " flag banner");
    EXPECT_EQ(rename.code, 1);
    EXPECT_NE(rename.out.find(refusal), std::string::npos) << rename.out;
    const CommandResult add = Cli("add " + Quote(file) + " " + Quote(dir_ + "/flag.png") + " --name banner");
    EXPECT_EQ(add.code, 1);
    EXPECT_NE(add.out.find("adding textures to Direct3D 9 dictionaries is not supported yet"), std::string::npos)
        << add.out;
    ASSERT_EQ(Cli("extract -q -f png -o " + Quote(dir_ + "/edit") + " " + Quote(file)).code, 0);
    const CommandResult import = Cli("import " + Quote(file) + " " + Quote(dir_ + "/edit"));
    EXPECT_EQ(import.code, 1);
    EXPECT_NE(import.out.find(refusal), std::string::npos) << import.out;
    EXPECT_EQ(ReadFile(file), before);

    const CommandResult remove = Cli("remove " + Quote(file) + " flag");
    EXPECT_EQ(remove.code, 0) << remove.out;
    EXPECT_EQ(Cli("list " + Quote(file)).out.find("flag  |"), std::string::npos);
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
