#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/engine_files.h"
#include "dictionary/dictionary_walk.h"
#include "dictionary/raster_decode.h"
#include "tests/support/dictionary_builder.h"

using namespace kelmora;
using namespace kelmora::testing;

// Every prefix of the demo dictionary must walk and decode without a crash, a hang
// or a sanitizer report; the walk must report the cut rather than list phantom textures.
TEST(Truncation, EveryPrefixOfTheDemoWalksAndDecodes) {
    const auto demo = ReadFile(KELMORA_DEMO);
    const WalkResult whole = WalkFile(KELMORA_DEMO);
    ASSERT_EQ(whole.End, WalkEnd::Complete);

    std::string dir = MakeTempDir("trunc");
    std::string p = dir + "/cut.txd";
    WriteFile(p, demo);
    DecodeState s;
    std::size_t stopped = 0;
    for (std::size_t len = demo.size(); len-- > 0;) {
        std::filesystem::resize_file(p, len);
        WalkResult w = WalkFile(p);
        if (len >= 26) {
            ASSERT_EQ(w.Count, whole.Count) << len;
        }
        ASSERT_NE(w.End, WalkEnd::Complete) << "a cut file walked as complete at " << len;
        stopped += w.End == WalkEnd::Stopped;
        for (std::size_t i = 0; i < w.Listed; ++i) {
            DecodeResult r = DecodeFile(p, w.Entries[i], (len & 1) != 0, s);
            if (r.Ok()) {
                ASSERT_TRUE(s.HasGrid());
            }
        }
    }
    EXPECT_GT(stopped, demo.size() / 2);
    std::filesystem::remove_all(dir);
}
