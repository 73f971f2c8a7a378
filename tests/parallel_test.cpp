// Batches on every core give what one thread gives: the same files with the same
// bytes, the same lines in the same order, the same totals and exit status, with
// failures in the batch and a write that fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class ParallelTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("parallel"); }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Q(const std::string& rel) const { return Quote(dir_ + "/" + rel); }
    // The run's output with its own folder's name and the seconds taken made alike.
    CommandResult Run(const std::string& args, const std::string& out, const std::string& env = "") const {
        CommandResult r = RunCommand(env + Quote(KELMORA_CLI) + " " + args + " 2>&1");
        r.out = std::regex_replace(r.out, std::regex(dir_ + "/" + out), "OUT");
        r.out = std::regex_replace(r.out, std::regex("within [0-9.]+ seconds"), "within S seconds");
        return r;
    }
    // Every file below a folder with its bytes.
    std::map<std::string, std::vector<std::uint8_t>> Tree(const std::string& rel) const {
        std::map<std::string, std::vector<std::uint8_t>> files;
        if (!fs::exists(dir_ + "/" + rel))
            return files;
        for (const auto& e : fs::recursive_directory_iterator(dir_ + "/" + rel))
            if (e.is_regular_file())
                files[fs::relative(e.path(), dir_ + "/" + rel).string()] = ReadFile(e.path().string());
        return files;
    }
    std::string dir_;
};

} // namespace

TEST_F(ParallelTest, ExtractGivesTheSameWhateverTheJobs) {
    fs::create_directories(dir_ + "/game/sub");
    std::vector<TextureSpec> many;
    for (std::uint32_t i = 0; i < 12; ++i)
        many.push_back(RealTexture("t" + std::to_string(i % 9), 32 << (i % 3), 32, i % 2 ? 4 : 8, 1 + i % 3, i + 1));
    many.push_back(RealTexture("sky", 32, 16, 32, 1, 50));
    TextureSpec odd = RandomTexture("odd", 16, 16, 8, true, 60);
    odd.Depth = 24; // the decoder refuses it: a failure in the middle of a dictionary
    many.insert(many.begin() + 5, odd);
    WriteFile(dir_ + "/game/many.txd", BuildDictionary(many));
    fs::copy_file(KELMORA_DEMO, dir_ + "/game/demo.txd");
    fs::copy_file(KELMORA_CONSOLE, dir_ + "/game/sub/console.txd");
    std::vector<std::uint8_t> cut = BuildDictionary({many[0], many[1]});
    cut.resize(cut.size() - 100);
    WriteFile(dir_ + "/game/sub/cut.txd", cut);

    for (const std::string& options : {std::string("-f png"), std::string("-f jpg"), std::string("-f bmp --levels"),
                                       std::string("-f tga --no-alphas")}) {
        SCOPED_TRACE(options);
        const CommandResult one = Run("extract --keep-going " + options + " -j 1 -o " + Q("one") + " " + Q("game"), "one");
        const CommandResult four = Run("extract --keep-going " + options + " -j 4 -o " + Q("four") + " " + Q("game"), "four");
        EXPECT_EQ(one.code, 1);
        EXPECT_EQ(four.code, one.code);
        EXPECT_EQ(four.out, one.out);
        EXPECT_NE(one.out.find("Unknown palette size detected!!! (24)"), std::string::npos) << one.out;
        EXPECT_EQ(Tree("four"), Tree("one"));
        EXPECT_GT(Tree("one").size(), 12u);
        // Without --keep-going the batch stops at the same place.
        const CommandResult stopOne = Run("extract " + options + " -j 1 -o " + Q("s1") + " " + Q("game"), "s1");
        const CommandResult stopFour = Run("extract " + options + " -j 4 -o " + Q("s4") + " " + Q("game"), "s4");
        EXPECT_EQ(stopFour.code, stopOne.code);
        EXPECT_EQ(stopFour.out, stopOne.out);
        EXPECT_EQ(Tree("s4"), Tree("s1"));
        for (const char* d : {"one", "four", "s1", "s4"})
            fs::remove_all(dir_ + "/" + d);
    }

    // A write that fails (the disk full past 3000 bytes of a file) is the same failure
    // whichever thread compressed the file.
    const std::string full = "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" + Quote(KELMORA_FAIL_IO) +
                             " KELMORA_FAIL=write:3000 ";
    const CommandResult one = Run("extract --keep-going -f png -j 1 -o " + Q("one") + " " + Q("game"), "one", full);
    const CommandResult four = Run("extract --keep-going -f png -j 4 -o " + Q("four") + " " + Q("game"), "four", full);
    EXPECT_EQ(one.code, 1);
    EXPECT_EQ(four.code, one.code);
    EXPECT_EQ(four.out, one.out);
    EXPECT_NE(one.out.find("No space left on device"), std::string::npos) << one.out;
    EXPECT_EQ(Tree("four"), Tree("one"));
}

TEST_F(ParallelTest, ImportIntoAnArchiveGivesTheSameWhateverTheJobs) {
    std::vector<ArchiveFile> files;
    for (std::uint32_t i = 0; i < 6; ++i)
        files.push_back({"d" + std::to_string(i) + ".txd",
                         BuildDictionary({RealTexture("a" + std::to_string(i), 32, 32, 8, 2, i + 1),
                                          RealTexture("b" + std::to_string(i), 16, 16, 4, 1, i + 20)})});
    WriteFile(dir_ + "/game.img", BuildArchiveV2(files));
    ASSERT_EQ(Run("extract -q -f png -o " + Q("edit") + " " + Q("game.img"), "edit").code, 0);
    // Edits in some dictionaries: a picture of another size, a stray file.
    fs::copy_file(dir_ + "/edit/game/d1/a1.png", dir_ + "/edit/game/d3/a3.png", fs::copy_options::overwrite_existing);
    fs::copy_file(dir_ + "/edit/game/d0/a0.png", dir_ + "/edit/game/d4/stray.png");
    fs::copy_file(dir_ + "/edit/game/d0/b0.png", dir_ + "/edit/game/d5/b5.png", fs::copy_options::overwrite_existing);
    const std::vector<std::uint8_t> before = ReadFile(dir_ + "/game.img");
    const CommandResult one = Run("import -j 1 " + Q("game.img") + " " + Q("edit"), "");
    const std::vector<std::uint8_t> byOne = ReadFile(dir_ + "/game.img");
    WriteFile(dir_ + "/game.img", before);
    const CommandResult four = Run("import -j 4 " + Q("game.img") + " " + Q("edit"), "");
    ASSERT_EQ(one.code, 0) << one.out;
    EXPECT_EQ(four.code, 0);
    EXPECT_EQ(four.out, one.out);
    EXPECT_NE(one.out.find("2 texture(s) of 2 dictionaries replaced"), std::string::npos) << one.out;
    EXPECT_NE(byOne, before);
    EXPECT_EQ(ReadFile(dir_ + "/game.img"), byOne);
}

TEST_F(ParallelTest, ArchivesAndChosenDictionariesGiveTheSameWhateverTheJobs) {
    // An archive whose dictionaries are prepared ahead, one of them not a
    // dictionary at all, a name that matches none, and list lines past the end
    // of some dictionaries: the lines come in the same places.
    std::vector<ArchiveFile> files;
    for (std::uint32_t i = 0; i < 7; ++i) {
        std::vector<TextureSpec> textures;
        for (std::uint32_t t = 0; t <= i % 4; ++t)
            textures.push_back(RealTexture("t" + std::to_string(t), 32, 16 << (t % 2), t % 2 ? 4 : 8, 1, i * 10 + t));
        files.push_back({"d" + std::to_string(i) + ".txd", BuildDictionary(textures)});
    }
    files[4].Bytes = std::vector<std::uint8_t>(200, 7);
    WriteFile(dir_ + "/game.img", BuildArchiveV2(files));
    fs::create_directories(dir_ + "/loose");
    fs::copy_file(KELMORA_DEMO, dir_ + "/loose/demo.txd");
    fs::copy_file(KELMORA_CONSOLE, dir_ + "/loose/console.txd");

    for (const std::string& options :
         {std::string("--keep-going --only 2-3"), std::string("--keep-going --only-dict d1 --only-dict d4 "
                                                              "--only-dict d6 --only-dict none"),
          std::string("--only 1")}) {
        SCOPED_TRACE(options);
        const std::string inputs = " " + Q("loose") + " " + Q("game.img") + " " + Q("loose/demo.txd");
        const CommandResult one = Run("extract -f png " + options + " -j 1 -o " + Q("one") + inputs, "one");
        const CommandResult four = Run("extract -f png " + options + " -j 4 -o " + Q("four") + inputs, "four");
        EXPECT_NE(one.code, 0);
        EXPECT_EQ(four.code, one.code);
        EXPECT_EQ(four.out, one.out);
        EXPECT_EQ(Tree("four"), Tree("one"));
        EXPECT_FALSE(Tree("one").empty());
        fs::remove_all(dir_ + "/one");
        fs::remove_all(dir_ + "/four");
    }
}

TEST_F(ParallelTest, ImportIntoAFolderGivesTheSameWhateverTheJobs) {
    fs::create_directories(dir_ + "/game/sub");
    for (std::uint32_t i = 0; i < 6; ++i)
        WriteFile(dir_ + "/game/" + (i % 2 ? "sub/" : "") + "d" + std::to_string(i) + ".txd",
                  BuildDictionary({RealTexture("a" + std::to_string(i), 32, 32, 8, 2, i + 1),
                                   RealTexture("b" + std::to_string(i), 16, 16, 4, 1, i + 20)}));
    ASSERT_EQ(Run("extract -q -f png -o " + Q("edit") + " " + Q("game"), "edit").code, 0);
    // Edits in some dictionaries' folders: a picture of another size, a stray file.
    fs::copy_file(dir_ + "/edit/d0/a0.png", dir_ + "/edit/sub/d3/a3.png", fs::copy_options::overwrite_existing);
    fs::copy_file(dir_ + "/edit/d0/a0.png", dir_ + "/edit/d4/stray.png");
    fs::copy_file(dir_ + "/edit/d0/b0.png", dir_ + "/edit/sub/d5/b5.png", fs::copy_options::overwrite_existing);
    const auto before = Tree("game");
    const CommandResult one = Run("import -j 1 " + Q("game") + " " + Q("edit"), "");
    const auto byOne = Tree("game");
    for (const auto& [name, bytes] : before)
        WriteFile(dir_ + "/game/" + name, bytes);
    const CommandResult four = Run("import -j 4 " + Q("game") + " " + Q("edit"), "");
    ASSERT_EQ(one.code, 0) << one.out;
    EXPECT_EQ(four.code, 0);
    EXPECT_EQ(four.out, one.out);
    EXPECT_NE(one.out.find("2 texture(s) of 2 dictionaries replaced below"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("stray.png matches no texture; skipped"), std::string::npos) << one.out;
    EXPECT_NE(byOne, before);
    EXPECT_EQ(Tree("game"), byOne);
    // Put back as extracted, nothing changes and nothing is written.
    ASSERT_EQ(Run("extract -q -f png -o " + Q("again") + " " + Q("game"), "again").code, 0);
    const CommandResult same = Run("import " + Q("game") + " " + Q("again"), "");
    EXPECT_NE(same.out.find("0 texture(s) of 0 dictionaries replaced, nothing written."), std::string::npos) << same.out;
    EXPECT_EQ(Tree("game"), byOne);
}
