// Runs on Windows (or under Wine): registers the association twice, reads the four
// values back through the registry API, and walks, decodes and writes the demo
// dictionary with the Windows file backend. Exits non-zero on any difference.
#include <windows.h>

#include <cstdio>
#include <string>

#include "dictionary/colour_rules.h"
#include "dictionary/dictionary.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "export/image_writers.h"
#include "shell/file_type_registration.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++failures;
    }
}

std::string DefaultValue(const char* key) {
    char buf[1024] = {};
    DWORD size = sizeof buf;
    if (RegGetValueA(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
        return "<missing>";
    return buf;
}

void CheckRegistry() {
    const std::string exe = kelmora::ExecutablePath();
    Check(!exe.empty() && exe.find(".exe") != std::string::npos, "executable path " + exe);
    for (int round = 0; round < 2; ++round) {
        kelmora::RegisterFileType();
        Check(DefaultValue(".txd") == "txdfile", ".txd = " + DefaultValue(".txd"));
        Check(DefaultValue("txdfile") == "Halvard/Ostrel Texture Archive", "txdfile = " + DefaultValue("txdfile"));
        Check(DefaultValue("txdfile\\shell") == "Open", "txdfile\\shell = " + DefaultValue("txdfile\\shell"));
        const std::string command = DefaultValue("txdfile\\shell\\Open\\command");
        Check(command == "\"" + exe + "\" \"%1\"", "command = " + command);
    }
}

void CheckCore(const std::string& demo, const std::string& tempDir) {
    const kelmora::Dictionary dictionary = kelmora::Dictionary::OpenFile(demo);
    const kelmora::WalkResult& walk = dictionary.Walk();
    Check(walk.End == kelmora::WalkEnd::Complete && walk.Listed == 6, "walk of the demo");
    const kelmora::WalkResult console =
        kelmora::Dictionary::OpenFile(demo.substr(0, demo.size() - 8) + "console.txd").Walk();
    Check(console.End == kelmora::WalkEnd::Complete && console.Listed == 6, "walk of the console sample");
    if (walk.Listed < 1)
        return;
    Check(walk.Entries[0].Caption == "1. plasma  |  256 x 256 (8bit)", "caption " + walk.Entries[0].Caption);
    kelmora::DecodedTexture decoded = dictionary.Decode(1);
    const kelmora::DecodeResult r = decoded.Result;
    const kelmora::DecodeState state = std::move(decoded.State);
    Check(r.Ok() && state.TexWidth == 128, "decode of the glow");
    const std::string bmp = tempDir + "\\glow.bmp", tga = tempDir + "\\glow.tga";
    kelmora::WriteBmp8(kelmora::MakeIndexedImage(state, false, false), bmp);
    kelmora::WriteTga32(tga, state, true);
    kelmora::OsFile b = kelmora::OsFile::OpenRead(bmp);
    Check(b.Size() == 1078 + 128 * 128, "BMP size");
    kelmora::OsFile t = kelmora::OsFile::OpenRead(tga);
    Check(t.Size() == 18 + 4 * 128 * 128, "TGA size");
    t.Close();
    b.Close();
    // Replacing an existing file goes through a temporary that must not stay.
    kelmora::WriteBmp8(kelmora::MakeIndexedImage(state, true, true), bmp);
    Check(kelmora::OsFile::OpenRead(bmp).Size() == 1078 + 128 * 128, "replaced BMP size");
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((tempDir + "\\.kelmora-*").c_str(), &found);
    Check(h == INVALID_HANDLE_VALUE, "no temporary left behind");
    if (h != INVALID_HANDLE_VALUE)
        FindClose(h);
    try {
        kelmora::OsFile::OpenRead(tempDir + "\\missing.txd");
        Check(false, "open of a missing file");
    } catch (const std::exception& e) {
        Check(std::string(e.what()).rfind("Cannot open file \"", 0) == 0, std::string("open error: ") + e.what());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: registry_check DEMO.txd TEMPDIR\n");
        return 2;
    }
    CheckRegistry();
    CheckCore(argv[1], argv[2]);
    std::printf(failures ? "Windows check: %d failure(s)\n" : "Windows check passed\n", failures);
    return failures ? 1 : 0;
}
