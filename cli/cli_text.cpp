#include "cli/cli_text.h"

#include "base/text.h"
#include "words/engine_words.h"

namespace kelmora::cli {

std::string WalkFailure(const std::string& file, const WalkReport& r) {
    return file + ": texture " + std::to_string(r.TextureNumber) + " of " + std::to_string(r.Count) + " (" +
           ShownText(r.NamePart) + "): can't jump to position " + std::to_string(r.Next) + ", file size is only " +
           std::to_string(r.FileSize);
}

std::string ErrorLine(const std::exception& error) { return ErrorText(error); }

} // namespace kelmora::cli
