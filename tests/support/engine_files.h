#pragma once
// The engine over files, for tests that write a dictionary and read it back.
#include <string>

#include "base/byte_source.h"
#include "dictionary/dictionary.h"

namespace kelmora::testing {

inline WalkResult WalkFile(const std::string& path) { return WalkDictionary(FileSource(path)); }

inline DecodeResult DecodeFile(const std::string& path, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                               std::uint32_t level = 0) {
    DecodedTexture d = DecodeTexture(FileSource(path), entry, {unswizzle, level});
    const DecodeResult r = d.Result;
    ApplyDecoded(state, std::move(d));
    return r;
}

} // namespace kelmora::testing
