#pragma once
#include <string>

namespace kelmora {

#ifdef _WIN32
inline constexpr bool kWindowsNames = true;
#else
inline constexpr bool kWindowsNames = false;
#endif

// A texture name (UTF-8) made safe as one file name: names come from the file and
// must never lead a write outside the destination directory. Separators, drive
// colons, wildcards, quotes, angle brackets, bars and control codes become "_";
// an empty name, "." and ".." become "_"; with Windows rules a reserved device
// name (CON, NUL, COM1, ...) gets a "_" appended.
std::string SafeFileName(const std::string& name, bool windowsRules = kWindowsNames);

} // namespace kelmora
