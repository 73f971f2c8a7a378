#pragma once
// Putting back a folder of images as an extract wrote it: each texture takes the
// image of its name (the same names, formats and "~2" claims the extract gave),
// with its grey alpha companion and its ".mipN" levels. A game archive's folder
// holds a folder per dictionary; the dictionaries are put back on any thread.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "archive/game_archive.h"
#include "editing/dictionary_edit.h"
#include "editing/put_back.h"

namespace kelmora {

// One picture put back: which texture (its label as it was), from which image,
// and what that did.
struct FolderPut {
    std::string Label; // "texture 6 (wheel)"
    std::string Image;
    PutOutcome Outcome;
};

struct FolderImport {
    std::vector<FolderPut> Puts;       // in the dictionary's order
    std::vector<std::string> Unmatched; // images of the folder that match no texture, sorted
    std::size_t Replaced() const;
};

// Puts the images of dir (ending in a separator) back into the dictionary. A
// refusal is thrown as KelmoraError within the dictionary, the texture and the image.
FolderImport ImportFolder(DictionaryEdit& edit, const std::string& dictionary, const std::string& dir,
                          const PutBackOptions& options);

// The folder an extract wrote for the archive: FOLDER/<archive's stem>/, or FOLDER
// itself when it has that name. Throws KelmoraError (NoArchiveFolder) otherwise.
std::string ArchiveFolderOf(const std::string& archive, const std::string& folder);
// The folder of one dictionary of the archive within it.
std::string DictionaryFolderOf(const std::string& archiveFolder, const ArchiveEntry& entry);

// One dictionary put back from its folder, on any thread: what it became.
struct FolderPutBack {
    bool Changed = false;
    std::vector<std::uint8_t> Bytes;
    FolderImport Import;
    std::exception_ptr Error;
};
// read() gives the dictionary's bytes; label names it in refusals. A missing
// folder changes nothing.
FolderPutBack PutBackFolder(const std::string& label, const std::string& dir, const PutBackOptions& options,
                            const std::function<std::vector<std::uint8_t>()>& read);

} // namespace kelmora
