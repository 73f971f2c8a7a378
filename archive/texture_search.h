#pragma once
// Textures found by name across many dictionaries: the dictionaries of a game
// archive, or the .txd files and game archives (.img) below a folder. Each dictionary's index is walked,
// no texel is decoded, and one dictionary is held at a time.
#include <cstddef>
#include <functional>
#include <string>

#include "dictionary/tex_entry.h"

namespace kelmora {

struct TextureMatch {
    std::string File;     // the dictionary file, or the archive
    std::string Entry;    // the dictionary's name inside the archive; empty for a file
    std::size_t Index = 0; // the texture's place in its dictionary, from 0
    TTexEntry Texture;
};

// Whether a texture's name or mask name matches: a pattern with "*" or "?" as a
// glob, any other as text found anywhere in the name, any case.
bool MatchesTextureName(const std::string& pattern, const TTexEntry& texture);

// Calls found for every match below where (an archive's file or a folder), in
// the order of the archive or of the names, and problem for every dictionary or
// archive that cannot be read. Asks stop before each dictionary. Throws
// KelmoraError when the archive where names cannot be read.
void SearchTextures(const std::string& where, const std::string& pattern,
                    const std::function<void(TextureMatch&&)>& found,
                    const std::function<void(const std::exception& error)>& problem,
                    const std::function<bool()>& stop);

} // namespace kelmora
