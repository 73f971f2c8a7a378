#pragma once
// Where a mass export goes: the rules that turn the open file's path and the
// user's choices into a destination directory, and the creation of that directory.
#include <string>

namespace kelmora {

// The directory part of the dictionary's path without a trailing separator; a
// root keeps its separator ("C:\" on Windows, "/" elsewhere). Empty when the path
// has no directory part.
std::string DirectoryPartOf(const std::string& file);

// The file name up to its first "."; empty when the name has no ".".
std::string SubDirNameOf(const std::string& file);

// The destination from the text of the destination field: trimmed, ending in a
// separator, plus the sub directory when asked for.
std::string ComposeDestDir(const std::string& text, bool withSubDir, const std::string& subDirName);

// True for a path that names no directory of its own (a drive or the root).
bool IsRootLike(const std::string& path);

// A relative path taken relative to base; an absolute one as it is.
std::string ResolveAgainst(const std::string& path, const std::string& base);

// Creates the directory and every missing parent. Directories created before a
// failure stay. A bare drive or root counts as done.
bool CreateDirectoryChain(const std::string& dir, std::string* reason = nullptr);
// "Directory cannot be created!" with the failing directory and the system's
// reason as CreateDirectoryChain reported them.
std::string DirectoryFailure(const std::string& reason);

} // namespace kelmora
