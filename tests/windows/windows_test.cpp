// What only Windows has: the class registry, MoveFileExW refusing to replace a
// file, and paths the system code page cannot hold.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/atomic_output.h"
#include "base/errors.h"
#include "dictionary/dictionary.h"
#include "tests/support/dictionary_builder.h"
#include "tests/windows/win_process.h"
#include "words/engine_words.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

std::string self; // this program, for the helper process

std::string DefaultValue(const char* key, const char* name = nullptr) {
    wchar_t buf[2048] = {};
    DWORD size = sizeof buf;
    const std::wstring wideName = name ? WideFromUtf8(name) : std::wstring();
    if (RegGetValueW(HKEY_CLASSES_ROOT, WideFromUtf8(key).c_str(), name ? wideName.c_str() : nullptr, RRF_RT_REG_SZ, nullptr,
                     buf, &size) != ERROR_SUCCESS)
        return "<missing>";
    return Utf8FromWide(buf);
}

void SetValue(const char* key, const char* name, const char* text) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, key, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1)),
              ERROR_SUCCESS);
}

void WriteWhole(const std::string& path, const std::string& text) {
    AtomicOutput out(path);
    out.Write(text.data(), text.size());
    out.Commit();
}

std::string Contents(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

// The names in dir that start with prefix.
int CountNames(const std::string& dir, const std::string& prefix) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(WideFromUtf8(dir + "\\" + prefix + "*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do
        ++n;
    while (FindNextFileW(h, &found));
    FindClose(h);
    return n;
}

std::string WriteError(const std::string& path, const std::string& text) {
    try {
        WriteWhole(path, text);
    } catch (const KelmoraError& e) {
        return ErrorText(e);
    }
    return "";
}

} // namespace

// kelmora-cli.exe registers the kelmora.exe beside it, in a folder whose name the
// system code page cannot hold; another association of .txd is replaced, and
// other values under the keys stay.
TEST(Registry, TheFourRowsNameTheViewerBesideTheTool) {
    const std::string dir = MakeTempDir("winreg") + "\\Tools \xE6\x97\xA5\xE6\x9C\xAC \xC3\xBC";
    ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(dir).c_str(), nullptr));
    const std::string tool = dir + "\\kelmora-cli.exe", viewer = dir + "\\kelmora.exe";
    ASSERT_TRUE(CopyFileW(WideFromUtf8(KELMORA_CLI).c_str(), WideFromUtf8(tool).c_str(), FALSE));

    ProcessResult alone = RunProgram(tool, {"register-file-type"});
    EXPECT_EQ(alone.code, 1);
    EXPECT_EQ(alone.out, "kelmora-cli: No Kelmora viewer to register: there is no kelmora.exe beside " + tool + "\n");

    WriteFile(viewer, {'M', 'Z'});
    SetValue(".txd", nullptr, "otherfile");
    SetValue(".txd", "Content Type", "application/x-other");
    for (int round = 0; round < 2; ++round) {
        ProcessResult r = RunProgram(tool, {"register-file-type"});
        EXPECT_EQ(r.code, 0) << r.out;
        EXPECT_EQ(DefaultValue(".txd"), "txdfile");
        EXPECT_EQ(DefaultValue("txdfile"), "Halvard/Ostrel Texture Archive");
        EXPECT_EQ(DefaultValue("txdfile\\shell"), "Open");
        EXPECT_EQ(DefaultValue("txdfile\\shell\\Open\\command"), "\"" + viewer + "\" \"%1\"");
        EXPECT_EQ(DefaultValue(".txd", "Content Type"), "application/x-other");
    }
}

TEST(AtomicOutputOnWindows, ReplacesFilesAndRefusesReadOnlyOnes) {
    const std::string dir = MakeTempDir("win");
    const std::string path = dir + "\\picture.bmp";
    WriteWhole(path, "first");
    WriteWhole(path, "second");
    EXPECT_EQ(Contents(path), "second");

    // A read-only file is the user's "do not overwrite": refused before anything
    // is written, kept, and no temporary stays behind.
    ASSERT_TRUE(SetFileAttributesW(WideFromUtf8(path).c_str(), FILE_ATTRIBUTE_READONLY));
    const std::string error = WriteError(path, "third");
    EXPECT_EQ(error, path + " is read-only");
    EXPECT_EQ(Contents(path), "second");
    EXPECT_EQ(CountNames(dir, ".kelmora-"), 0);
    SetFileAttributesW(WideFromUtf8(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteWhole(path, "fourth");
    EXPECT_EQ(Contents(path), "fourth");
}

TEST(AtomicOutputOnWindows, AFileAnotherProcessHoldsOpenIsKept) {
    const std::string dir = MakeTempDir("win");
    const std::string path = dir + "\\held.tga", ready = dir + "\\ready", release = dir + "\\release";
    WriteWhole(path, "kept");
    // The helper opens the file as most programs do, without letting it be deleted
    // or renamed over, and holds it until told to let go.
    std::wstring line = QuoteArgument(WideFromUtf8(self)) + L" --hold " + QuoteArgument(WideFromUtf8(path)) + L" " +
                        QuoteArgument(WideFromUtf8(ready)) + L" " + QuoteArgument(WideFromUtf8(release));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    for (int i = 0; i < 300 && GetFileAttributesW(WideFromUtf8(ready).c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    ASSERT_NE(GetFileAttributesW(WideFromUtf8(ready).c_str()), INVALID_FILE_ATTRIBUTES) << "the helper did not start";

    const std::string error = WriteError(path, "lost");
    EXPECT_EQ(error.rfind("Stream write error: \"" + path + "\". ", 0), 0u) << error;
    EXPECT_EQ(CountNames(dir, ".kelmora-"), 0);

    WriteFile(release, {});
    WaitForSingleObject(pi.hProcess, 15000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(Contents(path), "kept");
    WriteWhole(path, "after");
    EXPECT_EQ(Contents(path), "after");
}

TEST(WidePaths, TheEngineReadsAndWritesNamesTheCodePageCannotHold) {
    const std::string dir = MakeTempDir("win") + "\\K\xC3\xA9lmora \xE6\x97\xA5\xE6\x9C\xAC \xD0\xB4";
    ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(dir).c_str(), nullptr));
    const std::string dict = dir + "\\d\xC3\xAF" "ct 1.txd";
    const std::vector<std::uint8_t> bytes = ReadFile(KELMORA_DEMO);
    {
        AtomicOutput out(dict);
        out.Write(bytes.data(), bytes.size());
        out.Commit();
    }
    const Dictionary d = Dictionary::OpenFile(dict);
    EXPECT_EQ(d.Walk().Listed, 6u);
    EXPECT_EQ(d.Walk().Entries[0].Caption, "1. plasma  |  256 x 256 (8bit)");
    EXPECT_TRUE(FileExists(dict));
    EXPECT_TRUE(IsRegularFile(dict));
    EXPECT_TRUE(DirectoryExists(dir));
    EXPECT_EQ(AbsolutePath(dict), dict);
    FileIdentity a, b;
    EXPECT_TRUE(IdentityOf(dict, a));
    EXPECT_TRUE(IdentityOf(dir + "\\.\\d\xC3\xAF" "ct 1.txd", b));
    EXPECT_EQ(a, b);
}

// The helper for AFileAnotherProcessHoldsOpenIsKept: --hold FILE READY RELEASE.
int main(int argc, char** argv) {
    self = Utf8Arguments(argc, argv)[0];
    if (argc == 5 && std::string(argv[1]) == "--hold") {
        const std::vector<std::string> args = Utf8Arguments(argc, argv);
        HANDLE h = CreateFileW(WideFromUtf8(args[2]).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return 3;
        WriteFile(args[3], {});
        for (int i = 0; i < 600 && GetFileAttributesW(WideFromUtf8(args[4]).c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
            Sleep(50);
        CloseHandle(h);
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
