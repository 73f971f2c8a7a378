#pragma once
// kelmora-cli's commands that put textures back into a dictionary.
#include <cstdint>
#include <string>

#include "dictionary/dictionary.h"

namespace kelmora::cli {

struct EditOptions {
    std::string Dictionary;
    std::string Output;      // -o: the dictionary written here instead
    bool NoFilter = false, NoBrighten = false, NoDither = false, KeepPalette = false;
    std::uint32_t Depth = 0; // --depth: 4, 8, 16 or 32; 0 keeps the texture's
    bool AllowDuplicate = false; // --allow-duplicate: a name another texture has
    std::string Format;          // --format: a PC or Xbox texture's storage ("DXT5", "8888", ...)
    std::string Quality;         // --dxt-quality: fast, normal or best
    std::size_t Jobs = 1;        // import of an archive: dictionaries put back at once
};

// One line on standard error, after the program's name.
void Note(const std::string& line);

// import DICT FOLDER: every image named as extract names a texture replaces it.
// Returns the exit status; throws KelmoraError, or a Failure worded here.
int Import(const EditOptions& options, const std::string& folder);
// replace DICT TEXTURE IMAGE; TEXTURE is a list number or a name.
int Replace(const EditOptions& options, const std::string& texture, const std::string& image);
// add DICT IMAGE --name NAME: a new texture after the last (names are UTF-8 here).
int Add(const EditOptions& options, const std::string& image, const std::string& name, const std::string& mask,
        std::uint32_t levels);
// A texture by its list number or, failing that, its name (UTF-8); throws
// a Failure naming file when there is none.
std::size_t FindTexture(const kelmora::Dictionary& dictionary, const std::string& file, const std::string& texture);
int Remove(const EditOptions& options, const std::string& texture);
// mask null keeps the present mask name.
int Rename(const EditOptions& options, const std::string& texture, const std::string& name, const std::string* mask);

} // namespace kelmora::cli
