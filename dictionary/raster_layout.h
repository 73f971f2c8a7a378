#pragma once
// Where a raster's levels and palette really are. Real dictionaries say it in
// their raster info and transfer headers; older or hand-made files hold zeros
// there and are read at the fixed offsets every reader of the format knows.
#include <cstdint>
#include <vector>

#include "base/byte_reader.h"
#include "dictionary/record_format.h"

namespace kelmora {

struct LevelLayout {
    std::uint32_t Width = 0;          // texels of this level
    std::uint32_t Height = 0;
    std::uint32_t TransferWidth = 0;  // the transfer rectangle, in transfer pixels
    std::uint32_t TransferHeight = 0;
    std::uint32_t DataOffset = 0;     // absolute offset of the level's data
    std::uint32_t DataSize = 0;       // bytes of data
};

struct RasterLayout {
    bool FromFile = false;             // false: the fixed offsets
    std::uint32_t Width = 0, Height = 0, Depth = 0;
    std::uint32_t HeaderBytes = 0;     // how many of the 12 header bytes the file holds
    std::vector<LevelLayout> Levels;   // at least one; level 0 is the full picture
    std::uint32_t PaletteOffset = 0;   // absolute; meaningful for 4 and 8 bits
    bool Palettised() const { return IsPalettisedDepth(Depth); }
    // 16- and 32-bit rasters, which only a file's own headers can describe.
    bool TrueColour() const { return FromFile && (Depth == 16 || Depth == 32); }
};

// Reads the raster header at dataOffset and decides the layout. Never throws
// for what the file holds; sizes are checked before they are used.
RasterLayout ReadRasterLayout(ByteReader& r, std::uint32_t dataOffset);

// The transfer rectangle a palettised level of w x h texels needs at least:
// whole console memory columns (16 x 4 texels at 8 bits, 32 x 4 at 4 bits).
std::uint32_t MinTransferWidth(std::uint32_t depth, std::uint32_t w);
std::uint32_t MinTransferHeight(std::uint32_t depth, std::uint32_t h);

} // namespace kelmora
