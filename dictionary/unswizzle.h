#pragma once
// The console keeps pixels and 8-bit palettes in a shuffled order; these undo it
// (and, for writing test and sample dictionaries, redo it).
#include <cstddef>
#include <cstdint>

#include "dictionary/decode_state.h"

namespace kelmora {

// In every block of 32 entries the second and third runs of 8 change places.
// The exchange is its own inverse.
void ReorderPalette(TexPalette& palette);

// The three passes over a row-major grid of width x height: row exchange,
// half-block exchange, column de-interleave. Partial blocks stay as they are.
void Unswizzle(std::uint8_t* grid, std::uint32_t width, std::uint32_t height);

// The pieces of Unswizzle, for readers that unswizzle row by row as they read:
// row y of the row-exchanged grid is row ExchangedRow(y) of the grid before it
// (the exchange is its own inverse), and UnswizzleRow does the other two passes
// on one row that already sits at its final position y.
std::uint32_t ExchangedRow(std::uint32_t y, std::uint32_t height);
void UnswizzleRow(std::uint8_t* row, std::uint32_t width, std::uint32_t y, std::uint32_t height);

// even[x] = in[2x], odd[x] = in[2x + 1] for x below n.
void SplitEvenOdd(const std::uint8_t* in, std::size_t n, std::uint8_t* even, std::uint8_t* odd);
// The inverses, for the encoder: out[2x] = even[x], out[2x + 1] = odd[x]; and
// SwizzleRow undoes UnswizzleRow of the same row position y.
void MergeEvenOdd(const std::uint8_t* even, const std::uint8_t* odd, std::size_t n, std::uint8_t* out);
void SwizzleRow(std::uint8_t* row, std::uint32_t width, std::uint32_t y, std::uint32_t height);

// The exact inverse of Unswizzle.
void Swizzle(std::uint8_t* grid, std::uint32_t width, std::uint32_t height);

} // namespace kelmora
