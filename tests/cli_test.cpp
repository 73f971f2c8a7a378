#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

#include "tests/support/dictionary_builder.h"

using namespace kelmora::testing;

namespace {

struct CliRun {
    int code = -1;
    std::string out;
};

// Runs kelmora-cli with the arguments (a shell fragment); stderr goes to stdout
// when merge is set.
CliRun Cli(const std::string& args, bool merge = false, bool quietErr = false) {
    std::string cmd = std::string("'") + KELMORA_CLI + "' " + args + (merge ? " 2>&1" : (quietErr ? " 2>/dev/null" : ""));
    CliRun r;
    FILE* f = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), f)) > 0)
        r.out.append(buf.data(), n);
    int st = pclose(f);
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

} // namespace

TEST(CliList, PrintsTheCaptionsOfTheDemo) {
    CliRun r = Cli(std::string("list '") + KELMORA_DEMO + "'");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "1. plasma  |  256 x 256 (8bit)\n"
                     "2. glow / glow_mask  |  128 x 128 (8bit)\n"
                     "3. checker  |  64 x 64 (4bit)\n"
                     "4. stripes16 / stripes16_a  |  64 x 16 (4bit)\n"
                     "5. odd_tile  |  45 x 27 (8bit)\n"
                     "6. red_on_blue / red_on_blue_m  |  32 x 32 (8bit)\n");
}

TEST(CliList, ErrorsEmptyFilesAndUsage) {
    std::string dir = MakeTempDir("cli");
    TextureSpec t = RandomTexture("caf\xE9", 8, 8, 8, true, 1);
    auto bytes = BuildDictionary({t, t});
    bytes.pop_back();
    WriteFile(dir + "/broken.txd", bytes);
    CliRun broken = Cli("list '" + dir + "/broken.txd'", true);
    EXPECT_EQ(broken.code, 1);
    EXPECT_NE(broken.out.find("1. caf\xC3\xA9  |  8 x 8 (8bit)\n2. caf\xC3\xA9  |  8 x 8 (8bit)\n"), std::string::npos)
        << broken.out;
    EXPECT_NE(broken.out.find("Texture 2 of 2\ncaf\xC3\xA9\n\n-<[  ERROR!  ]>-\n\nCan't jump to position"), std::string::npos);

    WriteFile(dir + "/empty.txd", {});
    CliRun empty = Cli("list '" + dir + "/empty.txd'", true);
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.out, "empty.txd is empty!\n");

    CliRun missing = Cli("list '" + dir + "/none.txd'", true);
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.out, "kelmora-cli: Cannot open file \"" + dir + "/none.txd\". No such file or directory\n");

    EXPECT_EQ(Cli("list", false, true).code, 2);
    EXPECT_EQ(Cli("frobnicate x", false, true).code, 2);
    EXPECT_EQ(Cli("--help").code, 0);
    CliRun version = Cli("--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_NE(version.out.find("1.2"), std::string::npos);
    std::filesystem::remove_all(dir);
}
