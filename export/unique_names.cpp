#include "export/unique_names.h"

#include <algorithm>
#include <cctype>

#include "export/safe_name.h"

namespace kelmora {

std::string CutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    // Continuation bytes are 10xxxxxx: step back to the start of the character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string RunNames::Key(const std::string& path) {
    if (!kWindowsNames)
        return path;
    // Windows file names do not tell case apart.
    std::string k = path;
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
    return k;
}

std::string RunNames::Claim(const std::string& dir, const std::string& stem, const std::string& extension) {
    for (unsigned n = 1;; ++n) {
        const std::string mark = n == 1 ? std::string() : "~" + std::to_string(n);
        const std::size_t room = kMaxFileNameBytes - std::min(kMaxFileNameBytes, mark.size() + extension.size());
        const std::string path = dir + CutUtf8(stem, room) + mark + extension;
        if (taken_.insert(Key(path)).second)
            return path;
    }
}

void RunNames::Release(const std::string& path) { taken_.erase(Key(path)); }

} // namespace kelmora
