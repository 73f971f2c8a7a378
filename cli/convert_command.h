#pragma once
// kelmora-cli convert: a dictionary, an archive's entry or a whole archive
// converted to another platform's records, written to a new file.
#include <cstdint>
#include <string>

namespace kelmora::cli {

struct ConvertCommand {
    std::string Input, Output, To;
    std::string Compress;        // "dxt" or empty
    std::string Quality = "normal";
    std::uint32_t Depth = 0;
    bool Resize = false, NoDither = false, NoFilter = false, Quiet = false;
};

int Convert(const ConvertCommand& command);

} // namespace kelmora::cli
