#include "cli/cli_text.h"

#include "base/text.h"
#include "words/engine_words.h"

namespace kelmora::cli {

KelmoraError WalkStoppedError(const std::string& file, const WalkReport& r) {
    return KelmoraError(ErrorCode::WalkStopped, {.File = file,
                                                 .Name = r.NamePart,
                                                 .Texture = r.TextureNumber - 1,
                                                 .Number = static_cast<std::uint64_t>(std::int64_t{r.Next}),
                                                 .Limit = r.FileSize,
                                                 .Count = r.Count});
}

std::string WalkFailure(const std::string& file, const WalkReport& r) { return ErrorText(WalkStoppedError(file, r)); }

std::string ErrorLine(const std::exception& error) {
    std::string line = ErrorText(error);
    const auto* e = dynamic_cast<const KelmoraError*>(&error);
    if (e && e->Code() == ErrorCode::DuplicateName)
        line += " (--allow-duplicate gives it all the same)";
    return line;
}

} // namespace kelmora::cli
