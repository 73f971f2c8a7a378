#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <regex>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"

using namespace kelmora::testing;

namespace {

struct CliRun {
    int code = -1;
    std::string out;
};

// Runs kelmora-cli with the arguments (a shell fragment); stderr goes to stdout
// when merge is set.
CliRun Cli(const std::string& args, bool merge = false, bool quietErr = false) {
    CommandResult r = RunCommand(std::string("'") + KELMORA_CLI + "' " + args +
                                 (merge ? " 2>&1" : (quietErr ? " 2>/dev/null" : "")));
    return {r.code, r.out};
}

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            names.push_back(std::filesystem::relative(e.path(), dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(CliList, PrintsTheCaptionsOfTheDemo) {
    CliRun r = Cli(std::string("list '") + KELMORA_DEMO + "'");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1. plasma  |  256 x 256 (8bit)\n"
                     "2. glow / glow_mask  |  128 x 128 (8bit)\n"
                     "3. checker  |  64 x 64 (4bit)\n"
                     "4. stripes16 / stripes16_a  |  64 x 16 (4bit)\n"
                     "5. odd_tile  |  45 x 27 (8bit)\n"
                     "6. red_on_blue / red_on_blue_m  |  32 x 32 (8bit)\n");
}

TEST(CliList, ErrorsEmptyFilesAndUsage) {
    std::string dir = MakeTempDir("cli");
    TextureSpec t = RandomTexture("caf\xE9", 8, 8, 8, true, 1);
    auto bytes = BuildDictionary({t, t});
    bytes.pop_back();
    WriteFile(dir + "/broken.txd", bytes);
    CliRun broken = Cli("list '" + dir + "/broken.txd'", true);
    EXPECT_EQ(broken.code, 1);
    // The whole record is listed; the one cut short is named in the error line instead.
    EXPECT_EQ(broken.out.rfind("1. caf\xC3\xA9  |  8 x 8 (8bit)\nkelmora-cli: ", 0), 0u) << broken.out;
    // The walk's report as one error line.
    EXPECT_NE(broken.out.find("kelmora-cli: " + dir + "/broken.txd: texture 2 of 2 (caf\xC3\xA9): can't jump to position " +
                              std::to_string(bytes.size() + 1) + ", file size is only " + std::to_string(bytes.size()) +
                              "\n"),
              std::string::npos)
        << broken.out;

    // Files too short for a dictionary's header are no dictionaries; one with no
    // textures is, and says so on standard error.
    WriteFile(dir + "/empty.txd", {});
    CliRun empty = Cli("list '" + dir + "/empty.txd'", true);
    EXPECT_EQ(empty.code, 1);
    EXPECT_EQ(empty.out, "kelmora-cli: " + dir + "/empty.txd is too short to be a texture dictionary (0 bytes)\n");
    WriteFile(dir + "/none.txd", BuildDictionary({}));
    CliRun none = Cli("list '" + dir + "/none.txd' 2>&1 >/dev/null");
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, "kelmora-cli: none.txd is empty!\n");
    std::vector<std::uint8_t> cut = BuildDictionary({t, t});
    cut.resize(60);
    WriteFile(dir + "/cut.txd", cut);
    CliRun cut60 = Cli("list '" + dir + "/cut.txd'", true);
    EXPECT_EQ(cut60.code, 1);
    EXPECT_EQ(cut60.out.find("1. "), std::string::npos) << cut60.out;
    EXPECT_EQ(cut60.out.rfind("kelmora-cli: " + dir + "/cut.txd: texture 1 of 2 (): can't jump", 0), 0u) << cut60.out;
    std::remove((dir + "/none.txd").c_str());

    CliRun missing = Cli("list '" + dir + "/none.txd'", true);
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "kelmora-cli: Cannot open file \"" + dir + "/none.txd\". No such file or directory\n");

    EXPECT_EQ(Cli("list", false, true).code, 2);
    EXPECT_EQ(Cli("frobnicate x", false, true).code, 2);
    EXPECT_EQ(Cli("--help").code, 0);
    CliRun version = Cli("--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_NE(version.out.find("1.2"), std::string::npos);
    std::filesystem::remove_all(dir);
}

class CliExport : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("cli-export");
        std::filesystem::copy_file(KELMORA_DEMO, dir_ + "/demo.txd");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST_F(CliExport, ExtractWithTheDialogDefaults) {
    CliRun r = Cli("extract " + Quote(dir_ + "/demo.txd"));
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("6 of 6 texture\\(s\\) exported within [0-9]+\\.[0-9]{2,4} seconds to " +
                                                    dir_ + "/demo/\\.\n")))
        << r.out;
    EXPECT_EQ(FilesIn(dir_ + "/demo"),
              (std::vector<std::string>{"checker.bmp", "checker_alpha.bmp", "glow.bmp", "glow_mask.bmp", "odd_tile.bmp",
                                        "odd_tile_alpha.bmp", "plasma.bmp", "plasma_alpha.bmp", "red_on_blue.bmp",
                                        "red_on_blue_m.bmp", "stripes16.bmp", "stripes16_a.bmp"}));

    // Again without overwriting: every texture is skipped and said so.
    CliRun again = Cli("extract --no-overwrite " + Quote(dir_ + "/demo.txd"), true);
    EXPECT_EQ(again.code, 0);
    EXPECT_NE(again.out.find("skipped texture 2 (glow): " + dir_ + "/demo/glow.bmp exists"), std::string::npos);
    EXPECT_NE(again.out.find("0 of 6 texture(s)"), std::string::npos);
}

TEST_F(CliExport, FormatsOptionsAndSeveralFiles) {
    std::filesystem::copy_file(dir_ + "/demo.txd", dir_ + "/two.more.txd");
    CliRun r = Cli("extract -o " + Quote(dir_ + "/o") + " -f TGA --only 1,3-4 " + Quote(dir_ + "/demo.txd") + " " +
                   Quote(dir_ + "/two.more.txd"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(FilesIn(dir_ + "/o"), (std::vector<std::string>{"demo/checker.tga", "demo/plasma.tga", "demo/stripes16.tga",
                                                              "two/checker.tga", "two/plasma.tga", "two/stripes16.tga"}));
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);
    EXPECT_NE(r.out.find("3 of 6 texture(s)"), std::string::npos);

    CliRun one = Cli("extract -o " + Quote(dir_ + "/p") + " -f jpg --no-alphas " + Quote(dir_ + "/demo.txd"));
    ASSERT_EQ(one.code, 0);
    EXPECT_EQ(FilesIn(dir_ + "/p").size(), 6u);
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/p/plasma.jpg"));

    EXPECT_EQ(Cli("extract -f gif " + Quote(dir_ + "/demo.txd"), false, true).code, 2);
    EXPECT_EQ(Cli("extract --only 2-1 " + Quote(dir_ + "/demo.txd"), false, true).code, 2);
    EXPECT_EQ(Cli("extract --only 9 " + Quote(dir_ + "/demo.txd"), false, true).code, 1);
}

TEST_F(CliExport, DirectoriesAndKeepGoing) {
    std::filesystem::create_directories(dir_ + "/tree/a/b");
    std::filesystem::copy_file(dir_ + "/demo.txd", dir_ + "/tree/a/b/cars.TXD");
    std::filesystem::copy_file(dir_ + "/demo.txd", dir_ + "/tree/top.txd");
    auto broken = ReadFile(dir_ + "/demo.txd");
    broken.resize(broken.size() / 2);
    WriteFile(dir_ + "/tree/a/broken.txd", broken);

    CliRun stop = Cli("extract -f tga -o " + Quote(dir_ + "/out") + " " + Quote(dir_ + "/tree"), true);
    EXPECT_EQ(stop.code, 1);
    EXPECT_NE(stop.out.find("can't jump to position"), std::string::npos) << stop.out;

    CliRun go = Cli("extract --keep-going -f tga -o " + Quote(dir_ + "/out2") + " " + Quote(dir_ + "/tree"), true);
    EXPECT_EQ(go.code, 1);
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/out2/a/b/cars/plasma.tga"));
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/out2/top/plasma.tga"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/out2/a/broken"));
}

TEST_F(CliExport, SaveOneTexture) {
    const std::string demo = Quote(dir_ + "/demo.txd");
    ASSERT_EQ(Cli("save " + demo + " 2 " + Quote(dir_ + "/glow.tga")).code, 0);
    auto tga = ReadFile(dir_ + "/glow.tga");
    EXPECT_EQ(tga.size(), 18u + 4 * 128 * 128);
    ASSERT_EQ(Cli("save --no-brighten " + demo + " 2 " + Quote(dir_ + "/dim.tga")).code, 0);
    auto dim = ReadFile(dir_ + "/dim.tga");
    // Centre of the glow: index 252, alpha 126 in the file, 251 brightened.
    std::size_t centre = 18 + 4 * (64 * 128 + 64) + 3;
    EXPECT_EQ(dim[centre], 126);
    EXPECT_EQ(tga[centre], 251);

    ASSERT_EQ(Cli("save " + demo + " 1 " + Quote(dir_ + "/plasma.jpeg")).code, 0);
    auto jpg = ReadFile(dir_ + "/plasma.jpeg");
    EXPECT_EQ(jpg[0], 0xFF);
    EXPECT_EQ(jpg[1], 0xD8);
    ASSERT_EQ(Cli("save -f bmp --alpha " + demo + " 6 " + Quote(dir_ + "/mask.jpg")).code, 0);
    auto bmp = ReadFile(dir_ + "/mask.jpg");
    EXPECT_EQ(bmp[0], 'B'); // the format follows -f, not the name
    EXPECT_EQ(bmp[54], 0xFF); // alpha 128 brightened: white

    EXPECT_EQ(Cli("save " + demo + " 7 " + Quote(dir_ + "/x.bmp"), false, true).code, 1);
    EXPECT_EQ(Cli("save " + demo + " 1 " + Quote(dir_ + "/x.gif"), false, true).code, 2);
    CliRun noDir = Cli("save " + demo + " 1 " + Quote(dir_ + "/no/x.bmp"), true);
    EXPECT_EQ(noDir.code, 1);
    EXPECT_EQ(noDir.out, "kelmora-cli: Cannot create file \"" + dir_ + "/no/x.bmp\". No such file or directory\n");
}

TEST(CliRegister, RegistersTheViewerBesideTheTool) {
    std::string dir = MakeTempDir("cli-reg");
    // A private XDG tree: the real home is not touched.
    std::string env = "HOME=" + Quote(dir) + " XDG_DATA_HOME=" + Quote(dir + "/d") + " XDG_CONFIG_HOME=" + Quote(dir + "/c");
    CommandResult reg = RunCommand(env + " '" + KELMORA_CLI + "' register-file-type 2>&1");
    EXPECT_EQ(reg.code, 0) << reg.out;
    auto bytes = ReadFile(dir + "/d/applications/kelmora.desktop");
    std::string desktop(bytes.begin(), bytes.end());
    std::filesystem::path cli = std::filesystem::canonical(KELMORA_CLI);
    std::filesystem::path viewer = cli.parent_path().parent_path() / "kelmora";
    ASSERT_TRUE(std::filesystem::exists(viewer));
    EXPECT_NE(desktop.find("Exec=" + viewer.string() + " %f\n"), std::string::npos) << desktop;
    EXPECT_TRUE(std::filesystem::exists(dir + "/c/mimeapps.list"));

    // A kelmora-cli with no viewer beside it registers nothing.
    std::filesystem::create_directories(dir + "/alone/bin");
    std::filesystem::copy_file(cli, dir + "/alone/bin/kelmora-cli");
    CommandResult alone = RunCommand(env + " " + Quote(dir + "/alone/bin/kelmora-cli") + " register-file-type 2>&1");
    EXPECT_EQ(alone.code, 1);
    EXPECT_EQ(alone.out, "kelmora-cli: No Kelmora viewer to register: there is no kelmora beside " + dir +
                             "/alone/bin/kelmora-cli\n");
    std::filesystem::remove_all(dir);
}

// The console-layout sample: mip levels on request, true colour in every format.
TEST_F(CliExport, MipLevelsAndTrueColour) {
    std::filesystem::copy_file(KELMORA_CONSOLE, dir_ + "/console.txd");
    CliRun r = Cli("extract --levels -o " + Quote(dir_ + "/o") + " " + Quote(dir_ + "/console.txd"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("6 of 6 texture(s)"), std::string::npos);
    const auto files = FilesIn(dir_ + "/o");
    for (const char* f : {"rings_mips.bmp", "rings_mips_a.bmp", "rings_mips.mip1.bmp", "rings_mips_a.mip1.bmp",
                          "rings_mips.mip4.bmp", "rings_mips_a.mip4.bmp", "sky_32bit.bmp", "sky_32bit_alpha.bmp"})
        EXPECT_NE(std::find(files.begin(), files.end(), f), files.end()) << f;
    EXPECT_EQ(std::find(files.begin(), files.end(), "rings_mips.mip5.bmp"), files.end());
    EXPECT_EQ(files.size(), 6u * 2 + 4 * 2);
    // Level 4 of a 128 x 128 texture is 8 x 8; the 32-bit one is a 24-bit bitmap.
    auto mip4 = ReadFile(dir_ + "/o/rings_mips.mip4.bmp");
    EXPECT_EQ(mip4[18], 8);
    EXPECT_EQ(ReadFile(dir_ + "/o/sky_32bit.bmp")[28], 24);
    EXPECT_EQ(ReadFile(dir_ + "/o/sky_32bit_alpha.bmp")[28], 8);

    // Without --levels, level 0 alone.
    CliRun plain = Cli("extract -f tga -o " + Quote(dir_ + "/t") + " " + Quote(dir_ + "/console.txd"));
    ASSERT_EQ(plain.code, 0);
    EXPECT_EQ(FilesIn(dir_ + "/t").size(), 6u);
}

// A texture that cannot be decoded: without --keep-going the run stops there;
// with it, the texture is named on standard error and the run goes on.
TEST_F(CliExport, KeepGoingPastATextureThatCannotBeDecoded) {
    TextureSpec bad = RandomTexture("bad one", 8, 8, 8, true, 2);
    bad.Depth = 24;
    auto bytes = BuildDictionary({RandomTexture("first", 8, 8, 8, true, 1), bad, RandomTexture("last", 8, 8, 4, true, 3)});
    WriteFile(dir_ + "/mixed.txd", bytes);
    WriteFile(dir_ + "/later.txd", BuildDictionary({RandomTexture("fine", 8, 8, 8, true, 4)}));
    const std::string both = Quote(dir_ + "/mixed.txd") + " " + Quote(dir_ + "/later.txd");

    CliRun stop = Cli("extract -f tga -o " + Quote(dir_ + "/s") + " " + both, true);
    EXPECT_EQ(stop.code, 1);
    EXPECT_NE(stop.out.find("mixed.txd: texture 2 (bad one): Unknown palette size detected!!! (24)"), std::string::npos)
        << stop.out;
    EXPECT_EQ(FilesIn(dir_ + "/s"), (std::vector<std::string>{"mixed/first.tga"}));

    CliRun go = Cli("extract --keep-going -f tga -o " + Quote(dir_ + "/g") + " " + both, true);
    EXPECT_EQ(go.code, 1);
    EXPECT_NE(go.out.find("kelmora-cli: " + dir_ + "/mixed.txd: texture 2 (bad one): Unknown palette size detected!!! (24)"),
              std::string::npos)
        << go.out;
    EXPECT_EQ(FilesIn(dir_ + "/g"), (std::vector<std::string>{"later/fine.tga", "mixed/first.tga", "mixed/last.tga"}));
    EXPECT_NE(go.out.find("2 of 3 texture(s)"), std::string::npos);

    // A texture whose pixels the file holds only in part, but more than half of
    // them, still decodes, with a warning and status 1.
    TextureSpec cut = RandomTexture("cut", 64, 64, 8, true, 5);
    auto cbytes = BuildDictionary({cut});
    const std::size_t dataOffset = 28 + 44 + 4 + 12 + 4 + 24;
    ASSERT_EQ(cbytes[dataOffset + 4], 64);
    cbytes[dataOffset + 4] = 128; // 64 x 128: 8192 pixel bytes
    WriteFile(dir_ + "/cut.txd", cbytes);
    const std::size_t present = cbytes.size() - (dataOffset + 156);
    CliRun warned = Cli("extract -o " + Quote(dir_ + "/c") + " " + Quote(dir_ + "/cut.txd"), true);
    EXPECT_EQ(warned.code, 1);
    EXPECT_NE(warned.out.find("texture 1 (cut) is cut short: " + std::to_string(present) + " of 8192 bytes"),
              std::string::npos)
        << warned.out;
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/c/cut.bmp"));
}

// For scripts: a JSON listing over several files and folders, batch totals,
// quiet runs, and errors that are one line each and say what was wrong.
TEST_F(CliExport, ScriptableListingsTotalsAndErrors) {
    std::filesystem::create_directories(dir_ + "/more/deep");
    std::filesystem::copy_file(KELMORA_CONSOLE, dir_ + "/more/deep/console.txd");
    WriteFile(dir_ + "/notes.txd", {'h', 'e', 'l', 'l', 'o', ' ', 't', 'e', 'x', 't', '\n'});
    const std::string demo = Quote(dir_ + "/demo.txd");

    CliRun json = Cli("list --json " + demo + " " + Quote(dir_ + "/more"));
    ASSERT_EQ(json.code, 0) << json.out;
    WriteFile(dir_ + "/list.json", {json.out.begin(), json.out.end()});
    // Python's own JSON reader takes the document; a few fields say it holds what the captions hold.
    CommandResult parsed = RunCommand("/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1]))[\"dictionaries\"]; "
                                      "t=d[1][\"textures\"][0]; print(len(d), d[0][\"textures\"][1][\"caption\"], t[\"name\"], "
                                      "t[\"levels\"], t[\"width\"], t[\"depth\"], d[1][\"path\"].endswith(\"console.txd\"))' " +
                                      Quote(dir_ + "/list.json"));
    EXPECT_EQ(parsed.out, "2 2. glow / glow_mask  |  128 x 128 (8bit) rings_mips 5 128 8 True\n") << json.out;

    CliRun several = Cli("list " + demo + " " + Quote(dir_ + "/more"));
    EXPECT_EQ(several.code, 0);
    EXPECT_EQ(several.out.rfind(dir_ + "/demo.txd:\n1. plasma  |  256 x 256 (8bit)\n", 0), 0u) << several.out;
    EXPECT_NE(several.out.find("\n\n" + dir_ + "/more/deep/console.txd:\n1. rings_mips / rings_mips_a"), std::string::npos);

    // Something that is not a dictionary is said so, in one line, not listed.
    CliRun text = Cli("list " + Quote(dir_ + "/notes.txd"), true);
    EXPECT_EQ(text.code, 1);
    EXPECT_EQ(text.out, "kelmora-cli: " + dir_ + "/notes.txd is not a texture dictionary\n");

    // A batch ends with its total; -q keeps nothing but the errors.
    CliRun batch = Cli("extract --keep-going -o " + Quote(dir_ + "/o") + " " + demo + " " + Quote(dir_ + "/notes.txd") +
                       " " + Quote(dir_ + "/more"), true);
    EXPECT_EQ(batch.code, 1);
    EXPECT_NE(batch.out.find("kelmora-cli: 3 dictionaries: 2 exported, 1 failed\n"), std::string::npos) << batch.out;
    CliRun quiet = Cli("extract -q --keep-going -o " + Quote(dir_ + "/q") + " " + demo + " " + Quote(dir_ + "/notes.txd"), true);
    EXPECT_EQ(quiet.out, "kelmora-cli: " + dir_ + "/notes.txd is not a texture dictionary\n");
    EXPECT_EQ(Cli("extract -q -o " + Quote(dir_ + "/q2") + " " + demo, true).out, "");

    // Usage errors name what was wrong, on one line each.
    for (const auto& [args, want] : std::vector<std::pair<std::string, std::string>>{
             {"bogus x", "kelmora-cli: unknown command \"bogus\"; the commands are list, extract, save, import, replace, add, remove, rename, find, unpack, pack, rebuild, convert, register-file-type\n"},
             {"list", "kelmora-cli: FILE is required (see kelmora-cli --help)\n"},
             {"extract -f gif x", ""}}) {
        CliRun r = Cli(args, true);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << args << ": " << r.out;
        EXPECT_EQ(r.out.rfind("kelmora-cli: ", 0), 0u) << args << ": " << r.out;
        if (!want.empty()) {
            EXPECT_EQ(r.out, want);
        }
    }
}

// -f png and a .png name: palettised PNGs at the texture's depth, RGBA for true colour.
TEST_F(CliExport, PngFromTheCommandLine) {
    std::filesystem::copy_file(KELMORA_CONSOLE, dir_ + "/console.txd");
    CliRun r = Cli("extract -f png -o " + Quote(dir_ + "/o") + " " + Quote(dir_ + "/console.txd"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(FilesIn(dir_ + "/o").size(), 6u); // no companions
    CommandResult modes = RunCommand(
        "/usr/bin/python3 -c 'import sys; from PIL import Image; "
        "print(*[Image.open(sys.argv[1] + n + \".png\").mode + str(open(sys.argv[1] + n + \".png\", \"rb\").read(25)[24]) "
        "for n in (\"rings_mips\", \"tiny_4bit\", \"sky_32bit\", \"tiles_16bit\")])' " + Quote(dir_ + "/o/"));
    EXPECT_EQ(modes.out, "P8 P4 RGBA8 RGBA8\n");
    ASSERT_EQ(Cli("save --no-brighten " + Quote(dir_ + "/console.txd") + " 5 " + Quote(dir_ + "/sky.png")).code, 0);
    CommandResult sky = RunCommand("/usr/bin/python3 -c 'from PIL import Image; print(Image.open(\"" + dir_ +
                                   "/sky.png\").getpixel((0, 0)))'");
    EXPECT_EQ(sky.out, "(40, 90, 230, 128)\n");
}
