// kelmora-cli.exe as a Windows user meets it: wide paths with blanks, every command
// and format, and hostile input answered with the same messages as elsewhere.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dictionary_builder.h"
#include "tests/windows/win_process.h"

using namespace kelmora::testing;
using kelmora::WideFromUtf8;

namespace {

ProcessResult Cli(const std::vector<std::string>& args) { return RunProgram(KELMORA_CLI, args); }

bool Exists(const std::string& path) { return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

class CliOnWindows : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir("wincli") + "\\Textures \xC3\xA4\xC3\xB6 \xE6\x97\xA5\xE6\x9C\xAC";
        ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(dir_).c_str(), nullptr));
    }
    std::string dir_;
};

} // namespace

TEST_F(CliOnWindows, EveryCommandAndFormatOnWidePaths) {
    const std::string dict = dir_ + "\\c\xC3\xB6nsole 1.txd";
    WriteFile(dict, ReadFile(KELMORA_CONSOLE));
    ProcessResult list = Cli({"list", dict});
    EXPECT_EQ(list.code, 0) << list.out;
    EXPECT_EQ(list.out.rfind("1. rings_mips / rings_mips_a  |  128 x 128 (8bit)\n2. wide_4bit  |  64 x 16 (4bit)\n", 0),
              0u)
        << list.out;

    for (const char* format : {"bmp", "jpeg", "tga", "png"}) {
        const std::string out = dir_ + "\\out " + format;
        ProcessResult r = Cli({"extract", "-f", format, "-o", out, dict});
        EXPECT_EQ(r.code, 0) << format << ": " << r.out;
        EXPECT_NE(r.out.find("6 of 6 texture(s) exported"), std::string::npos) << r.out;
        const std::string ext = std::string(".") + (std::string(format) == "jpeg" ? "jpg" : format);
        EXPECT_TRUE(Exists(out + "\\sky_32bit" + ext)) << format;
    }

    const std::string saved = dir_ + "\\sk\xC3\xBD.png";
    ProcessResult save = Cli({"save", dict, "5", saved});
    EXPECT_EQ(save.code, 0) << save.out;
    EXPECT_EQ(ReadFile(saved), ReadFile(dir_ + "\\out png\\sky_32bit.png"));

    // Exported and put back: the same bytes.
    const std::string pngs = dir_ + "\\out png", again = dir_ + "\\ag\xC3\xA4in.txd";
    ProcessResult imported = Cli({"import", "-o", again, dict, pngs});
    EXPECT_EQ(imported.code, 0) << imported.out;
    EXPECT_EQ(ReadFile(again), ReadFile(dict));

    const std::string renamed = dir_ + "\\renamed.txd", removed = dir_ + "\\removed.txd";
    ProcessResult rename = Cli({"rename", "-o", renamed, dict, "wide_4bit", "w\xC3\xAD" "de"});
    EXPECT_EQ(rename.code, 0) << rename.out;
    EXPECT_NE(Cli({"list", renamed}).out.find("2. w\xC3\xAD" "de  |  64 x 16 (4bit)\n"), std::string::npos);
    ProcessResult remove = Cli({"remove", "-o", removed, dict, "wide_4bit"});
    EXPECT_EQ(remove.code, 0) << remove.out;
    EXPECT_NE(Cli({"list", removed}).out.find("2. narrow_4bit  |  16 x 32 (4bit)\n"), std::string::npos);
    ProcessResult replaced = Cli({"replace", "-o", dir_ + "\\replaced.txd", dict, "tiny_4bit", pngs + "\\tiny_4bit.png"});
    EXPECT_EQ(replaced.code, 0) << replaced.out;
    ProcessResult added =
        Cli({"add", "-o", dir_ + "\\added.txd", "--name", "tiny_again", dict, pngs + "\\tiny_4bit.png"});
    EXPECT_EQ(added.code, 0) << added.out;
    EXPECT_NE(Cli({"list", dir_ + "\\added.txd"}).out.find("7. tiny_again  |  8 x 8 (8bit)"), std::string::npos);
}

TEST_F(CliOnWindows, HostileInputGetsTheSameMessages) {
    TextureSpec t = RandomTexture("caf\xE9", 8, 8, 8, true, 1);
    std::vector<std::uint8_t> bytes = BuildDictionary({t, t});
    bytes.pop_back();
    const std::string cut = dir_ + "\\cut short.txd";
    WriteFile(cut, bytes);
    ProcessResult truncated = Cli({"list", cut});
    EXPECT_EQ(truncated.code, 1);
    EXPECT_NE(truncated.out.find("kelmora-cli: " + cut + ": texture 2 of 2 (caf\xC3\xA9): can't jump to position " +
                                 std::to_string(bytes.size() + 1) + ", file size is only " +
                                 std::to_string(bytes.size()) + "\n"),
              std::string::npos)
        << truncated.out;

    // A record whose size points before itself stops the walk instead of looping.
    TextureSpec a = RandomTexture("a", 8, 4, 8, true, 7), b = RandomTexture("b", 8, 4, 8, true, 7);
    a.Mask = b.Mask = "";
    std::vector<std::uint8_t> loop = BuildDictionary({a, b});
    loop[96 + 3] = 0x90;
    const std::string looped = dir_ + "\\loop.txd";
    WriteFile(looped, loop);
    ProcessResult stopped = Cli({"list", looped});
    EXPECT_EQ(stopped.code, 1);
    EXPECT_NE(stopped.out.find("kelmora-cli: " + looped + ": texture 1 of 2 (a): can't jump to position -"),
              std::string::npos)
        << stopped.out;

    // Names Windows forbids become names it takes.
    const std::string odd = dir_ + "\\odd.txd";
    WriteFile(odd, BuildDictionary({RandomTexture("a:b", 8, 8, 8, true, 2), RandomTexture("c*d?", 8, 8, 4, true, 3),
                                    RandomTexture("CON", 8, 8, 8, true, 4), RandomTexture("x|y\"", 8, 8, 8, true, 5)}));
    const std::string out = dir_ + "\\odd out";
    ProcessResult safe = Cli({"extract", "-o", out, odd});
    EXPECT_EQ(safe.code, 0) << safe.out;
    for (const char* name : {"a_b.bmp", "c_d_.bmp", "CON_.bmp", "x_y_.bmp"})
        EXPECT_TRUE(Exists(out + "\\" + name)) << name << "\n" << safe.out;

    // A destination that is a file.
    const std::string blocker = dir_ + "\\blocker";
    WriteFile(blocker, {1});
    ProcessResult blocked = Cli({"extract", "-o", blocker, odd});
    EXPECT_EQ(blocked.code, 1);
    EXPECT_NE(blocked.out.find("kelmora-cli: Directory cannot be created! \"" + blocker), std::string::npos)
        << blocked.out;
    EXPECT_EQ(ReadFile(blocker), std::vector<std::uint8_t>{1});

    ProcessResult missing = Cli({"list", dir_ + "\\none.txd"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out.rfind("kelmora-cli: Cannot open file \"" + dir_ + "\\none.txd\". ", 0), 0u) << missing.out;

    ProcessResult unknown = Cli({"bogus"});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(unknown.out.rfind("kelmora-cli: unknown command \"bogus\"", 0), 0u) << unknown.out;
}
