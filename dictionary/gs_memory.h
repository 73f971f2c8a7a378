#pragma once
// A model of the console's texture memory. A palettised level is not stored as
// a picture: the file holds a transfer of 32-bit pixels (8-bit textures) or
// 16-bit pixels (4-bit textures) into that memory, and the texture unit reads
// the same memory back as 8- or 4-bit texels. Writing the transfer and reading
// the texels with the console's addressing undoes the swizzle at every size.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelmora {

// Byte addresses of a pixel (x, y) in a buffer of width bw (in units of 64
// pixels) at block 0, per storage format. PSMT4 gives a nibble address.
std::uint32_t AddressPsmct32(std::uint32_t x, std::uint32_t y, std::uint32_t bw);
std::uint32_t AddressPsmct16(std::uint32_t x, std::uint32_t y, std::uint32_t bw);
std::uint32_t AddressPsmt8(std::uint32_t x, std::uint32_t y, std::uint32_t bw);
std::uint32_t NibbleAddressPsmt4(std::uint32_t x, std::uint32_t y, std::uint32_t bw);

// The block (256 bytes) that pixel (x, y) of a buffer of width bw at block 0 lies
// in, for the transfer formats: PSMCT32 (8 x 8 blocks, 64 x 32 pages) or PSMCT16
// (16 x 8 blocks, 64 x 64 pages).
std::uint32_t BlockNumber(std::uint32_t x, std::uint32_t y, std::uint32_t bw, bool psmct16);

// Decodes one palettised level (depth 4 or 8) of w x h texels from its transfer
// of rrw x rrh pixels. data holds the transfer's bytes (missing bytes count as
// zero). grid receives w x h indices, row by row.
void DecodeTransferredLevel(const std::uint8_t* data, std::size_t dataSize, std::uint32_t depth,
                            std::uint32_t rrw, std::uint32_t rrh, std::uint32_t w, std::uint32_t h,
                            std::uint8_t* grid);

// The inverse: writes w x h indices into the level's transfer data. The stored
// transfer is loaded into the memory first, so that every byte the texels do not
// cover (padding of small and narrow levels) comes out as it was.
void EncodeTransferredLevel(std::uint8_t* data, std::size_t dataSize, std::uint32_t depth, std::uint32_t rrw,
                            std::uint32_t rrh, std::uint32_t w, std::uint32_t h, const std::uint8_t* grid);

} // namespace kelmora
