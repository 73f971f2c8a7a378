#pragma once
// One interface per platform: each reads its records, decodes its rasters and
// describes its fields, so that the walk's callers (the window, the export, the
// search, the properties, the edits) never ask which platform a texture is of.
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/byte_reader.h"
#include "base/byte_source.h"
#include "dictionary/decode_state.h"
#include "dictionary/raster_decode.h"
#include "dictionary/tex_entry.h"

namespace kelmora {

using PropertyList = std::vector<std::pair<std::string, std::string>>;

class TextureCodec {
public:
    virtual ~TextureCodec() = default;
    // Decodes one level of the texture into state (see DecodeRaster).
    virtual DecodeResult Decode(const ByteSource& source, const TTexEntry& entry, bool unswizzle, DecodeState& state,
                                std::uint32_t level) const = 0;
    // The levels the record stores.
    virtual std::uint32_t StoredLevels(const ByteSource& source, const TTexEntry& entry) const = 0;
    // Properties rows: how texels are stored (depth or format, levels), and the
    // record's own fields (offsets, format words, flags).
    virtual void DescribeStorage(const ByteSource& source, const TTexEntry& entry, PropertyList& rows) const = 0;
    virtual void DescribeRecord(const ByteSource& source, const TTexEntry& entry, PropertyList& rows) const = 0;
    // Whether Kelmora can change its textures (put pictures back, rename, add beside).
    virtual bool Editable() const = 0;
    // Whether its alpha runs 0..128, so that brightening it means something.
    virtual bool HalfRangeAlpha() const = 0;
};

const TextureCodec& CodecOf(const TTexEntry& entry);

// Whether any of the textures has alpha that brightening changes.
bool AnyHalfRangeAlpha(std::span<const TTexEntry> entries);

// Reads a record whose first struct is another platform's into entry: name,
// mask, size, format, platform and where the record ends. A known platform's
// record whose levels do not fit it, and a platform that is not read, get what
// the shared head gives (the name when it reads as one).
void ReadOtherPlatformEntry(ByteReader& reader, std::uint64_t start, std::uint32_t platformId, TTexEntry& entry);

} // namespace kelmora
