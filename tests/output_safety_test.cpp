// What a user checks after an export that went wrong: which files exist, their
// bytes, the message and the exit status. Faults are injected into kelmora-cli
// (root ignores permissions, so they cannot come from the file system itself).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

struct CliResult {
    int code = -1;
    std::string out; // standard output and standard error together
};

CliResult Cli(const std::string& args, const std::string& fault = "") {
    std::string env;
    if (!fault.empty())
        env = "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" + Quote(KELMORA_FAIL_IO) +
              " KELMORA_FAIL=" + Quote(fault) + " ";
    CommandResult r = RunCommand(env + Quote(KELMORA_CLI) + " " + args + " 2>&1");
    // A run killed by a signal reports no exit code through popen's status.
    return {r.code, r.out};
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class OutputSafety : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("safety");
        fs::create_directories(out_ = dir_ + "/out");
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Dictionary(const std::string& name, const std::vector<TextureSpec>& texs) {
        const std::string p = dir_ + "/" + name;
        WriteFile(p, BuildDictionary(texs));
        return p;
    }
    std::string dir_, out_;
};

TextureSpec Tex(const std::string& name, const std::string& mask = "", std::uint32_t w = 64, std::uint32_t h = 64) {
    TextureSpec t = RandomTexture(name, w, h, 8, true, static_cast<std::uint32_t>(name.size() + w));
    t.Mask = mask;
    return t;
}

} // namespace

// A full disk, a failed close, a failed rename, a kill: the old file survives
// byte for byte, nothing partial or temporary stays, the message names the file
// and the reason.
TEST_F(OutputSafety, FailuresLeaveTheOldFileAsItWas) {
    const std::string dict = Dictionary("d.txd", {Tex("wall")});
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    const std::string target = out_ + "/wall.bmp";
    struct Case {
        const char* Fault;
        const char* Reason;
    };
    for (const Case& c : {Case{"write:2000", "No space left on device"}, Case{"close", "Input/output error"},
                          Case{"rename", "Invalid cross-device link"}}) {
        WriteFile(target, old);
        CliResult r = Cli("extract --no-alphas -o " + Quote(out_) + " " + Quote(dict), c.Fault);
        EXPECT_EQ(r.code, 1) << c.Fault;
        EXPECT_NE(r.out.find("kelmora-cli: Stream write error: \"" + target + "\". " + c.Reason), std::string::npos)
            << c.Fault << ": " << r.out;
        EXPECT_EQ(ReadFile(target), old) << c.Fault;
        EXPECT_EQ(Names(out_), (std::vector<std::string>{"wall.bmp"})) << c.Fault;
    }

    // Killed in the middle of its second file: the first is whole, the second is
    // the old one, and only the temporary tells of the kill.
    const std::string two = Dictionary("two.txd", {Tex("first", "", 256, 256), Tex("wall", "", 256, 256)});
    WriteFile(out_ + "/wall.tga", old);
    CliResult killed = Cli("extract --no-alphas -f tga -o " + Quote(out_) + " " + Quote(two), "kill:3");
    EXPECT_NE(killed.code, 0);
    EXPECT_EQ(ReadFile(out_ + "/wall.tga"), old);
    EXPECT_EQ(ReadFile(out_ + "/first.tga").size(), 18u + 4 * 256 * 256);
    auto names = Names(out_);
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind(".kelmora-", 0) == 0; }), 1);
    // --no-overwrite does not take the kill's leftovers for outputs, and the next
    // run removes them.
    CliResult again = Cli("extract --no-alphas --no-overwrite -f tga -o " + Quote(out_) + " " + Quote(two));
    EXPECT_EQ(again.code, 0) << again.out;
    EXPECT_EQ(Names(out_), (std::vector<std::string>{"first.tga", "wall.bmp", "wall.tga"}));
}

// Ctrl+C stops the run after the file being written; what was written stays
// whole and nothing temporary is left.
TEST_F(OutputSafety, InterruptStopsAfterTheCurrentFile) {
    const std::string dict = Dictionary("d.txd", {Tex("a"), Tex("b"), Tex("c"), Tex("d")});
    CliResult r = Cli("extract --no-alphas -o " + Quote(out_) + " " + Quote(dict), "int:2");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("2 of 4 texture(s) exported"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(cancelled)."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("kelmora-cli: interrupted; the files written so far stay\n"), std::string::npos) << r.out;
    EXPECT_EQ(Names(out_), (std::vector<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_EQ(ReadFile(out_ + "/b.bmp").size(), 1078u + 64 * 64);
}

// Names that collide in every way a dictionary can make them collide: every
// file is kept, the renamed ones are said.
TEST_F(OutputSafety, EveryFileOfARunIsKept) {
    const std::string dict = Dictionary("n.txd", {Tex("a/b"), Tex("a_b"), Tex("a:b"), Tex(""), Tex(""),
                                                  Tex("body", "wheel"), Tex("wheel"), Tex("x", "shared"),
                                                  Tex("y", "shared"), Tex(std::string(300, 'n'))});
    CliResult r = Cli("extract -o " + Quote(out_) + " " + Quote(dict));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("10 of 10 texture(s) exported"), std::string::npos) << r.out;
    // Names are kept to 255 characters, so the long one's mask name is its name
    // again; with the extension both are cut to fit the file system.
    const std::string longName = std::string(251, 'n');
    std::vector<std::string> want = {"_.bmp", "_alpha.bmp", "_~2.bmp", "_alpha~2.bmp", "a_b.bmp", "a_b_alpha.bmp",
                                     "a_b~2.bmp", "a_b_alpha~2.bmp", "a_b~3.bmp", "a_b_alpha~3.bmp", "body.bmp",
                                     "wheel.bmp", "wheel~2.bmp", "wheel_alpha.bmp", "x.bmp", "shared.bmp", "y.bmp",
                                     "shared~2.bmp", longName + ".bmp", std::string(249, 'n') + "~2.bmp"};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(Names(out_), want);
    EXPECT_NE(r.out.find("texture 7 (wheel): written as " + out_ + "/wheel~2.bmp since " + out_ + "/wheel.bmp is taken"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("(10 renamed)."), std::string::npos) << r.out;
    // The picture under wheel~2.bmp is texture 7's, and wheel.bmp is texture 6's mask.
    EXPECT_EQ(ReadFile(out_ + "/wheel~2.bmp").size(), 1078u + 64 * 64);

    // Two dictionaries of one name, and two whose names share a first dot.
    fs::create_directories(dir_ + "/x");
    fs::create_directories(dir_ + "/y");
    WriteFile(dir_ + "/x/car.txd", BuildDictionary({Tex("paint")}));
    WriteFile(dir_ + "/y/car.txd", BuildDictionary({Tex("paint")}));
    WriteFile(dir_ + "/y/car.old.txd", BuildDictionary({Tex("paint")}));
    CliResult both = Cli("extract -o " + Quote(dir_ + "/cars") + " " + Quote(dir_ + "/x/car.txd") + " " +
                   Quote(dir_ + "/y/car.txd") + " " + Quote(dir_ + "/y/car.old.txd"));
    EXPECT_EQ(both.code, 0) << both.out;
    EXPECT_EQ(Names(dir_ + "/cars"), (std::vector<std::string>{"car", "car~2", "car~3"}));
    EXPECT_NE(both.out.find("car.old.txd: writing to " + dir_ + "/cars/car~3/"), std::string::npos) << both.out;
}

// A link in the destination is replaced by the new file, never written through;
// a dangling one creates nothing outside.
TEST_F(OutputSafety, LinksAreReplacedNeverFollowed) {
    const std::string dict = Dictionary("l.txd", {Tex("wall"), Tex("roof")});
    const std::string outside = dir_ + "/outside.bmp";
    WriteFile(outside, {'k', 'e', 'e', 'p'});
    fs::create_symlink(outside, out_ + "/wall.bmp");
    fs::create_symlink(dir_ + "/nowhere.bmp", out_ + "/roof.bmp");

    CliResult careful = Cli("extract --no-alphas --no-overwrite -o " + Quote(out_) + " " + Quote(dict));
    EXPECT_EQ(careful.code, 0);
    EXPECT_FALSE(fs::exists(dir_ + "/nowhere.bmp"));
    EXPECT_TRUE(fs::is_symlink(out_ + "/roof.bmp"));

    CliResult r = Cli("extract --no-alphas -o " + Quote(out_) + " " + Quote(dict));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(ReadFile(outside), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::exists(dir_ + "/nowhere.bmp"));
    EXPECT_FALSE(fs::is_symlink(out_ + "/wall.bmp"));
    EXPECT_FALSE(fs::is_symlink(out_ + "/roof.bmp"));
    EXPECT_EQ(ReadFile(out_ + "/wall.bmp").size(), 1078u + 64 * 64);
}

// A dictionary is never overwritten by its own output; bombs are refused.
TEST_F(OutputSafety, InputsAndBombs) {
    const std::string pack = Dictionary("pack.bmp", {Tex("pack"), Tex("other")});
    const auto before = ReadFile(pack);
    CliResult r = Cli("extract --no-alphas -o " + Quote(dir_) + " " + Quote(pack));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("texture 1 (pack): Not overwriting an input of this export: \"" + pack + "\""),
              std::string::npos)
        << r.out;
    EXPECT_EQ(ReadFile(pack), before);
    EXPECT_TRUE(fs::exists(dir_ + "/other.bmp"));

    // 136 bytes that claim 16384 x 16384 pixels: refused, nothing written.
    TextureSpec t;
    t.Name = "b";
    t.Width = 1;
    t.Height = 1;
    t.Pixels = {0};
    t.Swizzled = false;
    auto bytes = BuildDictionary({t});
    bytes[32] ^= 0x40;            // the record's size no longer adds up: the fixed distances
    bytes[96] = 4;                // S = 4: the record ends at byte 136
    bytes[97] = bytes[98] = bytes[99] = 0;
    const std::size_t at = 116;   // the raster header words
    for (int i = 0; i < 2; ++i) {
        bytes[at + 4 * i] = 0;
        bytes[at + 4 * i + 1] = 0x40;
    }
    bytes.resize(136);
    WriteFile(dir_ + "/bomb.txd", bytes);
    CliResult bomb = Cli("extract -o " + Quote(dir_ + "/b") + " " + Quote(dir_ + "/bomb.txd"));
    EXPECT_EQ(bomb.code, 1);
    EXPECT_NE(bomb.out.find("Texture data missing!!! (0 of 268435456 bytes)"), std::string::npos) << bomb.out;
    EXPECT_TRUE(Names(dir_ + "/b").empty());
}

// Messages that say what and why; standard output that cannot be written and
// inputs that are not files are failures.
TEST_F(OutputSafety, MessagesAndStatus) {
    const std::string dict = Dictionary("m.txd", {Tex("line\nbreak"), Tex("be\x07ll")});
    CliResult list = Cli("list " + Quote(dict));
    EXPECT_EQ(list.out, "1. line\\x0abreak  |  64 x 64 (8bit)\n2. be\\x07ll  |  64 x 64 (8bit)\n");
    for (const std::string& command : std::vector<std::string>{"list ", "extract -o " + Quote(out_) + " "}) {
        CommandResult full = RunCommand(Quote(KELMORA_CLI) + " " + command + Quote(dict) + " 2>&1 >/dev/full");
        EXPECT_EQ(full.code, 1) << command;
        EXPECT_EQ(full.out, "kelmora-cli: cannot write to standard output\n") << command;
    }

    ASSERT_EQ(::mkfifo((dir_ + "/fifo.txd").c_str(), 0600), 0);
    CliResult fifo = Cli("list " + Quote(dir_ + "/fifo.txd"));
    EXPECT_EQ(fifo.code, 1);
    EXPECT_EQ(fifo.out, "kelmora-cli: Not a regular file: " + dir_ + "/fifo.txd\n");
    EXPECT_EQ(Cli("list /dev/zero").out, "kelmora-cli: Not a regular file: /dev/zero\n");

    WriteFile(dir_ + "/blocker", {1});
    CliResult dirFail = Cli("extract -o " + Quote(dir_ + "/blocker/sub") + " " + Quote(dict));
    EXPECT_EQ(dirFail.code, 1);
    EXPECT_NE(dirFail.out.find("Directory cannot be created! \"" + dir_ + "/blocker\". Not a directory"),
              std::string::npos)
        << dirFail.out;
}

// Writing a dictionary back over itself: a full disk, a failed close or rename, or
// a kill in the middle leaves the old dictionary exactly as it was.
TEST_F(OutputSafety, ADictionaryWrittenBackIsWholeOrUntouched) {
    const std::string dict = dir_ + "/d.txd";
    WriteFile(dict, BuildDictionary({RealTexture("a", 64, 64, 8, 1, 1), RealTexture("b", 32, 32, 4, 1, 2)}));
    const std::vector<std::uint8_t> original = ReadFile(dict);
    WriteFile(dir_ + "/new.tga", [] {
        std::vector<std::uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 16, 0, 32, 0x28};
        for (int i = 0; i < 16 * 16; ++i)
            tga.insert(tga.end(), {static_cast<std::uint8_t>(i), 0, 255, 255});
        return tga;
    }());
    for (const std::string fault : {"write:1000", "close", "rename", "kill:1"}) {
        SCOPED_TRACE(fault);
        CliResult r = Cli("replace " + Quote(dict) + " 1 " + Quote(dir_ + "/new.tga"), fault);
        EXPECT_NE(r.code, 0) << r.out;
        EXPECT_EQ(ReadFile(dict), original);
    }
    CliResult ok = Cli("replace " + Quote(dict) + " 1 " + Quote(dir_ + "/new.tga"));
    EXPECT_EQ(ok.code, 0) << ok.out;
    EXPECT_NE(ReadFile(dict), original);
    // A killed run's temporary is the only thing left beside it, and a later run
    // clears such leftovers when it exports.
    for (const std::string& name : Names(dir_))
        EXPECT_TRUE(name == "d.txd" || name == "new.tga" || name == "out" || name.rfind(".kelmora-", 0) == 0) << name;
}
