#pragma once
// The command line's words for what the engine reports: each one line.
#include <stdexcept>
#include <string>

#include "base/errors.h"
#include "dictionary/dictionary_walk.h"

namespace kelmora::cli {

// The one line for whatever ended a command: a KelmoraError in the engine's
// words (with the way past a duplicate name, which --allow-duplicate is), any
// other exception by its own text.
std::string ErrorLine(const std::exception& error);

// A walk that stopped, as an error and as its line: "FILE: texture N of M (NAME):
// can't jump to position P, file size is only S".
KelmoraError WalkStoppedError(const std::string& file, const WalkReport& report);
std::string WalkFailure(const std::string& file, const WalkReport& report);

} // namespace kelmora::cli
