#pragma once
// Changes to a dictionary's textures, made on its bytes in memory and checked
// before anything is written: the new bytes are walked and every changed texture
// decoded again and compared with what was meant.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dictionary/decode_state.h"
#include "dictionary/dictionary.h"

namespace kelmora {

class DictionaryEdit {
public:
    // unswizzle: how the pictures handed in are to be read back (the filter).
    DictionaryEdit(std::vector<std::uint8_t> bytes, bool unswizzle);

    // The dictionary as it stands now.
    const Dictionary& Current() const { return *current_; }
    // Puts the pictures of every level given (level 0 first) into texture index.
    // Throws KelmoraError with the user's text when a picture does not fit.
    void Replace(std::size_t index, const std::vector<DecodeState>& levels);
    bool Changed() const { return !changes_.empty(); }
    // Walks the new bytes and decodes every changed texture again: throws
    // KelmoraError when anything reads back other than it was meant.
    void Verify() const;
    const std::vector<std::uint8_t>& Bytes() const { return *bytes_; }

private:
    struct Change {
        std::size_t Index;
        std::vector<DecodeState> Levels;
    };
    std::shared_ptr<std::vector<std::uint8_t>> bytes_;
    bool unswizzle_;
    std::unique_ptr<Dictionary> current_;
    std::vector<Change> changes_;
};

// Writes a dictionary's bytes as a whole or not at all (through AtomicOutput).
void SaveDictionary(const std::string& path, const std::vector<std::uint8_t>& bytes);

} // namespace kelmora
