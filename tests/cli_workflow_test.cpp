// kelmora-cli as modders use it: ARCHIVE::NAME wherever a dictionary is read,
// texture names in any case, find by part of a name with grep's exit status,
// pack --create, import from the archive's own folder, list --all's one line
// for empty dictionaries, and the progress line on a terminal only.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"

using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

CommandResult Cli(const std::string& args) { return RunCommand(Quote(KELMORA_CLI) + " " + args + " 2>&1"); }

class CliWorkflow : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("workflow");
        cars_ = BuildDictionary({RandomTexture("cj_gener_wheel", 32, 16, 8, true, 1), RealTexture("body", 64, 64, 4, 3, 2)});
        hud_ = BuildDictionary({RandomTexture("radar", 32, 32, 8, true, 3)});
        WriteFile(dir_ + "/w.img", BuildArchiveV2({{"cars.txd", cars_}, {"hud.txd", hud_}, {"empty.txd", BuildDictionary({})}}));
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string P(const std::string& name) const { return Quote(dir_ + "/" + name); }
    std::string dir_;
    std::vector<std::uint8_t> cars_, hud_;
};

} // namespace

TEST_F(CliWorkflow, ArchiveNameIsReadWhereverADictionaryIs) {
    const CommandResult list = Cli("list " + P("w.img::cars"));
    EXPECT_EQ(list.code, 0) << list.out;
    EXPECT_EQ(list.out, "1. cj_gener_wheel  |  32 x 16 (8bit)\n2. body  |  64 x 64 (4bit)\n");
    EXPECT_NE(Cli("list --json " + P("w.img::CARS.TXD")).out.find(R"("name": "cars.txd")"), std::string::npos);

    ASSERT_EQ(Cli("save " + P("w.img::cars.txd") + " body " + P("body.png")).code, 0);
    WriteFile(dir_ + "/cars.txd", cars_);
    ASSERT_EQ(Cli("save " + P("cars.txd") + " body " + P("loose.png")).code, 0);
    EXPECT_EQ(ReadFile(dir_ + "/body.png"), ReadFile(dir_ + "/loose.png"));

    // Where a whole archive's extract puts it, or below -o.
    const CommandResult x = Cli("extract -q -f png " + P("w.img::hud"));
    EXPECT_EQ(x.code, 0) << x.out;
    EXPECT_TRUE(fs::exists(dir_ + "/w/hud/radar.png"));
    EXPECT_EQ(Cli("extract -q -f png -o " + P("o") + " " + P("w.img::hud")).code, 0);
    EXPECT_TRUE(fs::exists(dir_ + "/o/radar.png"));

    const CommandResult find = Cli("find radar " + P("w.img::hud"));
    EXPECT_EQ(find.code, 0);
    EXPECT_EQ(find.out, dir_ + "/w.img::hud.txd: 1. radar  |  32 x 32 (8bit)\n");

    const CommandResult missing = Cli("list " + P("w.img::nothing"));
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "kelmora-cli: " + dir_ + "/w.img has no entry named nothing\n");
}

TEST_F(CliWorkflow, TextureNamesResolveInAnyCaseWhenOnlyOneMatches) {
    WriteFile(dir_ + "/cars.txd", cars_);
    EXPECT_EQ(Cli("save " + P("cars.txd") + " CJ_GENER_WHEEL " + P("a.png")).code, 0);
    EXPECT_EQ(Cli("save " + P("cars.txd") + " cj_gener_wheel " + P("b.png")).code, 0);
    EXPECT_EQ(ReadFile(dir_ + "/a.png"), ReadFile(dir_ + "/b.png"));
    const CommandResult replace = Cli("replace " + P("cars.txd") + " CJ_Gener_Wheel " + P("a.png"));
    EXPECT_EQ(replace.code, 0) << replace.out;

    // Two names that differ only in case: the stored one is exact, the others ask for a number.
    WriteFile(dir_ + "/two.txd", BuildDictionary({RandomTexture("Wheel", 8, 8, 8, true, 1), RandomTexture("WHEEL", 8, 8, 8, true, 2),
                                                  RandomTexture("body", 8, 8, 8, true, 3)}));
    EXPECT_EQ(Cli("save " + P("two.txd") + " WHEEL " + P("c.png")).code, 0);
    const CommandResult both = Cli("save " + P("two.txd") + " wheel " + P("d.png"));
    EXPECT_EQ(both.code, 1);
    EXPECT_EQ(both.out, "kelmora-cli: " + dir_ + "/two.txd has 2 textures named wheel in other cases (1, 2); give the number\n");
    EXPECT_FALSE(fs::exists(dir_ + "/d.png"));
}

TEST_F(CliWorkflow, FindMatchesPartOfANameAndSaysNothingFoundByItsStatus) {
    const CommandResult part = Cli("find GENER " + P("w.img"));
    EXPECT_EQ(part.code, 0);
    EXPECT_EQ(part.out, dir_ + "/w.img::cars.txd: 1. cj_gener_wheel  |  32 x 16 (8bit)\n");
    // A pattern with wildcards is still a whole-name pattern.
    EXPECT_EQ(Cli("find 'gener*' " + P("w.img")).code, 1);
    const CommandResult none = Cli("find nothing_like_it " + P("w.img"));
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(Cli("find --json nothing_like_it " + P("w.img")).out, "{\n  \"matches\": []\n}\n");
}

TEST_F(CliWorkflow, PackCreatesArchivesOfBothKindsWholeOrNotAtAll) {
    WriteFile(dir_ + "/cars.txd", cars_);
    WriteFile(dir_ + "/hud.txd", hud_);
    const CommandResult v2 = Cli("pack --create " + P("new.img") + " " + P("cars.txd") + " " + P("hud.txd"));
    EXPECT_EQ(v2.code, 0) << v2.out;
    EXPECT_EQ(ReadBack(ReadFile(dir_ + "/new.img")),
              (std::vector<ArchiveFile>{{"cars.txd", ReadBack(BuildArchiveV2({{"cars.txd", cars_}}))[0].Bytes},
                                        {"hud.txd", ReadBack(BuildArchiveV2({{"hud.txd", hud_}}))[0].Bytes}}));
    const CommandResult v1 = Cli("pack --create " + P("old.dir") + " " + P("cars.txd"));
    EXPECT_EQ(v1.code, 0) << v1.out;
    EXPECT_EQ(ReadBack(ReadFile(dir_ + "/old.img"), ReadFile(dir_ + "/old.dir")).size(), 1u);
    EXPECT_EQ(Cli("list " + P("old.img::cars")).code, 0);

    // An archive that exists is not made again; nothing is written.
    const auto before = ReadFile(dir_ + "/new.img");
    const CommandResult again = Cli("pack --create " + P("new.img") + " " + P("cars.txd"));
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.out.find("exists already"), std::string::npos) << again.out;
    EXPECT_EQ(ReadFile(dir_ + "/new.img"), before);
    // A file that cannot go in leaves no archive behind.
    WriteFile(dir_ + "/a name that is far too long for the table.txd", cars_);
    const CommandResult refused = Cli("pack --create " + P("bad.img") + " " + P("a name that is far too long for the table.txd"));
    EXPECT_EQ(refused.code, 1);
    EXPECT_FALSE(fs::exists(dir_ + "/bad.img"));
}

TEST_F(CliWorkflow, ImportTakesTheFolderExtractWroteOrTheArchivesOwn) {
    ASSERT_EQ(Cli("extract -q -f png -o " + P("all") + " " + P("w.img")).code, 0);
    const auto before = ReadFile(dir_ + "/w.img");
    for (const std::string folder : {"all", "all/w", "all/w/"}) {
        const CommandResult r = Cli("import " + P("w.img") + " " + P(folder));
        EXPECT_EQ(r.code, 0) << folder << ": " << r.out;
        EXPECT_NE(r.out.find("nothing written"), std::string::npos) << r.out;
    }
    EXPECT_EQ(ReadFile(dir_ + "/w.img"), before);
    fs::create_directory(dir_ + "/other");
    const CommandResult wrong = Cli("import " + P("w.img") + " " + P("other"));
    EXPECT_EQ(wrong.code, 1);
    EXPECT_NE(wrong.out.find("holds no folder w"), std::string::npos) << wrong.out;
}

TEST_F(CliWorkflow, ListAllSaysEmptyDictionariesOnce) {
    std::vector<ArchiveFile> files = {{"cars.txd", cars_}};
    for (int i = 0; i < 20; ++i)
        files.push_back({"e" + std::to_string(i) + ".txd", BuildDictionary({})});
    WriteFile(dir_ + "/many.img", BuildArchiveV2(files));
    const CommandResult r = RunCommand(Quote(KELMORA_CLI) + " list --all " + P("many.img") + " 2>&1 >/dev/null");
    EXPECT_EQ(r.out, "kelmora-cli: " + dir_ + "/many.img: 20 of 21 dictionaries are empty\n");
}

// Progress is one line redrawn on a terminal (a pty here), and nothing on a pipe
// or with -q. The delay before it shows is taken away for the test.
TEST_F(CliWorkflow, ProgressShowsOnATerminalOnly) {
    const std::string cmd = "KELMORA_PROGRESS_AFTER_MS=0 " + Quote(KELMORA_CLI) + " extract -f png -o " + P("p") + " " + P("w.img");
    const CommandResult tty = RunCommand("script -qfec " + Quote(cmd) + " /dev/null");
    EXPECT_NE(tty.out.find("\rdictionary 1 of 3, cars.txd"), std::string::npos) << tty.out;
    const CommandResult pipe = RunCommand(cmd + " 2>&1");
    EXPECT_EQ(pipe.out.find('\r'), std::string::npos) << pipe.out;
    const CommandResult quiet = RunCommand("script -qfec " + Quote(cmd + " -q") + " /dev/null");
    EXPECT_EQ(quiet.out.find("dictionary 1 of 3"), std::string::npos) << quiet.out;
    const std::string find = "KELMORA_PROGRESS_AFTER_MS=0 " + Quote(KELMORA_CLI) + " find radar " + P("w.img");
    EXPECT_NE(RunCommand("script -qfec " + Quote(find) + " /dev/null").out.find("dictionaries searched"), std::string::npos);
    EXPECT_EQ(RunCommand("script -qfec " + Quote(find + " --json") + " /dev/null").out.find("searched"), std::string::npos);
}
