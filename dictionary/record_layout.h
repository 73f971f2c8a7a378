#pragma once
// Where a new texture record's levels and palette go in the console's texture
// memory, and the header values that follow from it, as the console tools lay
// them out: every value comes from the texture's depth, size and level count.
#include <cstdint>
#include <vector>

namespace kelmora {

struct LevelPlacement {
    std::uint32_t TransferWidth = 0, TransferHeight = 0; // RRW, RRH
    std::uint32_t X = 0, Y = 0;                          // DSAX, DSAY
    std::uint32_t BasePointer = 0;                       // TBP (levels 1 and up)
    std::uint32_t BufferWidth = 0;                       // TBW
};

struct RecordLayout {
    std::uint32_t Width = 0, Height = 0, Depth = 0, Levels = 1;
    std::vector<LevelPlacement> Placement;
    std::uint32_t PaletteBlock = 0;     // palBlock
    std::uint32_t GpuSize = 0;          // gpuDataAlignedSize, in 32-bit words
    std::uint32_t PaletteX = 0, PaletteY = 0;
    std::uint32_t PixelSize = 0, PaletteSize = 0;
    std::uint32_t TransferPixelBytes() const { return Depth == 4 || Depth == 16 ? 2 : 4; }
};

// log2 of a power of two.
std::uint32_t Log2(std::uint32_t v);

// The usual level count of a texture: down to the level whose smaller side is 8.
std::uint32_t UsualLevelCount(std::uint32_t w, std::uint32_t h);

// The layout of a texture of w x h texels (powers of two) at depth 4, 8, 16 or 32
// with the given number of levels.
RecordLayout LayOutRecord(std::uint32_t depth, std::uint32_t w, std::uint32_t h, std::uint32_t levels);

} // namespace kelmora
