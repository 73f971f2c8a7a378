#pragma once
// The command line's words for what the engine reports: each one line.
#include <stdexcept>
#include <string>

#include "base/errors.h"
#include "dictionary/dictionary_walk.h"

namespace kelmora::cli {

// A failure the command line words itself: a name that matches nothing, an
// option that does not fit. What the engine refuses comes as a KelmoraError.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The one line for whatever ended a command: a KelmoraError in the engine's
// words, a Failure or any other exception by its own text.
std::string ErrorLine(const std::exception& error);

// A walk that stopped: "FILE: texture N of M (NAME): can't jump to position P, file size is only S".
std::string WalkFailure(const std::string& file, const WalkReport& report);

} // namespace kelmora::cli
