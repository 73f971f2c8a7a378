#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/engine_files.h"
#include "base/paths.h"
#include "dictionary/dictionary_walk.h"
#include "base/errors.h"
#include "tests/support/dictionary_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

class WalkTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = MakeTempDir("walk"); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::string p = dir_ + "/" + name;
        WriteFile(p, bytes);
        return p;
    }
    std::string dir_;
};

TextureSpec Small(const std::string& name, const std::string& mask, std::uint32_t w = 8, std::uint32_t h = 4,
                  std::uint32_t depth = 8) {
    TextureSpec t = RandomTexture(name, w, h, depth, true, 7);
    t.Mask = mask;
    return t;
}

} // namespace

TEST_F(WalkTest, FirstRecordOffsetsFollowTheNameLengths) {
    auto bytes = BuildDictionary({Small("a", "")});
    std::string p = Write("one.txd", bytes);
    WalkResult w = WalkFile(p);
    ASSERT_EQ(w.End, WalkEnd::Complete);
    ASSERT_EQ(w.Entries.size(), 1u);
    // Name "a" in 4 bytes at 72, mask header at 76, empty mask at 88, raster header at 92.
    EXPECT_EQ(bytes[76], 2);
    EXPECT_EQ(bytes[92], 1);
    EXPECT_EQ(w.Entries[0].DataOffset, 116u);
    std::uint32_t s = bytes[96] | bytes[97] << 8 | bytes[98] << 16 | bytes[99] << 24;
    EXPECT_EQ(132u + s, bytes.size()); // Next of the only record is the end of the file
    EXPECT_EQ(w.Entries[0].Name, "a");
    EXPECT_EQ(w.Entries[0].AlphaName, "a_alpha");
    EXPECT_EQ(w.Entries[0].Caption, "1. a  |  8 x 4 (8bit)");
}

TEST_F(WalkTest, CaptionsNamesAndMasks) {
    std::vector<TextureSpec> texs = {Small("  body  ", "body_a"), Small("wheel", "wheel_a", 64, 32),
                                     Small("abcd", " m "), Small("x", "", 5, 3, 4)};
    WalkResult w = WalkFile(Write("many.txd", BuildDictionary(texs)));
    ASSERT_EQ(w.End, WalkEnd::Complete);
    ASSERT_EQ(w.Listed, 4u);
    EXPECT_EQ(w.Entries[0].Name, "body");
    EXPECT_EQ(w.Entries[0].Caption, "1. body / body_a  |  8 x 4 (8bit)");
    EXPECT_EQ(w.Entries[1].Caption, "2. wheel / wheel_a  |  64 x 32 (8bit)");
    EXPECT_EQ(w.Entries[1].AlphaName, "wheel_a");
    EXPECT_EQ(w.Entries[2].Name, "abcd"); // a name of exactly 4 characters is followed by 4 NULs
    EXPECT_EQ(w.Entries[2].AlphaName, "m");
    EXPECT_EQ(w.Entries[3].Caption, "4. x  |  5 x 3 (4bit)");
    EXPECT_EQ(w.Entries[3].AlphaName, "x_alpha");
}

TEST_F(WalkTest, LongNamesAreCutTo255) {
    std::string longName(300, 'n');
    WalkResult w = WalkFile(Write("long.txd", BuildDictionary({Small(longName, "")})));
    ASSERT_EQ(w.End, WalkEnd::Complete);
    EXPECT_EQ(w.Entries[0].Name, std::string(255, 'n'));
    EXPECT_EQ(w.Entries[0].AlphaName, std::string(255, 'n'));
    EXPECT_EQ(w.Entries[0].Caption.size(), 255u);
    EXPECT_EQ(w.Entries[0].Caption.substr(0, 5), "1. nn");
}

TEST_F(WalkTest, CountIsTheSixteenBitWordOnly) {
    auto bytes = BuildDictionary({Small("a", ""), Small("b", "")});
    ASSERT_EQ(bytes[24], 2);
    ASSERT_EQ(bytes[26], 6);
    bytes[27] = 0x7F; // must not matter
    WalkResult w = WalkFile(Write("two.txd", bytes));
    EXPECT_EQ(w.Count, 2u);
    EXPECT_EQ(w.End, WalkEnd::Complete);
}

TEST_F(WalkTest, EmptyDictionariesAndShortFiles) {
    for (std::size_t len : {0u, 1u, 25u}) {
        auto bytes = BuildDictionary({Small("a", "")});
        bytes.resize(len);
        WalkResult w = WalkFile(Write("short.txd", bytes));
        EXPECT_EQ(w.End, WalkEnd::Empty) << len;
        EXPECT_EQ(w.Count, 0u);
        EXPECT_TRUE(w.Entries.empty());
    }
    WalkResult w = WalkFile(Write("zero.txd", BuildDictionary({})));
    EXPECT_EQ(w.End, WalkEnd::Empty);
    EXPECT_EQ(w.Listed, 0u);
}

TEST_F(WalkTest, RecordEndingAtFileSizeIsAcceptedOneByteMoreIsNot) {
    auto bytes = BuildDictionary({Small("first", ""), Small("tyre", "tyre_m")});
    WalkResult ok = WalkFile(Write("exact.txd", bytes));
    EXPECT_EQ(ok.End, WalkEnd::Complete);

    bytes.pop_back();
    WalkResult bad = WalkFile(Write("short.txd", bytes));
    ASSERT_EQ(bad.End, WalkEnd::Stopped);
    EXPECT_EQ(bad.Listed, 2u); // the failing texture's line is kept
    EXPECT_EQ(bad.Entries.size(), 2u);
    EXPECT_EQ(bad.Report.Next, static_cast<std::int32_t>(bytes.size() + 1));
    EXPECT_EQ(bad.Report.TextureNumber, 2u);
    EXPECT_EQ(bad.Report.Count, 2u);
    EXPECT_EQ(bad.Report.NamePart, "tyre / tyre_m");
    EXPECT_EQ(bad.Report.FileSize, bytes.size());
}

TEST_F(WalkTest, StoppedWalkLeavesLaterEntriesEmpty) {
    auto bytes = BuildDictionary({Small("a", ""), Small("b", ""), Small("c", "")});
    // Claim a huge raster struct size in the first record: its Next lies far past the end.
    bytes[96 + 3] = 0x10;
    WalkResult w = WalkFile(Write("huge.txd", bytes));
    ASSERT_EQ(w.End, WalkEnd::Stopped);
    EXPECT_EQ(w.Listed, 1u);
    EXPECT_EQ(w.Entries.size(), 3u);
    EXPECT_TRUE(w.Entries[2].Name.empty());
    EXPECT_EQ(w.Entries[2].DataOffset, 0u);
}

TEST_F(WalkTest, NegativeNextAndRunawayScansStopTheWalk) {
    auto bytes = BuildDictionary({Small("a", ""), Small("b", "")});
    auto neg = bytes;
    neg[96 + 3] = 0x90; // S so large that Next is negative as a signed 32-bit number
    WalkResult w = WalkFile(Write("neg.txd", neg));
    EXPECT_EQ(w.End, WalkEnd::Stopped);
    EXPECT_LT(w.Report.Next, 0);
    EXPECT_LT(w.Report.Next, 0);

    // No stop byte anywhere after the name: the scan meets the end of the file.
    std::vector<std::uint8_t> runaway(bytes.begin(), bytes.begin() + 72);
    runaway.insert(runaway.end(), 100, 'z');
    WalkResult r = WalkFile(Write("runaway.txd", runaway));
    ASSERT_EQ(r.End, WalkEnd::Stopped);
    EXPECT_EQ(r.Report.TextureNumber, 1u);
    EXPECT_EQ(r.Report.FileSize, runaway.size());
    EXPECT_GT(r.Report.Next, static_cast<std::int32_t>(runaway.size()));
}

TEST_F(WalkTest, MissingFileRaisesTheOpenError) {
    std::string p = dir_ + "/nothing.txd";
    try {
        WalkFile(p);
        FAIL() << "no error";
    } catch (const KelmoraError& e) {
#ifdef _WIN32 // the reason is the system's own text
        EXPECT_EQ(ErrorText(e).rfind("Cannot open file \"" + p + "\". ", 0), 0u) << ErrorText(e);
#else
        EXPECT_EQ(ErrorText(e), "Cannot open file \"" + p + "\". No such file or directory");
#endif
    }
}

TEST(FileNameOf, DropsTheDirectory) {
    EXPECT_EQ(FileNameOf("/a/b/cars.txd"), "cars.txd");
    EXPECT_EQ(FileNameOf("cars.txd"), "cars.txd");
    EXPECT_EQ(FileNameOf("dir/"), "");
}
