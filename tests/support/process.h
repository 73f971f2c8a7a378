#pragma once
// Runs a command line and collects its standard output.
#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace kelmora::testing {

struct CommandResult {
    int code = -1;
    std::string out;
};

inline CommandResult RunCommand(const std::string& cmd) {
    CommandResult r;
    FILE* f = popen(cmd.c_str(), "r");
    if (!f)
        return r;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), f)) > 0)
        r.out.append(buf.data(), n);
    int st = pclose(f);
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace kelmora::testing
