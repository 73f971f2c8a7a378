#pragma once
// kelmora-cli's commands that read indexes only: list and find.
#include <string>
#include <vector>

namespace kelmora::cli {

struct ListOptions {
    std::vector<std::string> files;
    bool json = false, all = false;
};
// list: each dictionary's captions, an archive's dictionaries, or one JSON document.
int List(const ListOptions& options);

struct FindOptions {
    std::string pattern;
    std::vector<std::string> paths;
    bool json = false;
};
// find: every texture whose name or mask name matches; exit status 1 when none does.
int Find(const FindOptions& options);

} // namespace kelmora::cli
