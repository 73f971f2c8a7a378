#pragma once
// The file names of one export run: no file of a run may overwrite another file
// of the same run, so a name taken already gets "~2", "~3", ... before its
// extension, and a name too long for the file system is cut to fit first.
#include <cstddef>
#include <set>
#include <string>

namespace kelmora {

inline constexpr std::size_t kMaxFileNameBytes = 255;

// text cut to at most maxBytes bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, std::size_t maxBytes);

class RunNames {
public:
    // The path in dir (ending with a separator) for stem + extension, free in
    // this run, and taken from now on.
    std::string Claim(const std::string& dir, const std::string& stem, const std::string& extension);
    // Gives a claimed path back, for files that were not written after all.
    void Release(const std::string& path);

private:
    static std::string Key(const std::string& path);
    std::set<std::string> taken_;
};

} // namespace kelmora
