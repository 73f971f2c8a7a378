#pragma once
// The walk over a dictionary file that builds the texture index.
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "dictionary/tex_entry.h"

namespace kelmora {

// The smallest dictionary: its chunk header, the struct's header and the count.
inline constexpr std::size_t kDictionaryHeaderBytes = 28;

enum class WalkEnd { Complete, Empty, Stopped };

// Where a walk stopped: the record that runs past the end of the file. The
// front ends say it in their own words.
struct WalkReport {
    std::uint32_t TextureNumber = 0; // counted from 1
    std::uint32_t Count = 0;
    std::string NamePart;            // name, or name " / " mask name
    std::int32_t Next = 0;
    std::uint64_t FileSize = 0;
};

struct WalkResult {
    std::vector<TTexEntry> Entries; // always Count elements
    std::size_t Listed = 0;         // list lines: the captions of Entries[0 .. Listed)
    std::uint32_t Count = 0;
    WalkEnd End = WalkEnd::Empty;
    WalkReport Report;              // set when End is Stopped
    // The type of the file's first chunk: a texture dictionary's is 0x16. Files
    // too short to say count as dictionaries (empty ones).
    bool StartsAsDictionary = true;
};

// Walks the dictionary the source holds. Never throws for what the bytes say.
WalkResult WalkDictionary(const ByteSource& source);

} // namespace kelmora
