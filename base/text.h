#pragma once
// Texts of the program: dictionary names are 8-bit Windows-1252 bytes; what is
// shown or used as a file name is UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelmora {

// Removes every character with a code from 0 to 32 at both ends.
std::string Trim(const std::string& s);
// Cuts a stored text to 255 characters.
std::string Cut255(const std::string& s);
// Whether two names are the same but for the case of their ASCII letters, as the
// console's look-up by name takes them.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);
// Windows-1252 bytes to UTF-8.
std::string Cp1252ToUtf8(const std::string& bytes);
// UTF-8 to Windows-1252, for names typed by the user; throws KelmoraError for
// characters the code page does not have.
std::string Utf8ToCp1252(const std::string& utf8);
// Control characters (codes 0 to 31 and 127) as "\x0a" and the like, so that a
// name from a file can never move the cursor, ring or start a new line. Works on
// Windows-1252 and UTF-8 alike: neither uses those bytes for anything else.
std::string EscapeControls(const std::string& text);
// A dictionary text as it is shown: UTF-8, control characters escaped.
inline std::string ShownText(const std::string& cp1252) { return EscapeControls(Cp1252ToUtf8(cp1252)); }
// Milliseconds as seconds with two to four decimals ("0.00##"); the separator is
// text because a locale's may take more than one byte in UTF-8.
std::string FormatSeconds(std::uint32_t ms, const std::string& decimalSeparator = ".");
inline std::string FormatSeconds(std::uint32_t ms, char decimalSeparator) {
    return FormatSeconds(ms, std::string(1, decimalSeparator));
}

// A glob as the shell takes it ("*" any run, "?" any one character), with ASCII
// letters of either case alike.
bool GlobMatch(const std::string& pattern, const std::string& text);

// "texture 3 (wheel)": a texture in messages, by its list number (index + 1)
// and its name as the message shows it (escaped by the caller as it needs).
std::string TextureLabel(std::size_t index, const std::string& shownName);

// "0x0A00" with at least digits hexadecimal digits; "64 x 32".
std::string HexText(std::uint64_t value, int digits);
std::string SizeText(std::uint64_t width, std::uint64_t height);

} // namespace kelmora
