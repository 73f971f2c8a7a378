#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/engine_files.h"
#include "base/paths.h"
#include "dictionary/dictionary_walk.h"
#include "base/errors.h"
#include "export/destination.h"
#include "export/export_run.h"
#include "export/safe_name.h"
#include "tests/support/dictionary_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class ExportRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("export");
        dest_ = dir_ + "/out/";
        fs::create_directory(dest_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Dictionary(const std::vector<TextureSpec>& texs) {
        file_ = dir_ + "/d.txd";
        WriteFile(file_, BuildDictionary(texs));
        walk_ = WalkFile(file_);
    }

    ExportOutcome Run(ExportSettings settings, std::vector<bool> marks = {}) {
        if (marks.empty())
            marks.assign(walk_.Entries.size(), true);
        settings.DestDir = dest_;
        ExportCallbacks cb;
        cb.AskOverwrite = [&](const OverwriteQuestion& q) {
            questions_.push_back(q);
            bool yes = answers_.empty() ? false : answers_.front();
            if (!answers_.empty())
                answers_.erase(answers_.begin());
            return yes;
        };
        cb.Ticks = [&] { return tick_ += 250; };
        auto inputs = std::make_shared<InputSet>();
        inputs->Add(file_);
        settings.Inputs = inputs;
        return RunExport(FileSource(file_), walk_.Entries, marks, settings, cb);
    }

    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dest_))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_, dest_, file_;
    WalkResult walk_;
    std::vector<bool> answers_;
    std::vector<OverwriteQuestion> questions_;
    std::uint32_t tick_ = 0xFFFFFF00u; // the clock wraps during the run
};

TextureSpec Tex(const std::string& name, const std::string& mask, std::uint32_t depth = 8) {
    TextureSpec t = RandomTexture(name, 16, 8, depth, true, static_cast<std::uint32_t>(name.size()));
    t.Mask = mask;
    return t;
}

} // namespace

TEST_F(ExportRunTest, EveryFormatWithAndWithoutCompanions) {
    Dictionary({Tex("wheel", ""), Tex("body", "body_m"), Tex("glass", "glass_a", 4)});
    ExportSettings s;
    s.ExpFormat = FormatTga;
    ExportOutcome tga = Run(s);
    EXPECT_TRUE(tga.Completed);
    EXPECT_EQ(tga.Exported, 3u);
    EXPECT_EQ(tga.ElapsedMs, 250u);
    EXPECT_EQ(Files(), (std::vector<std::string>{"body.tga", "glass.tga", "wheel.tga"}));
    EXPECT_EQ(ExportSummary(tga.Exported, walk_.Listed, tga.ElapsedMs, dest_).rfind("3 of 3 texture(s) exported within 0.25 seconds to " + dest_ + ".", 0), 0u);

    fs::remove_all(dest_);
    fs::create_directory(dest_);
    s.ExpFormat = FormatBmp;
    EXPECT_EQ(Run(s).Exported, 3u);
    EXPECT_EQ(Files(), (std::vector<std::string>{"body.bmp", "body_m.bmp", "glass.bmp", "glass_a.bmp", "wheel.bmp",
                                                 "wheel_alpha.bmp"}));

    fs::remove_all(dest_);
    fs::create_directory(dest_);
    s.ExpFormat = FormatJpeg;
    s.ExpAlphas = false;
    EXPECT_EQ(Run(s, {false, true, true}).Exported, 2u);
    EXPECT_EQ(Files(), (std::vector<std::string>{"body.jpg", "glass.jpg"}));

    s.ExpFormat = 7; // an unknown format writes nothing and counts nothing
    EXPECT_EQ(Run(s).Exported, 0u);
    EXPECT_EQ(Files().size(), 2u);
}

TEST_F(ExportRunTest, OverwriteQuestions) {
    Dictionary({Tex("a", ""), Tex("b", "b_m"), Tex("c", "")});
    ExportSettings s;
    s.ExpOverwrite = false;
    WriteFile(dest_ + "a.bmp", {1, 2, 3});
    WriteFile(dest_ + "b.bmp", {4, 5, 6});
    WriteFile(dest_ + "b_m.bmp", {7});
    fs::create_directory(dest_ + "c.bmp.d");
    answers_ = {false, true, false}; // No for a; Yes for b, then No for its companion
    ExportOutcome r = Run(s);
    EXPECT_EQ(r.Exported, 1u);
    ASSERT_EQ(questions_.size(), 3u);
    EXPECT_EQ(questions_[0].Path, dest_ + "a.bmp");
    EXPECT_EQ(questions_[0].Entry, 0u);
    EXPECT_EQ(questions_[1].Path, dest_ + "b.bmp");
    EXPECT_EQ(questions_[2].Path, dest_ + "b_m.bmp");
    EXPECT_EQ(questions_[2].Entry, 1u);
    // Skipped textures keep their files untouched.
    EXPECT_EQ(ReadFile(dest_ + "a.bmp"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(ReadFile(dest_ + "b.bmp"), (std::vector<std::uint8_t>{4, 5, 6}));
    EXPECT_TRUE(fs::exists(dest_ + "c_alpha.bmp"));

    // With overwriting on, nobody is asked.
    questions_.clear();
    s.ExpOverwrite = true;
    EXPECT_EQ(Run(s).Exported, 3u);
    EXPECT_TRUE(questions_.empty());
    EXPECT_GT(fs::file_size(dest_ + "a.bmp"), 1000u);
}

TEST_F(ExportRunTest, TgaStillAsksAboutTheCompanionPath) {
    Dictionary({Tex("wheel", "")});
    WriteFile(dest_ + "wheel_alpha.tga", {9});
    ExportSettings s;
    s.ExpFormat = FormatTga;
    s.ExpOverwrite = false;
    answers_ = {true};
    EXPECT_EQ(Run(s).Exported, 1u);
    ASSERT_EQ(questions_.size(), 1u);
    EXPECT_EQ(questions_[0].Path, dest_ + "wheel_alpha.tga");
    EXPECT_EQ(ReadFile(dest_ + "wheel_alpha.tga"), std::vector<std::uint8_t>{9});

    s.ExpAlphas = false; // no companion, no question
    questions_.clear();
    fs::remove(dest_ + "wheel.tga");
    EXPECT_EQ(Run(s).Exported, 1u);
    EXPECT_TRUE(questions_.empty());
}

TEST_F(ExportRunTest, UnsupportedDepthEndsTheRunAndKeepsWhatWasWritten) {
    TextureSpec bad = Tex("bad", "");
    bad.Depth = 16;
    Dictionary({Tex("good", ""), bad, Tex("later", "")});
    ExportOutcome r = Run(ExportSettings{});
    EXPECT_FALSE(r.Completed);
    EXPECT_EQ(DecodeProblem(r.Failure), "Unknown palette size detected!!! (16)");
    EXPECT_EQ(Files(), (std::vector<std::string>{"good.bmp", "good_alpha.bmp"}));
}

TEST_F(ExportRunTest, NamesFromTheFileStayInsideTheDestination) {
    Dictionary({Tex("../../evil", ""), Tex("a/b", "..\\up"), Tex("..", "c:d*e")});
    ExportOutcome r = Run(ExportSettings{});
    EXPECT_EQ(r.Exported, 3u);
    EXPECT_EQ(Files(), (std::vector<std::string>{".._.._evil.bmp", ".._.._evil_alpha.bmp", ".._up.bmp", "_.bmp",
                                                 "a_b.bmp", "c_d_e.bmp"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2); // d.txd and out/
}

TEST(SafeFileName, Table) {
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"wheel", false, "wheel"},   {"", false, "_"},           {".", false, "_"},
        {"..", false, "_"},          {"a/b\\c", false, "a_b_c"}, {"x:y*?\"<>|", false, "x_y______"},
        {"tab\tnl\n", false, "tab_nl_"}, {"CON", false, "CON"},   {"CON", true, "CON_"},
        {"nul.tex", true, "nul.tex_"}, {"com1", true, "com1_"},  {"COM0", true, "COM0"},
        {"console", true, "console"}, {"caf\xC3\xA9", true, "caf\xC3\xA9"},
    };
    for (const auto& [in, win, want] : cases)
        EXPECT_EQ(SafeFileName(in, win), want) << in;
}

TEST(Destination, PathRules) {
    EXPECT_EQ(DirectoryPartOf("/tex/cars.txd"), "/tex");
    EXPECT_EQ(DirectoryPartOf("/cars.txd"), "/");
    EXPECT_EQ(DirectoryPartOf("cars.txd"), "");
    EXPECT_EQ(DirectoryPartOf("a//cars.txd"), "a//");
    EXPECT_EQ(SubDirNameOf("/tex/cars.txd"), "cars");
    EXPECT_EQ(SubDirNameOf("/x.y/a.b.txd"), "a");
    EXPECT_EQ(SubDirNameOf("/x.y/nodot"), "");
    const std::string sep(1, kPathSeparator); // what the destination adds
    EXPECT_EQ(ComposeDestDir("  /tex \t", true, "cars"), "/tex" + sep + "cars" + sep);
    EXPECT_EQ(ComposeDestDir("/", false, "cars"), "/");
    EXPECT_EQ(ComposeDestDir("/tex/", true, ""), "/tex/" + sep);
    EXPECT_EQ(ResolveAgainst("out", "/tex"), "/tex" + sep + "out");
    EXPECT_EQ(ResolveAgainst("/abs", "/tex"), "/abs");
}

TEST(Destination, CreatesEveryMissingParent) {
    std::string dir = MakeTempDir("mkdir");
    EXPECT_NO_THROW(CreateDirectoryChain(dir + "/a/b/c/"));
    EXPECT_TRUE(fs::is_directory(dir + "/a/b/c"));
    EXPECT_NO_THROW(CreateDirectoryChain(dir + "/a/b/c/")); // existing: done
    EXPECT_NO_THROW(CreateDirectoryChain("/"));
    WriteFile(dir + "/file", {1});
    EXPECT_THROW(CreateDirectoryChain(dir + "/file/sub/"), KelmoraError);
    WriteFile(dir + "/x", {1});
    try {
        CreateDirectoryChain(dir + "/x/y/z/");
        ADD_FAILURE() << "made below a file";
    } catch (const KelmoraError& e) {
        // The file in the way is named, with the system's reason.
        EXPECT_EQ(e.Code(), ErrorCode::CannotCreateDirectory);
        EXPECT_EQ(FileNameOf(e.Facts().File), "x");
        EXPECT_FALSE(e.Facts().Reason.empty());
        EXPECT_EQ(ErrorText(e), "Directory cannot be created! \"" + e.Facts().File + "\". " + e.Facts().Reason);
    }
    EXPECT_FALSE(fs::exists(dir + "/x/y"));
    fs::remove_all(dir);
}
