#pragma once
// The dictionary engine: one entry point for every front end. A dictionary is
// read from a byte source opened once, walked once, and decodes any texture the
// walk reached into a value.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/byte_source.h"
#include "base/errors.h"
#include "dictionary/decode_state.h"
#include "dictionary/dictionary_walk.h"
#include "dictionary/raster_decode.h"

namespace kelmora {

struct DecodeOptions {
    bool Unswizzle = true;   // undo the console's pixel and palette order
    std::uint32_t Level = 0; // 0 is the full picture
};

// One decode as a value: how it went, and the picture when it went well. A 4-bit
// texture fills palette entries 0 to 15; the rest are zero.
struct DecodedTexture {
    DecodeResult Result;
    DecodeState State;
    bool Ok() const { return Result.Ok(); }
};

DecodedTexture DecodeTexture(const ByteSource& source, const TTexEntry& entry, const DecodeOptions& options);

// Puts a decode into a long-lived decode state as a decode into it would have
// left it: a 4-bit texture leaves palette entries 16 to 255 as they were.
void ApplyDecoded(DecodeState& into, DecodedTexture&& decoded);

class Dictionary {
public:
    // Walks the source; the dictionary keeps it for its decodes.
    explicit Dictionary(std::shared_ptr<const ByteSource> source);
    // Opens a file. Throws KelmoraError when it cannot be opened.
    static Dictionary OpenFile(const std::string& path);

    const WalkResult& Walk() const { return walk_; }
    // The textures the walk reached, in the order of the file.
    std::span<const TTexEntry> Entries() const { return {walk_.Entries.data(), walk_.Listed}; }
    // Whether the first chunk says texture dictionary (files too short to say do).
    bool IsDictionary() const { return walk_.StartsAsDictionary; }
    bool Complete() const { return walk_.End != WalkEnd::Stopped; }

    // Throws KelmoraError NoSuchTexture for an index the walk did not reach.
    DecodedTexture Decode(std::size_t index, const DecodeOptions& options = {}) const;

    const ByteSource& Source() const { return *source_; }
    std::shared_ptr<const ByteSource> SharedSource() const { return source_; }

private:
    std::shared_ptr<const ByteSource> source_;
    WalkResult walk_;
};

// The error of a decode that did not succeed (KelmoraError TextureUnreadable),
// with every fact of its result.
KelmoraError UnreadableTexture(std::size_t index, const DecodeResult& result);

} // namespace kelmora
