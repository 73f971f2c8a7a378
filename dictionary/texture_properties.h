#pragma once
// What a properties panel says about one texture: its names, size, depth and
// levels, what its palette and alpha hold, where its raster lies and the record's
// format fields, as label and value texts.
#include <string>
#include <utility>
#include <vector>

#include "base/byte_source.h"
#include "dictionary/dictionary.h"
#include "dictionary/texture_codec.h"

namespace kelmora {



// picture is the texture as the window shows it, or null when it did not decode.
PropertyList DescribeTexture(const ByteSource& source, const TTexEntry& entry, const DecodeState* picture);

} // namespace kelmora
