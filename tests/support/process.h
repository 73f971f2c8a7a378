#pragma once
// Runs a command line and collects its standard output.
#include <array>
#include <cstdio>
#include <string>
#ifndef _WIN32
#include <sys/wait.h>
#endif

// Tests that read our files back with the host's own tools (ImageMagick, libjpeg's
// cjpeg, Pillow) run where those are: not in a Windows build, whose files are
// compared with the host build's byte for byte instead.
#ifdef _WIN32
#define KELMORA_NEEDS_HOST_TOOLS() GTEST_SKIP() << "reads its files with the host's tools"
#else
#define KELMORA_NEEDS_HOST_TOOLS() static_cast<void>(0)
#endif

namespace kelmora::testing {

struct CommandResult {
    int code = -1;
    std::string out;
};

inline CommandResult RunCommand(const std::string& cmd) {
    CommandResult r;
#ifdef _WIN32
    FILE* f = _popen(cmd.c_str(), "rb");
#else
    FILE* f = popen(cmd.c_str(), "r");
#endif
    if (!f)
        return r;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), f)) > 0)
        r.out.append(buf.data(), n);
#ifdef _WIN32
    r.code = _pclose(f);
#else
    int st = pclose(f);
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
#endif
    return r;
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace kelmora::testing
