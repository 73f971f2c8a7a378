#pragma once
// Where a mass export goes: the rules that turn the open file's path and the
// user's choices into a destination directory, and the creation of that directory.
#include <string>

#include "base/paths.h"

namespace kelmora {

// The file name up to its first "."; empty when the name has no ".".
std::string SubDirNameOf(const std::string& file);

// The destination from the text of the destination field: trimmed, ending in a
// separator, plus the sub directory when asked for.
std::string ComposeDestDir(const std::string& text, bool withSubDir, const std::string& subDirName);

} // namespace kelmora
