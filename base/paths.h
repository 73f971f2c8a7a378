#pragma once
// Paths as text: their parts, and the directories they name. A separator is
// the platform's own; on Windows a drive's colon ends a directory part too.
#include <functional>
#include <string>

#include "base/errors.h"

namespace kelmora {

// The name after the last separator (or drive colon).
std::string FileNameOf(const std::string& path);

// The directory part of the path without a trailing separator; a root keeps its
// separator ("C:\" on Windows, "/" elsewhere). Empty when the path has no
// directory part.
std::string DirectoryPartOf(const std::string& file);

// The part up to and including the last separator or drive colon.
std::string DirectoryWithSeparator(const std::string& path);

// True for a path that names no directory of its own (a drive or the root).
bool IsRootLike(const std::string& path);

// A relative path taken relative to base; an absolute one as it is.
std::string ResolveAgainst(const std::string& path, const std::string& base);

// Creates the directory and every missing parent. Directories created before a
// failure stay. A bare drive or root counts as done. Throws KelmoraError
// CannotCreateDirectory naming the directory that could not be made (absolute)
// with the system's reason.
void CreateDirectoryChain(const std::string& dir);

// Calls visit for every regular file below dir, in name order, holding one
// directory's names at a time. Links to directories are not followed. Throws
// std::filesystem::filesystem_error for a directory that cannot be listed.
void ForEachFileBelow(const std::string& dir, const std::function<void(const std::string&)>& visit);

// Whether the path's extension is this one (".txd"), any case.
bool HasExtension(const std::string& path, const char* extension);

// Calls visit for every .txd file below dir (any case of the extension), in
// name order, holding one directory's names at a time. Links to directories
// are not followed. Throws std::filesystem::filesystem_error for a directory
// that cannot be listed.
void ForEachDictionaryBelow(const std::string& dir, const std::function<void(const std::string&)>& visit);

// The .txd file `step` places from file among the .txd files of its folder (any
// case of the extension), in name order; empty past either end or when file is
// not among them.
std::string NeighbourDictionary(const std::string& file, int step);

} // namespace kelmora
