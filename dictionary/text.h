#pragma once
// Texts of the program: dictionary names are 8-bit Windows-1252 bytes; what is
// shown or used as a file name is UTF-8.
#include <cstdint>
#include <string>

namespace kelmora {

// Removes every character with a code from 0 to 32 at both ends.
std::string Trim(const std::string& s);
// Cuts a stored text to 255 characters.
std::string Cut255(const std::string& s);
// Windows-1252 bytes to UTF-8.
std::string Cp1252ToUtf8(const std::string& bytes);
// Milliseconds as seconds with two to four decimals ("0.00##"); the separator is
// text because a locale's may take more than one byte in UTF-8.
std::string FormatSeconds(std::uint32_t ms, const std::string& decimalSeparator = ".");
inline std::string FormatSeconds(std::uint32_t ms, char decimalSeparator) {
    return FormatSeconds(ms, std::string(1, decimalSeparator));
}

} // namespace kelmora
