#include "dictionary/gs_memory.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace kelmora {

namespace {

constexpr std::uint32_t kPageBytes = 8192;

// Blocks in a page, by block row and block column: 32-bit and 8-bit formats.
constexpr std::uint8_t kBlocks32[4][8] = {
    {0, 1, 4, 5, 16, 17, 20, 21},
    {2, 3, 6, 7, 18, 19, 22, 23},
    {8, 9, 12, 13, 24, 25, 28, 29},
    {10, 11, 14, 15, 26, 27, 30, 31},
};
// The same for the 16-bit and 4-bit formats.
constexpr std::uint8_t kBlocks16[8][4] = {
    {0, 2, 8, 10},   {1, 3, 9, 11},   {4, 6, 12, 14},  {5, 7, 13, 15},
    {16, 18, 24, 26}, {17, 19, 25, 27}, {20, 22, 28, 30}, {21, 23, 29, 31},
};
// Word slots of the pixels of one 8 x 2 column of the 32-bit format: the column
// is interleaved in memory, which is what every other table builds on.
constexpr std::uint8_t kColumn32[2][8] = {
    {0, 1, 4, 5, 8, 9, 12, 13},
    {2, 3, 6, 7, 10, 11, 14, 15},
};

std::uint32_t BlockStart(std::uint32_t page, std::uint32_t block) { return 256 * (32 * page + block); }

// Inside a column of the 8- and 4-bit formats a texel lives in one 32-bit pixel
// of the column seen as a 32-bit column; rows 2 and 3 of an even column, rows 0
// and 1 of an odd one, are turned by half a column.
std::uint32_t ColumnWord(std::uint32_t xInColumn, std::uint32_t yInColumn, std::uint32_t column) {
    const std::uint32_t t = ((yInColumn / 2) ^ column) & 1;
    const std::uint32_t x = ((xInColumn % 8) + 4 * t) % 8;
    return kColumn32[yInColumn % 2][x];
}

} // namespace

std::uint32_t BlockNumber(std::uint32_t x, std::uint32_t y, std::uint32_t bw, bool psmct16) {
    if (psmct16)
        return 32 * ((y / 64) * bw + x / 64) + kBlocks16[(y % 64) / 8][(x % 64) / 16];
    return 32 * ((y / 32) * bw + x / 64) + kBlocks32[(y % 32) / 8][(x % 64) / 8];
}

std::uint32_t AddressPsmct32(std::uint32_t x, std::uint32_t y, std::uint32_t bw) {
    const std::uint32_t page = (y / 32) * bw + x / 64;
    const std::uint32_t block = kBlocks32[(y % 32) / 8][(x % 64) / 8];
    const std::uint32_t column = (y % 8) / 2;
    return BlockStart(page, block) + 64 * column + 4u * kColumn32[y % 2][x % 8];
}

std::uint32_t AddressPsmct16(std::uint32_t x, std::uint32_t y, std::uint32_t bw) {
    const std::uint32_t page = (y / 64) * bw + x / 64;
    const std::uint32_t block = kBlocks16[(y % 64) / 8][(x % 64) / 16];
    const std::uint32_t column = (y % 8) / 2;
    // Pixels x and x + 8 of a column row share one 32-bit word, low half first.
    const std::uint32_t slot = 2u * kColumn32[y % 2][x % 8] + (x % 16) / 8;
    return BlockStart(page, block) + 64 * column + 2 * slot;
}

std::uint32_t AddressPsmt8(std::uint32_t x, std::uint32_t y, std::uint32_t bw) {
    const std::uint32_t pagesPerRow = std::max<std::uint32_t>(1, bw / 2);
    const std::uint32_t page = (y / 64) * pagesPerRow + x / 128;
    const std::uint32_t block = kBlocks32[(y % 64) / 16][(x % 128) / 16];
    const std::uint32_t column = (y % 16) / 4;
    const std::uint32_t xc = x % 16, yc = y % 4;
    const std::uint32_t byte = (yc / 2) + 2 * (xc / 8);
    return BlockStart(page, block) + 64 * column + 4 * ColumnWord(xc, yc, column) + byte;
}

std::uint32_t NibbleAddressPsmt4(std::uint32_t x, std::uint32_t y, std::uint32_t bw) {
    const std::uint32_t pagesPerRow = std::max<std::uint32_t>(1, bw / 2);
    const std::uint32_t page = (y / 128) * pagesPerRow + x / 128;
    const std::uint32_t block = kBlocks16[(y % 128) / 16][(x % 128) / 32];
    const std::uint32_t column = (y % 16) / 4;
    const std::uint32_t xc = x % 32, yc = y % 4;
    const std::uint32_t byte = xc / 8, nibble = yc / 2;
    return 2 * (BlockStart(page, block) + 64 * column) + 2 * (4 * ColumnWord(xc, yc, column) + byte) + nibble;
}

namespace {

// The texture memory a level's transfer is written into, and how its two formats
// address it.
struct LevelMemory {
    bool Eight;
    std::uint32_t Dbw, Tbw;
    std::vector<std::uint8_t> Bytes;

    LevelMemory(std::uint32_t depth, std::uint32_t rrw, std::uint32_t rrh, std::uint32_t h) : Eight(depth == 8) {
        // The transfer's buffer is half as wide as the texture's, counted in units
        // of 64 pixels: only then do the pages of the two formats coincide.
        Dbw = std::max<std::uint32_t>(1, (rrw + 63) / 64);
        Tbw = 2 * Dbw;
        const std::uint32_t pageRows = Eight ? std::max((rrh + 31) / 32, (h + 63) / 64)
                                             : std::max((rrh + 63) / 64, (h + 127) / 128);
        Bytes.assign(static_cast<std::size_t>(pageRows) * Dbw * kPageBytes, 0);
    }
    std::uint32_t PixelBytes() const { return Eight ? 4 : 2; }
    std::size_t TransferAddress(std::uint32_t x, std::uint32_t y) const {
        return Eight ? AddressPsmct32(x, y, Dbw) : AddressPsmct16(x, y, Dbw);
    }
    // Transfer pixel j sits at (j mod rrw, j div rrw), in the transfer's format;
    // toMemory says which way the bytes go.
    template <typename Data>
    void Transfer(Data* data, std::size_t dataSize, std::uint32_t rrw, std::uint32_t rrh, bool toMemory) {
        const std::uint32_t b = PixelBytes();
        for (std::uint32_t y = 0; y < rrh; ++y) {
            for (std::uint32_t x = 0; x < rrw; ++x) {
                const std::size_t at = (static_cast<std::size_t>(y) * rrw + x) * b;
                if (at + b > dataSize)
                    return;
                const std::size_t m = TransferAddress(x, y);
                if (m + b > Bytes.size())
                    continue;
                if constexpr (std::is_const_v<Data>)
                    std::memcpy(Bytes.data() + m, data + at, b);
                else if (toMemory)
                    std::memcpy(Bytes.data() + m, data + at, b);
                else
                    std::memcpy(data + at, Bytes.data() + m, b);
            }
        }
    }
    // The texel's byte address, and for 4 bits whether it is the high half.
    bool Texel(std::uint32_t x, std::uint32_t y, std::size_t& at, bool& high) const {
        if (Eight) {
            at = AddressPsmt8(x, y, Tbw);
            high = false;
        } else {
            const std::size_t nibble = NibbleAddressPsmt4(x, y, Tbw);
            at = nibble / 2;
            high = nibble % 2 != 0;
        }
        return at < Bytes.size();
    }
};

} // namespace

void DecodeTransferredLevel(const std::uint8_t* data, std::size_t dataSize, std::uint32_t depth,
                            std::uint32_t rrw, std::uint32_t rrh, std::uint32_t w, std::uint32_t h,
                            std::uint8_t* grid) {
    LevelMemory memory(depth, rrw, rrh, h);
    memory.Transfer(data, dataSize, rrw, rrh, true);
    // Read: every texel from the same memory, in the texture's format.
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = grid + static_cast<std::size_t>(y) * w;
        for (std::uint32_t x = 0; x < w; ++x) {
            std::size_t at = 0;
            bool high = false;
            const std::uint8_t v = memory.Texel(x, y, at, high) ? memory.Bytes[at] : 0;
            row[x] = memory.Eight ? v : (high ? v >> 4 : v & 15);
        }
    }
}

void EncodeTransferredLevel(std::uint8_t* data, std::size_t dataSize, std::uint32_t depth, std::uint32_t rrw,
                            std::uint32_t rrh, std::uint32_t w, std::uint32_t h, const std::uint8_t* grid) {
    LevelMemory memory(depth, rrw, rrh, h);
    memory.Transfer(data, dataSize, rrw, rrh, true);
    // Write every texel in the texture's format over what the transfer left.
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = grid + static_cast<std::size_t>(y) * w;
        for (std::uint32_t x = 0; x < w; ++x) {
            std::size_t at = 0;
            bool high = false;
            if (!memory.Texel(x, y, at, high))
                continue;
            std::uint8_t& b = memory.Bytes[at];
            if (memory.Eight)
                b = row[x];
            else
                b = high ? static_cast<std::uint8_t>((b & 0x0F) | (row[x] & 15) << 4)
                         : static_cast<std::uint8_t>((b & 0xF0) | (row[x] & 15));
        }
    }
    // Read the transfer back out of the memory.
    memory.Transfer(data, dataSize, rrw, rrh, false);
}

} // namespace kelmora
