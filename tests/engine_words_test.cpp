// The engine says what failed as a code and facts; the words are the front
// ends'. These check both halves: the facts a real failure carries, and that
// every code has words of its own.
#include <gtest/gtest.h>

#include <set>

#include "base/errors.h"
#include "base/os_file.h"
#include "dictionary/texture_platform.h"
#include "editing/dictionary_edit.h"
#include "editing/texture_import.h"
#include "images/image_input.h"
#include "tests/support/dictionary_builder.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

template <typename F> KelmoraError Caught(F&& f) {
    try {
        f();
    } catch (const KelmoraError& e) {
        return e;
    }
    ADD_FAILURE() << "nothing was thrown";
    return KelmoraError(ErrorCode::NothingDecoded, {});
}

} // namespace

TEST(EngineWords, EveryCodeHasWordsOfItsOwn) {
    ErrorFacts f;
    f.File = "dir/f.png";
    f.Name = "wheel\x1b";
    f.Reason = "No space left on device";
    f.Texture = 2;
    f.Width = 100, f.Height = 60, f.WantWidth = 64, f.WantHeight = 32;
    f.Number = 7, f.Limit = 5, f.Depth = 24, f.Level = 1;
    f.Detail = 1; // a kind that says something for every code that has kinds
    std::set<std::string> seen;
    for (int c = 0; c <= static_cast<int>(ErrorCode::RegistryWrite); ++c) {
        const KelmoraError e(static_cast<ErrorCode>(c), f);
        const std::string text = ErrorText(e);
        SCOPED_TRACE(c);
        EXPECT_FALSE(text.empty());
        EXPECT_NE(text, e.what()) << "code " << c << " has no words";
        EXPECT_TRUE(seen.insert(text).second) << "code " << c << " says what another says: " << text;
        // A name is shown as a terminal may show it, never raw.
        EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    }
}

TEST(EngineWords, FailuresCarryTheirFactsNotProse) {
    const KelmoraError open = Caught([] { OsFile::OpenRead("/nonexistent/kelmora/x.txd"); });
    EXPECT_EQ(open.Code(), ErrorCode::CannotOpen);
    EXPECT_EQ(open.Facts().File, "/nonexistent/kelmora/x.txd");
    EXPECT_FALSE(open.Facts().Reason.empty());
    EXPECT_EQ(std::string(open.what()).find("x.txd"), std::string::npos) << "the engine worded it: " << open.what();
    EXPECT_EQ(ErrorText(open), "Cannot open file \"/nonexistent/kelmora/x.txd\". " + open.Facts().Reason);

    const KelmoraError garbage = Caught([] { ReadImage(std::vector<std::uint8_t>(40, 7), "g.xyz"); });
    EXPECT_EQ(garbage.Code(), ErrorCode::NotAnImage);
    EXPECT_EQ(ErrorText(garbage), "g.xyz is not an image Kelmora reads (PNG, TGA, BMP or JPEG)");

    InputImage image;
    image.Width = 16;
    image.Height = 8;
    image.Rgba.assign(16 * 8, {1, 2, 3, 255});
    DecodeState texture;
    texture.TexWidth = texture.TexHeight = 32;
    texture.TexDepth = 8;
    const KelmoraError size = Caught([&] { PictureFromImage(image, texture, {}, "red.png"); });
    EXPECT_EQ(size.Code(), ErrorCode::WrongPictureSize);
    EXPECT_EQ(size.Facts().Width, 16u);
    EXPECT_EQ(size.Facts().WantHeight, 32u);
    EXPECT_EQ(ErrorText(size), "red.png is 16 x 8, the texture 32 x 32");

    std::vector<std::uint8_t> bytes = BuildDictionary({RealTexture("a", 32, 32, 8, 1, 1), RealTexture("b", 16, 16, 8, 1, 2)});
    DictionaryEdit edit(bytes, true);
    EXPECT_THROW(edit.Rename(1, "A", ""), DuplicateNameError);
    const KelmoraError twice = Caught([&] { edit.Rename(1, "A", ""); });
    // The name as stored, not as typed.
    EXPECT_EQ(ErrorText(twice), "texture 1 is named \"a\" already; the game would find only one of them");
    const KelmoraError mask = Caught([&] { edit.Rename(0, "a", " m"); });
    EXPECT_EQ(ErrorText(mask),
              "the mask name \" m\" begins or ends with a blank or a control character, which readers strip");

    const KelmoraError early = Caught([&] {
        std::vector<std::uint8_t> cut = bytes;
        cut.resize(cut.size() - 40);
        CheckEditable(cut, "cut.txd");
    });
    EXPECT_EQ(early.Code(), ErrorCode::DictionaryEndsEarly);
    EXPECT_EQ(ErrorText(early), "cut.txd: the dictionary ends early (texture 2 runs past its end); nothing was changed");
}

TEST(EngineWords, OtherExceptionsKeepTheirOwnText) {
    EXPECT_EQ(ErrorText(std::runtime_error("disk on fire")), "disk on fire");
}

// Where an error happened goes before its words, each place once: a place the
// words start with already is not said twice.
TEST(EngineWords, PlacesAreSaidOnceBeforeTheWords) {
    const KelmoraError notImage(ErrorCode::NotAnImage, {.File = "a.png"});
    EXPECT_EQ(ErrorText(notImage.Within({"x.txd", "texture 2 (b)", "a.png"})),
              "x.txd: texture 2 (b): a.png is not an image Kelmora reads (PNG, TGA, BMP or JPEG)");
    const KelmoraError platform(ErrorCode::PlatformNotEditable,
                                {.Name = "flag", .Texture = 2, .Detail = static_cast<int>(TexturePlatform::Direct3D9)});
    EXPECT_EQ(ErrorText(platform.Within({"x.txd", "texture 3 (flag)"})),
              "x.txd: texture 3 (flag): editing Direct3D 9 textures is not supported yet");
    // Places given later are outside those given before.
    EXPECT_EQ(ErrorText(KelmoraError(ErrorCode::Interrupted, {}).Within({"inner"}).Within({"outer"})),
              "outer: inner: interrupted; the files written so far stay");
}
