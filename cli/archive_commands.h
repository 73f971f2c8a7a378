#pragma once
// kelmora-cli's commands that take dictionaries out of game archives and put
// them in: unpack, pack and rebuild.
#include <string>
#include <utility>
#include <vector>

namespace kelmora::cli {

// unpack ARCHIVE [NAME...] -o DIR: the entries' bytes as they are, every
// dictionary or those named (any entry, with or without ".txd"). Returns the
// exit status; throws KelmoraError, or a Failure worded here.
int Unpack(const std::string& archive, const std::vector<std::string>& names, const std::string& out);

struct PackOptions {
    std::vector<std::string> Files;   // each replaces the entry of its name or is added
    std::vector<std::string> Remove;  // entry names
    std::vector<std::pair<std::string, std::string>> Rename;
    bool Create = false; // a new archive: version 2 from an .img name, version 1 from a .dir name
};
int Pack(const std::string& archive, const PackOptions& options);

int Rebuild(const std::string& archive);

} // namespace kelmora::cli
