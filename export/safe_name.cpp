#include "export/safe_name.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kelmora {

namespace {

bool IsReservedDeviceName(const std::string& name) {
    // Windows reserves these whatever extension follows them.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    static const char* const fixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* f : fixed)
        if (stem == f)
            return true;
    return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

} // namespace

std::string SafeFileName(const std::string& name, bool windowsRules) {
    std::string out = name;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || std::strchr("/\\:*?\"<>|", c))
            c = '_';
    if (out.empty() || out == "." || out == "..")
        return "_";
    if (windowsRules && IsReservedDeviceName(out))
        out += '_';
    return out;
}

} // namespace kelmora
