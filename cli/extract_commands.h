#pragma once
// kelmora-cli's commands that export: extract (dictionaries, folders, archives,
// on every core) and save (one texture).
#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace kelmora::cli {

struct ExtractOptions {
    std::vector<std::string> files;
    std::string out;
    std::string format = "bmp";
    bool noAlphas = false, noOverwrite = false, noFilter = false, noBrighten = false, keepGoing = false;
    bool levels = false, quiet = false;
    std::size_t jobs = 0; // 0: every core
    std::string only;
    std::set<std::size_t> onlyLines;
    std::vector<std::string> onlyDicts;
};

// "1,3,5-9" as list lines counted from 1.
bool ParseOnly(const std::string& text, std::set<std::size_t>& lines);
int Extract(const ExtractOptions& options);

struct SaveOptions {
    std::string file;
    std::string texture;
    std::string out;
    std::string format;
    bool alpha = false, noFilter = false, noBrighten = false;
};
int Save(const SaveOptions& options);

} // namespace kelmora::cli
