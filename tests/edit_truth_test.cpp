// Edits that say what they did and nothing else: refusals of what cannot be
// edited, one line naming what was refused, reports only after the write, and
// names, sizes, depths and alpha that never change silently.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "dictionary/dictionary.h"
#include "dictionary/picture.h"
#include "export/image_writers.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

class EditTruthTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("truth"); }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Q(const std::string& rel) const { return Quote(dir_ + "/" + rel); }
    // stderr merged; env goes before the program (fault injection).
    CommandResult Cli(const std::string& args, const std::string& env = "") const {
        return RunCommand(env + Quote(KELMORA_CLI) + " " + args + " 2>&1");
    }
    std::size_t Lines(const std::string& text) const { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }
    std::string dir_;
};

DecodeState Grey(std::uint32_t w, std::uint32_t h, std::uint8_t alpha) {
    DecodeState s;
    s.TexWidth = w;
    s.TexHeight = h;
    s.TexDepth = 32;
    s.TrueColour = true;
    for (std::uint32_t i = 0; i < w * h; ++i)
        s.Texels.push_back({static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i * 13), 99, alpha});
    return s;
}

} // namespace

// Dictionaries too short for their own header, cut or of another kind: every
// edit refuses them in one line with status 1 and writes nothing.
TEST_F(EditTruthTest, WhatCannotBeEditedIsRefusedUntouched) {
    const std::vector<std::uint8_t> whole = BuildDictionary({RealTexture("a", 16, 16, 8, 1, 1)});
    WritePng(dir_ + "/p.png", Dictionary(std::make_shared<MemorySource>(whole.data(), whole.size())).Decode(0).State, true);
    for (std::size_t size : {std::size_t{0}, std::size_t{16}, std::size_t{20}, std::size_t{25}, std::size_t{60}, whole.size() / 2}) {
        std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
        WriteFile(dir_ + "/t.txd", cut);
        for (const std::string& args : {"add " + Q("t.txd") + " " + Q("p.png") + " --name x",
                                        "replace " + Q("t.txd") + " 1 " + Q("p.png"), "remove " + Q("t.txd") + " 1",
                                        "rename " + Q("t.txd") + " 1 y", "import " + Q("t.txd") + " " + Quote(dir_)}) {
            SCOPED_TRACE(std::to_string(size) + ": " + args);
            const CommandResult r = Cli(args);
            EXPECT_EQ(r.code, 1) << r.out;
            ASSERT_EQ(Lines(r.out), 1u) << r.out;
            EXPECT_EQ(r.out.rfind("kelmora-cli: " + dir_ + "/t.txd", 0), 0u) << r.out;
            EXPECT_EQ(ReadFile(dir_ + "/t.txd"), cut);
        }
    }
    // The fixed layout cannot grow, and says so rather than speaking of replacing.
    WriteFile(dir_ + "/f.txd", BuildDictionary({RandomTexture("f", 16, 16, 8, true, 2)}));
    const CommandResult fixed = Cli("add " + Q("f.txd") + " " + Q("p.png") + " --name x");
    EXPECT_EQ(fixed.code, 1);
    EXPECT_NE(fixed.out.find("it cannot grow"), std::string::npos) << fixed.out;
}

// A success line only once the dictionary is written; a size or depth change and
// an image without alpha are said; a file keeps its mode; killed saves' leftovers go.
TEST_F(EditTruthTest, ReportsFollowTheWriteAndSayWhatChanged) {
    WriteFile(dir_ + "/d.txd", BuildDictionary({RealTexture("a", 32, 32, 8, 1, 1), RealTexture("wide", 64, 16, 4, 5, 2)}));
    ASSERT_EQ(::chmod((dir_ + "/d.txd").c_str(), 0600), 0);
    const std::vector<std::uint8_t> original = ReadFile(dir_ + "/d.txd");
    DecodeState big = Dictionary::OpenFile(dir_ + "/d.txd").Decode(1).State;
    big.TexHeight = 64;
    big.Pixels.assign(64 * 64, 5);
    WritePng(dir_ + "/big.png", big, true);

    const CommandResult failed = Cli("replace " + Q("d.txd") + " 2 " + Q("big.png"),
                                     "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" + Quote(KELMORA_FAIL_IO) +
                                         " KELMORA_FAIL=write:100 ");
    EXPECT_EQ(failed.code, 1);
    EXPECT_EQ(failed.out.find("replaced"), std::string::npos) << failed.out;
    EXPECT_EQ(ReadFile(dir_ + "/d.txd"), original);

    const std::string stale = dir_ + "/.kelmora-999999999-0.tmp";
    WriteFile(stale, {1, 2, 3});
    const CommandResult r = Cli("replace " + Q("d.txd") + " wide " + Q("big.png"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("texture 2 (wide): 64 x 16 -> 64 x 64, 4 levels\n"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(stale));
    struct stat st {};
    ASSERT_EQ(::stat((dir_ + "/d.txd").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const CommandResult depth = Cli("replace --depth 8 " + Q("d.txd") + " 2 " + Q("big.png") + " -o " + Q("e.txd"));
    ASSERT_EQ(depth.code, 0) << depth.out;
    EXPECT_NE(depth.out.find("texture 2 (wide): 64 x 64 -> 64 x 64, 4 -> 8 bits, 4 levels\n"), std::string::npos)
        << depth.out;

    // A 24-bit BMP keeps the texture's alpha and says so; the picture changes.
    DecodedTexture a = Dictionary::OpenFile(dir_ + "/d.txd").Decode(0);
    DecodeState rgb = a.State;
    rgb.Pixels[0] ^= 1;
    RgbImage bmp{32, 32, {}};
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 32; ++x) {
            const PaletteEntry c = rgb.Colour(x, y);
            bmp.Pixels.push_back({c.R, c.G, c.B});
        }
    WriteBmp24(bmp, dir_ + "/a.bmp");
    const CommandResult kept = Cli("replace " + Q("d.txd") + " 1 " + Q("a.bmp"));
    ASSERT_EQ(kept.code, 0) << kept.out;
    EXPECT_NE(kept.out.find("a.bmp has no alpha; the texture keeps its present alpha"), std::string::npos) << kept.out;
    const DecodedTexture after = Dictionary::OpenFile(dir_ + "/d.txd").Decode(0);
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 32; ++x)
            ASSERT_EQ(after.State.Colour(x, y).A, a.State.Colour(x, y).A) << x << "," << y;
}

// Names a reader would not give back as given are refused, and so is a name
// another texture has unless asked for; reports show names escaped.
TEST_F(EditTruthTest, NamesAreCheckedAndShownSafely) {
    WriteFile(dir_ + "/d.txd", BuildDictionary({RealTexture("wheel", 16, 16, 8, 1, 1), RealTexture("door", 16, 16, 8, 1, 2)}));
    WritePng(dir_ + "/p.png", Dictionary::OpenFile(dir_ + "/d.txd").Decode(0).State, true);
    const std::vector<std::uint8_t> original = ReadFile(dir_ + "/d.txd");
    const std::pair<std::string, std::string> refused[] = {
        {"rename " + Q("d.txd") + " door ''", "a texture's name cannot be empty"},
        {"rename " + Q("d.txd") + " door ' x'", "begins or ends with a blank or a control character"},
        {"rename " + Q("d.txd") + " door \"$(printf 'a\\tb')\"", "holds a control character"},
        {"rename " + Q("d.txd") + " door WHEEL", "texture 1 is named \"wheel\" already"}, // as stored
        {"add " + Q("d.txd") + " " + Q("p.png") + " --name wheel", "--allow-duplicate"},
        {"rename " + Q("d.txd") + " door ok --mask 'm '", "the mask name \"m \" begins or ends"},
    };
    for (const auto& [args, message] : refused) {
        SCOPED_TRACE(args);
        const CommandResult r = Cli(args);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(Lines(r.out), 1u) << r.out;
        EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find('\t'), std::string::npos);
    }
    EXPECT_EQ(ReadFile(dir_ + "/d.txd"), original);
    const CommandResult twice = Cli("add --allow-duplicate " + Q("d.txd") + " " + Q("p.png") + " --name wheel");
    EXPECT_EQ(twice.code, 0) << twice.out;
    EXPECT_NE(twice.out.find("added texture 3 (wheel)"), std::string::npos) << twice.out;
    // A case change of the texture's own name is no duplicate.
    EXPECT_EQ(Cli("rename " + Q("d.txd") + " 2 DOOR").code, 0);

    // save takes a name as the edit commands do.
    const CommandResult save = Cli("save " + Q("d.txd") + " DOOR " + Q("door.tga"));
    EXPECT_EQ(save.code, 0) << save.out;
    EXPECT_TRUE(fs::exists(dir_ + "/door.tga"));
}

// 16-bit textures take any colour: it is stored as the console's 5-5-5-1 holds it
// and reads back so, with the decoder's alpha rule.
TEST_F(EditTruthTest, SixteenBitTexturesTakeAnyColour) {
    WriteFile(dir_ + "/d.txd", BuildDictionary({RealTexture("c16", 16, 16, 16, 1, 3)}));
    WritePng(dir_ + "/any.png", Grey(16, 16, 100), true);
    const CommandResult r = Cli("replace " + Q("d.txd") + " 1 " + Q("any.png"));
    ASSERT_EQ(r.code, 0) << r.out;
    const DecodedTexture t = Dictionary::OpenFile(dir_ + "/d.txd").Decode(0);
    ASSERT_TRUE(t.Ok());
    const DecodeState want = Grey(16, 16, 100);
    for (std::size_t i = 0; i < want.Texels.size(); ++i) {
        const PaletteEntry& w = want.Texels[i];
        const PaletteEntry& got = t.State.Texels[i];
        ASSERT_EQ(got.R >> 3, w.R >> 3) << i;
        ASSERT_EQ(got.G >> 3, w.G >> 3) << i;
        ASSERT_EQ(got.B >> 3, w.B >> 3) << i;
        ASSERT_EQ(got.A, 128) << i; // 100 brightened is 50 in the console's range: opaque
    }
    // The same picture again changes nothing.
    const CommandResult again = Cli("replace " + Q("d.txd") + " 1 " + Q("any.png"));
    EXPECT_NE(again.out.find("0 of 1 texture(s) replaced, nothing written."), std::string::npos) << again.out;
    WriteFile(dir_ + "/n.txd", BuildDictionary({RealTexture("a", 16, 16, 8, 1, 4)}));
    EXPECT_EQ(Cli("add --depth 16 " + Q("n.txd") + " " + Q("any.png") + " --name b").code, 0);
}
