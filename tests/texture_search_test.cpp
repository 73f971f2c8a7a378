// Textures found by name across a folder's dictionaries and an archive's.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/texture_search.h"
#include "words/engine_words.h"
#include "base/errors.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

struct Found {
    std::vector<TextureMatch> matches;
    std::vector<std::string> problems;
};

Found Search(const std::string& where, const std::string& pattern, std::function<bool()> stop = {}) {
    Found f;
    SearchTextures(
        where, pattern, [&](TextureMatch&& m) { f.matches.push_back(std::move(m)); },
        [&](const std::exception& e) { f.problems.push_back(ErrorText(e)); }, stop);
    return f;
}

} // namespace

TEST(TextureSearch, NamesPatternsAndPlaces) {
    TTexEntry e;
    e.Name = "Wheel_Front";
    e.Mask = "wheelA";
    EXPECT_TRUE(MatchesTextureName("wheel", e));     // text anywhere, any case
    EXPECT_TRUE(MatchesTextureName("FRONT", e));
    EXPECT_TRUE(MatchesTextureName("*a", e));        // a pattern: the mask name ends in a
    EXPECT_FALSE(MatchesTextureName("front*", e));   // a pattern is the whole name
    EXPECT_TRUE(MatchesTextureName("w?eel_*", e));
    EXPECT_FALSE(MatchesTextureName("tyre", e));

    const std::string dir = MakeTempDir("search");
    fs::create_directories(dir + "/game/sub");
    WriteFile(dir + "/game/b.txd", BuildDictionary({RandomTexture("road", 16, 8, 8, true, 1),
                                                   RandomTexture("wheel", 32, 16, 4, true, 2)}));
    WriteFile(dir + "/game/sub/a.TXD", BuildDictionary({RandomTexture("wheel2", 8, 8, 8, true, 3)}));
    WriteFile(dir + "/game/bad.txd", std::vector<std::uint8_t>(10, 0xAB)); // not a dictionary: nothing found
    std::vector<std::uint8_t> cut = BuildDictionary({RandomTexture("wheel3", 16, 16, 8, true, 4),
                                                     RandomTexture("wheel4", 16, 16, 8, true, 5)});
    cut.resize(cut.size() - 50); // the last record is not whole: left out
    WriteFile(dir + "/game/c.txd", cut);
    Found f = Search(dir + "/game", "WHEEL");
    ASSERT_EQ(f.matches.size(), 3u);
    EXPECT_EQ(fs::path(f.matches[0].File), fs::path(dir + "/game/b.txd")); // either separator
    EXPECT_EQ(f.matches[0].Index, 1u);
    EXPECT_EQ(f.matches[0].Texture.Width, 32u);
    EXPECT_EQ(f.matches[0].Texture.Depth, 4u);
    EXPECT_EQ(f.matches[1].Texture.Name, "wheel3");
    EXPECT_EQ(fs::path(f.matches[2].File), fs::path(dir + "/game/sub/a.TXD")); // either separator
    EXPECT_TRUE(f.matches[2].Entry.empty());
    EXPECT_TRUE(f.problems.empty());

    // Inside an archive, in the order of its table.
    WriteFile(dir + "/game.img", BuildArchiveV2({{"one.txd", BuildDictionary({RandomTexture("x_wheel", 16, 8, 8, true, 6)})},
                                                {"two.txd", BuildDictionary({RandomTexture("tyre", 16, 8, 8, true, 7),
                                                                             RandomTexture("wheel", 16, 8, 8, true, 8)})}}));
    f = Search(dir + "/game.img", "*wheel");
    ASSERT_EQ(f.matches.size(), 2u);
    EXPECT_EQ(f.matches[0].Entry, "one.txd");
    EXPECT_EQ(f.matches[1].Entry, "two.txd");
    EXPECT_EQ(f.matches[1].Index, 1u);
    EXPECT_EQ(fs::path(f.matches[1].File), fs::path(dir + "/game.img")); // either separator

    // A folder's archives are searched with its dictionaries; an .img that is no
    // archive is passed over.
    fs::copy_file(dir + "/game.img", dir + "/game/sub/models.img");
    WriteFile(dir + "/game/notes.img", std::vector<std::uint8_t>(100, 1));
    f = Search(dir + "/game", "wheel");
    ASSERT_EQ(f.matches.size(), 5u);
    EXPECT_EQ(fs::path(f.matches[3].File), fs::path(dir + "/game/sub/models.img")); // either separator
    EXPECT_EQ(f.matches[3].Entry, "one.txd");
    EXPECT_EQ(f.matches[4].Entry, "two.txd");
    EXPECT_TRUE(f.problems.empty());

    // Stopped before the first dictionary: nothing; a missing place throws.
    EXPECT_TRUE(Search(dir + "/game", "wheel", [] { return true; }).matches.empty());
    EXPECT_TRUE(Search(dir + "/game.img", "wheel", [] { return true; }).matches.empty());
    EXPECT_THROW(Search(dir + "/nothing.img", "wheel"), KelmoraError);
    fs::remove_all(dir);
}
