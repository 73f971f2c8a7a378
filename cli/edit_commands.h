#pragma once
// kelmora-cli's commands that put textures back into a dictionary.
#include <string>

namespace kelmora::cli {

struct EditOptions {
    std::string Dictionary;
    std::string Output;      // -o: the dictionary written here instead
    bool NoFilter = false, NoBrighten = false, NoDither = false, KeepPalette = false;
};

// import DICT FOLDER: every image named as extract names a texture replaces it.
// Returns the exit status; throws KelmoraError with the user's text.
int Import(const EditOptions& options, const std::string& folder);
// replace DICT TEXTURE IMAGE; TEXTURE is a list number or a name.
int Replace(const EditOptions& options, const std::string& texture, const std::string& image);

} // namespace kelmora::cli
