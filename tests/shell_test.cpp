#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "base/errors.h"
#include "shell/freedesktop_association.h"
#include "shell/windows_association.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/process.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

// Records every registry operation; the write number failAt (from 1) fails.
class RecordingRegistry : public RegistryOps {
public:
    std::vector<std::string> calls;
    int failAt = 0;
    int writes = 0;
    bool open = false;

    bool OpenKey(const std::string& key) override {
        calls.push_back("open " + key);
        open = true;
        return true;
    }
    bool SetDefaultValue(const std::string& text) override {
        calls.push_back("set " + text);
        return ++writes != failAt && open;
    }
    void CloseKey() override {
        calls.push_back("close");
        open = false;
    }
    void NotifyAssociationChanged() override { calls.push_back("notify"); }
};

std::string Text(const std::string& path) {
    auto b = ReadFile(path);
    return {b.begin(), b.end()};
}

} // namespace

TEST(WindowsAssociation, FourKeysInOrderThenTheNotification) {
    RecordingRegistry r;
    WriteWindowsAssociation(r, "C:\\Program Files\\Kelmora\\kelmora.exe");
    EXPECT_EQ(r.calls, (std::vector<std::string>{
                           "open .txd", "set txdfile", "close",
                           "open txdfile", "set Halvard/Ostrel Texture Archive", "close",
                           "open txdfile\\shell", "set Open", "close",
                           "open txdfile\\shell\\Open\\command",
                           "set \"C:\\Program Files\\Kelmora\\kelmora.exe\" \"%1\"", "close",
                           "notify"}));
}

TEST(WindowsAssociation, AFailedWriteEndsTheCommand) {
    RecordingRegistry r;
    r.failAt = 3;
    try {
        WriteWindowsAssociation(r, "C:\\k.exe");
        FAIL() << "no error";
    } catch (const KelmoraError& e) {
        EXPECT_EQ(ErrorText(e), "Failed to set data for ''");
    }
    ASSERT_EQ(r.calls.size(), 9u);
    EXPECT_EQ(r.calls[7], "set Open");
    EXPECT_EQ(r.calls[8], "close"); // nothing stays open, nothing further, no notification
    EXPECT_FALSE(r.open);
}

TEST(FreedesktopAssociation, ExecArgumentsAreQuoted) {
    EXPECT_EQ(QuoteExecArgument("/opt/kelmora/kelmora"), "\"/opt/kelmora/kelmora\"");
    EXPECT_EQ(QuoteExecArgument("/my apps/k"), "\"/my apps/k\"");
    EXPECT_EQ(QuoteExecArgument("/a\"b$c`d"), "\"/a\\\\\"b\\\\$c\\\\`d\"");
    EXPECT_EQ(QuoteExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(QuoteExecArgument("/100%"), "\"/100%%\"");
}

TEST(FreedesktopAssociation, DefaultApplicationKeepsOtherEntries) {
    EXPECT_EQ(WithDefaultApplication(""), "[Default Applications]\napplication/x-txd=kelmora.desktop\n");
    EXPECT_EQ(WithDefaultApplication("[Added Associations]\ntext/plain=ed.desktop;\n"),
              "[Added Associations]\ntext/plain=ed.desktop;\n\n[Default Applications]\napplication/x-txd=kelmora.desktop\n");
    EXPECT_EQ(WithDefaultApplication("[Default Applications]\nimage/png=gimp.desktop\napplication/x-txd=other.desktop\n"
                                     "[Added Associations]\nimage/png=eog.desktop;\n"),
              "[Default Applications]\nimage/png=gimp.desktop\napplication/x-txd=kelmora.desktop\n"
              "[Added Associations]\nimage/png=eog.desktop;\n");
    EXPECT_EQ(WithDefaultApplication("[Default Applications]\nimage/png=gimp.desktop\n[Other]\nx=y\n"),
              "[Default Applications]\nimage/png=gimp.desktop\napplication/x-txd=kelmora.desktop\n[Other]\nx=y\n");
}

TEST(FreedesktopAssociation, RegistersForTheDesktopAndAgreesWithXdgMime) {
    std::string root = MakeTempDir("xdg");
    XdgDirs dirs{root + "/data", root + "/config"};
    fs::create_directories(dirs.ConfigHome);
    WriteFile(dirs.ConfigHome + "/mimeapps.list",
              {'[', 'D', 'e', 'f', 'a', 'u', 'l', 't', ' ', 'A', 'p', 'p', 'l', 'i', 'c', 'a', 't', 'i', 'o', 'n', 's',
               ']', '\n', 'i', 'm', 'a', 'g', 'e', '/', 'p', 'n', 'g', '=', 'g', '.', 'd', 'e', 's', 'k', 't', 'o', 'p', '\n'});
    const std::string viewer = "/opt/my tools/kelmora";
    WriteFreedesktopAssociation(dirs, viewer);
    const std::string desktop = Text(dirs.DataHome + "/applications/kelmora.desktop");
    const std::string mime = Text(dirs.DataHome + "/mime/packages/kelmora-txd.xml");
    const std::string list = Text(dirs.ConfigHome + "/mimeapps.list");
    // A path with a blank is reached through a link that needs no quotes.
    EXPECT_NE(desktop.find("Exec=" + dirs.DataHome + "/kelmora/kelmora %f\n"), std::string::npos) << desktop;
    EXPECT_EQ(fs::read_symlink(dirs.DataHome + "/kelmora/kelmora"), viewer);
    EXPECT_NE(desktop.find("MimeType=application/x-txd;\n"), std::string::npos);
    EXPECT_NE(mime.find("<comment>Halvard/Ostrel Texture Archive</comment>"), std::string::npos);
    EXPECT_NE(mime.find("<glob pattern=\"*.txd\"/>"), std::string::npos);
    EXPECT_EQ(list, "[Default Applications]\nimage/png=g.desktop\napplication/x-txd=kelmora.desktop\n");

    WriteFreedesktopAssociation(dirs, viewer); // twice: the same result
    EXPECT_EQ(Text(dirs.ConfigHome + "/mimeapps.list"), list);
    EXPECT_EQ(Text(dirs.DataHome + "/applications/kelmora.desktop"), desktop);

    WriteFile(root + "/car.txd", {0});
    const std::string env = "HOME=" + Quote(root) + " XDG_DATA_HOME=" + Quote(dirs.DataHome) +
                            " XDG_CONFIG_HOME=" + Quote(dirs.ConfigHome) + " XDG_DATA_DIRS=" + Quote(dirs.DataHome) +
                            ":/usr/share XDG_CURRENT_DESKTOP= ";
    CommandResult type = RunCommand(env + "xdg-mime query filetype " + Quote(root + "/car.txd") + " 2>/dev/null");
    EXPECT_EQ(type.out, "application/x-txd\n");
    CommandResult def = RunCommand(env + "xdg-mime query default application/x-txd 2>/dev/null");
    EXPECT_EQ(def.out, "kelmora.desktop\n");
    fs::remove_all(root);
}

TEST(FreedesktopAssociation, UnwritableFoldersAreReported) {
    std::string root = MakeTempDir("xdg-bad");
    WriteFile(root + "/file", {1});
    XdgDirs dirs{root + "/file/data", root + "/config"};
    try {
        WriteFreedesktopAssociation(dirs, "/k", false);
        FAIL() << "no error";
    } catch (const KelmoraError& e) {
        EXPECT_EQ(ErrorText(e), "Directory cannot be created! \"" + root + "/file\". Not a directory");
    }
    fs::remove_all(root);
}

TEST(FreedesktopAssociation, BaseDirectoryDefaults) {
    const char* home = std::getenv("HOME");
    std::string oldHome = home ? home : "";
    setenv("HOME", "/home/u", 1);
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    unsetenv("XDG_CONFIG_HOME");
    XdgDirs d = XdgDirsFromEnvironment();
    EXPECT_EQ(d.DataHome, "/home/u/.local/share");
    EXPECT_EQ(d.ConfigHome, "/home/u/.config");
    setenv("XDG_DATA_HOME", "/x/data", 1);
    EXPECT_EQ(XdgDirsFromEnvironment().DataHome, "/x/data");
    setenv("HOME", oldHome.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
}
