// kelmora-cli over game archives, and batches that go on past what they cannot write.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"

using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

CommandResult Cli(const std::string& args, bool merge = true) {
    return RunCommand(std::string("'") + KELMORA_CLI + "' " + args + (merge ? " 2>&1" : " 2>/dev/null"));
}

// Every file below dir as "relative path" -> bytes.
std::map<std::string, std::vector<std::uint8_t>> Tree(const std::string& dir) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            files[fs::relative(e.path(), dir).string()] = ReadFile(e.path().string());
    return files;
}

class ArchiveCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("archcli");
        cars_ = BuildDictionary({RandomTexture("wheel", 32, 16, 8, true, 1), RealTexture("body", 64, 64, 4, 3, 2)});
        hud_ = BuildDictionary({RealTexture("radar", 32, 32, 32, 1, 3), RandomTexture("font", 16, 16, 4, true, 4)});
        files_ = {{"cars.txd", cars_}, {"cars.dff", std::vector<std::uint8_t>(100, 1)}, {"hud.txd", hud_}};
        fs::create_directory(dir_ + "/loose");
        WriteFile(dir_ + "/loose/cars.txd", cars_);
        WriteFile(dir_ + "/loose/hud.txd", hud_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Q(const std::string& rel) const { return Quote(dir_ + "/" + rel); }

    std::string dir_;
    std::vector<std::uint8_t> cars_, hud_;
    std::vector<ArchiveFile> files_;
};

} // namespace

TEST_F(ArchiveCli, ListsTheDictionariesOfBothVersions) {
    WriteFile(dir_ + "/game.img", BuildArchiveV2(files_));
    const ArchiveV1 v1 = BuildArchiveV1(files_);
    WriteFile(dir_ + "/old.dir", v1.Dir);
    WriteFile(dir_ + "/old.img", v1.Img);
    const std::string cars = std::to_string((cars_.size() + 2047) / 2048 * 2048);
    const std::string hud = std::to_string((hud_.size() + 2047) / 2048 * 2048);
    for (const std::string archive : {"game.img", "old.dir", "old.img"}) {
        SCOPED_TRACE(archive);
        CommandResult r = Cli("list " + Q(archive));
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, "cars.txd  " + cars + " bytes, 2 texture(s)\nhud.txd  " + hud + " bytes, 2 texture(s)\n"
                         "free: 0 bytes that a rebuild recovers\n");
    }
    // --all lists the textures as for loose files, each under its archive entry.
    CommandResult all = Cli("list --all " + Q("game.img"));
    CommandResult loose = Cli("list " + Q("loose/cars.txd") + " " + Q("loose/hud.txd"));
    EXPECT_EQ(all.code, 0);
    std::string expected = loose.out;
    for (const std::string name : {"cars.txd", "hud.txd"})
        expected.replace(expected.find(dir_ + "/loose/" + name), (dir_ + "/loose/" + name).size(),
                         dir_ + "/game.img:" + name);
    EXPECT_EQ(all.out, expected + "free: 0 bytes that a rebuild recovers\n");

    CommandResult json = Cli("list --json " + Q("game.img") + " " + Q("loose/cars.txd"), false);
    ASSERT_EQ(json.code, 0);
    WriteFile(dir_ + "/l.json", {json.out.begin(), json.out.end()});
    CommandResult parsed = RunCommand(
        "/usr/bin/python3 -c 'import json,sys; d=json.load(open(sys.argv[1]))[\"dictionaries\"]; "
        "print(len(d), d[0][\"archive\"] == d[0][\"path\"], d[0][\"name\"], d[0][\"size\"], d[1][\"name\"], "
        "d[0][\"textures\"] == d[2][\"textures\"], \"archive\" in d[2], d[1][\"textures\"][0][\"depth\"])' " +
        Q("l.json"));
    EXPECT_EQ(parsed.out, "3 True cars.txd " + cars + " hud.txd True False 32\n") << json.out;
}

// Exporting from an archive writes the same bytes as exporting the loose files,
// into OUT/<archive name>/<dictionary name>/.
TEST_F(ArchiveCli, ExportsTheSameBytesAsTheLooseFiles) {
    WriteFile(dir_ + "/game.img", BuildArchiveV2(files_));
    const ArchiveV1 v1 = BuildArchiveV1(files_);
    WriteFile(dir_ + "/old.dir", v1.Dir);
    WriteFile(dir_ + "/old.img", v1.Img);
    for (const char* format : {"png", "bmp", "tga", "jpg"}) {
        SCOPED_TRACE(format);
        const std::string f = std::string(" -f ") + format + " ";
        ASSERT_EQ(Cli("extract -q" + f + "-o " + Q(std::string("loose-") + format) + " " + Q("loose/cars.txd") + " " +
                      Q("loose/hud.txd")).code, 0);
        CommandResult r = Cli("extract -q" + f + "-o " + Q(std::string("arch-") + format) + " " + Q("game.img") +
                              " " + Q("old.dir"));
        ASSERT_EQ(r.code, 0) << r.out;
        const auto want = Tree(dir_ + "/loose-" + format);
        ASSERT_EQ(want.size(), std::string(format) == "tga" || std::string(format) == "png" ? 4u : 8u);
        EXPECT_EQ(Tree(dir_ + "/arch-" + format + "/game"), want);
        EXPECT_EQ(Tree(dir_ + "/arch-" + format + "/old"), want);
    }

    // --only-dict picks by name, with or without the extension, in any case.
    CommandResult only = Cli("extract -o " + Q("only") + " --only-dict HUD " + Q("game.img"));
    EXPECT_EQ(only.code, 0) << only.out;
    EXPECT_EQ(Tree(dir_ + "/only/game/hud"), Tree(dir_ + "/loose-bmp/hud"));
    EXPECT_FALSE(fs::exists(dir_ + "/only/game/cars"));
    CommandResult none = Cli("extract -o " + Q("none") + " --only-dict boats.txd " + Q("game.img"));
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.out.find("kelmora-cli: " + dir_ + "/game.img has no dictionary named boats.txd\n"),
              std::string::npos) << none.out;

    // Without -o the archive's folder goes beside it.
    EXPECT_EQ(Cli("extract -q " + Q("game.img")).code, 0);
    EXPECT_EQ(Tree(dir_ + "/game/cars"), Tree(dir_ + "/loose-bmp/cars"));
}

TEST_F(ArchiveCli, HostileArchivesNameTheEntryAndStayInsideTheDestination) {
    const std::uint32_t s = static_cast<std::uint32_t>((cars_.size() + 2047) / 2048);
    std::vector<ArchiveRow> rows = {{1, s, "cars.txd"},
                                    {1 + s, s, "../../evil.txd"},
                                    {1 + 2 * s, s, "sub/dir\\x.txd"},
                                    {500000, 1, "far.txd"},
                                    {1, 1, "twin.txd"},
                                    {1 + 3 * s, 0, "zero.txd"}};
    WriteFile(dir_ + "/bad.img",
              BuildArchiveV2(rows, 6, {{"", cars_}, {"", hud_}, {"", cars_}, {}, {}, {}}));
    CommandResult r = Cli("extract -f tga -o " + Q("out/in") + " " + Q("bad.img"));
    EXPECT_EQ(r.code, 1) << r.out;
    const std::string head = "kelmora-cli: " + dir_ + "/bad.img: ";
    for (const std::string line : {"entry 4 (far.txd) starts at byte 1024000000, past the end of the archive's",
                                   "entry 6 (zero.txd) is empty; skipped",
                                   "entry 5 (twin.txd) overlaps entry 1 (cars.txd); skipped"})
        EXPECT_NE(r.out.find(head + line), std::string::npos) << r.out;
    // Every dictionary that could be read is written, and nothing outside out/in.
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Tree(dir_ + "/out"))
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"in/bad/.._.._evil/font.tga", "in/bad/.._.._evil/radar.tga",
                                               "in/bad/cars/body.tga", "in/bad/cars/wheel.tga",
                                               "in/bad/sub_dir_x/body.tga", "in/bad/sub_dir_x/wheel.tga"}));
    EXPECT_FALSE(fs::exists(dir_ + "/evil"));

    // A table without its data, and a file that is no archive at all.
    WriteFile(dir_ + "/lonely.dir", BuildTable({{0, 1, "a.txd"}}, false));
    CommandResult lonely = Cli("list " + Q("lonely.dir"));
    EXPECT_EQ(lonely.code, 1);
    EXPECT_EQ(lonely.out, "kelmora-cli: " + dir_ + "/lonely.dir has no data file: lonely.img is missing\n");
    WriteFile(dir_ + "/noise.img", std::vector<std::uint8_t>(5000, 'x'));
    CommandResult noise = Cli("list " + Q("noise.img"));
    EXPECT_EQ(noise.code, 1);
    EXPECT_EQ(noise.out, "kelmora-cli: " + dir_ + "/noise.img is not a texture dictionary\n");
}

// --keep-going writes everything it can: a file that cannot be written is named
// with its reason, the rest of its dictionary and of the batch follow.
TEST_F(ArchiveCli, KeepGoingGoesPastFilesThatCannotBeWritten) {
    fs::create_directories(dir_ + "/out/cars/wheel.bmp"); // a directory takes the name
    CommandResult r = Cli("extract --keep-going -o " + Q("out") + " " + Q("loose/cars.txd") + " " + Q("loose/hud.txd"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("kelmora-cli: " + dir_ + "/loose/cars.txd: texture 1 (wheel): Stream write error: \"" + dir_ +
                         "/out/cars/wheel.bmp\". Is a directory\n"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 of 2 texture(s) exported"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("kelmora-cli: 2 dictionaries: 1 exported, 1 failed\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir_ + "/out/cars/body.bmp"));
    EXPECT_TRUE(fs::exists(dir_ + "/out/hud/radar.bmp"));

    // Without it the batch stops at the first such file.
    fs::create_directories(dir_ + "/stop/cars/wheel.bmp");
    CommandResult stop = Cli("extract -o " + Q("stop") + " " + Q("loose/cars.txd") + " " + Q("loose/hud.txd"));
    EXPECT_EQ(stop.code, 1);
    EXPECT_FALSE(fs::exists(dir_ + "/stop/cars/body.bmp"));
    EXPECT_FALSE(fs::exists(dir_ + "/stop/hud"));
    EXPECT_NE(stop.out.find("kelmora-cli: 2 dictionaries: 0 exported, 1 failed\n"), std::string::npos) << stop.out;
}

// The file managers' thumbnailer: the first texture that decodes, shrunk to fit
// and never enlarged, or one clear line.
TEST_F(ArchiveCli, ThumbnailerShowsTheFirstTextureThatDecodes) {
    TextureSpec broken = RandomTexture("broken", 16, 16, 8, true, 1);
    broken.Depth = 24;
    TextureSpec small = RealTexture("small", 32, 16, 32, 1, 2);
    WriteFile(dir_ + "/t.txd", BuildDictionary({broken, small}));
    const std::string run = std::string("'") + KELMORA_THUMBNAILER + "' ";
    CommandResult r = RunCommand(run + "-s 256 " + Q("t.txd") + " " + Q("t.png") + " 2>&1");
    ASSERT_EQ(r.code, 0) << r.out;
    CommandResult size = RunCommand("/usr/bin/python3 -c 'from PIL import Image; i = Image.open(\"" + dir_ +
                                    "/t.png\"); print(i.size, i.mode)'");
    EXPECT_EQ(size.out, "(32, 16) RGBA\n");
    RunCommand(run + "-s 8 " + Q("t.txd") + " " + Q("t8.png"));
    EXPECT_EQ(RunCommand("/usr/bin/python3 -c 'from PIL import Image; print(Image.open(\"" + dir_ + "/t8.png\").size)'").out,
              "(8, 4)\n");
    WriteFile(dir_ + "/x.txd", {'n', 'o', 'p', 'e', 0, 0});
    CommandResult bad = RunCommand(run + "-s 128 " + Q("x.txd") + " " + Q("x.png") + " 2>&1");
    EXPECT_EQ(bad.code, 1);
    EXPECT_EQ(bad.out, "kelmora-thumbnailer: " + dir_ + "/x.txd is not a texture dictionary\n");
    EXPECT_FALSE(fs::exists(dir_ + "/x.png"));
    EXPECT_EQ(RunCommand(run + "-s 0 a b 2>/dev/null").code, 2);
}
