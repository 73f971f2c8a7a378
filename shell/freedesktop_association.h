#pragma once
// The association on a freedesktop desktop: a MIME type for *.txd, a desktop
// entry for the viewer, and the viewer as that type's default application.
#include <string>

namespace kelmora {

inline constexpr const char* kTxdMimeType = "application/x-txd";
inline constexpr const char* kDesktopFileName = "kelmora.desktop";

struct XdgDirs {
    std::string DataHome;   // $XDG_DATA_HOME, default ~/.local/share
    std::string ConfigHome; // $XDG_CONFIG_HOME, default ~/.config
};

XdgDirs XdgDirsFromEnvironment();

// One argument of a desktop entry's Exec key, quoted as that format requires.
std::string QuoteExecArgument(const std::string& arg);

// mimeapps.list content with the viewer as the default for the type; every other
// line stays as it was.
std::string WithDefaultApplication(const std::string& mimeappsList);

// Writes the three files, then refreshes the MIME and desktop databases when the
// updaters are installed. Throws KelmoraError when a file or folder cannot be written.
void WriteFreedesktopAssociation(const XdgDirs& dirs, const std::string& viewerPath, bool runUpdaters = true);

} // namespace kelmora
