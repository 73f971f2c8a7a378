#pragma once
// The command line's words for what the engine reports: each one line.
#include <string>

#include "dictionary/dictionary_walk.h"

namespace kelmora::cli {

// A walk that stopped: "FILE: texture N of M (NAME): can't jump to position P, file size is only S".
std::string WalkFailure(const std::string& file, const WalkReport& report);
// A destination that could not be made, with the directory and the system's reason.
std::string DirectoryFailure(const std::string& reason);

} // namespace kelmora::cli
