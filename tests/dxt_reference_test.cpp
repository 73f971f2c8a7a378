// The block decoder against libsquish's, over random and edge-case blocks and
// pictures whose sides are not multiples of four.
#include <gtest/gtest.h>

#include <squish.h>

#include <vector>

#include "dictionary/dxt.h"

using namespace kelmora;

namespace {

std::uint32_t Next(std::uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 8;
}

struct Case {
    DxtKind Kind;
    int Flags;
    std::size_t BlockBytes;
};

const Case kCases[] = {{DxtKind::Dxt1, squish::kDxt1, 8}, {DxtKind::Dxt3, squish::kDxt3, 16}, {DxtKind::Dxt5, squish::kDxt5, 16}};

void ExpectSameAsSquish(const Case& c, const std::vector<std::uint8_t>& blocks, std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> theirs(4 * std::size_t{w} * h, 0xCD);
    squish::DecompressImage(theirs.data(), static_cast<int>(w), static_cast<int>(h), blocks.data(), c.Flags);
    std::vector<PaletteEntry> ours(std::size_t{w} * h);
    DecodeDxt(c.Kind, blocks.data(), w, h, ours.data());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const PaletteEntry t{theirs[4 * i], theirs[4 * i + 1], theirs[4 * i + 2], theirs[4 * i + 3]};
        ASSERT_EQ(ours[i], t) << "texel " << i % w << ", " << i / w << " of " << w << " x " << h << " (flags "
                              << c.Flags << ")";
    }
}

TEST(DxtTest, BlocksDecodeAsLibsquishDecodesThem) {
    std::uint32_t seed = 5;
    for (const Case& c : kCases) {
        for (const auto& [w, h] : {std::pair{4u, 4u}, {64u, 32u}, {1u, 1u}, {2u, 2u}, {5u, 3u}, {13u, 7u}, {4u, 20u}}) {
            const std::size_t n = std::size_t{(w + 3) / 4} * ((h + 3) / 4) * c.BlockBytes;
            std::vector<std::uint8_t> blocks(n);
            for (auto& b : blocks)
                b = static_cast<std::uint8_t>(Next(seed));
            ExpectSameAsSquish(c, blocks, w, h);
        }
    }
}

// Blocks whose ends are equal or in either order (DXT1's transparent code),
// and alpha ends equal or in either order (DXT5's two tables).
TEST(DxtTest, EdgeBlocksDecodeAsLibsquishDecodesThem) {
    std::uint32_t seed = 9;
    for (const Case& c : kCases) {
        std::vector<std::uint8_t> blocks;
        for (int k = 0; k < 48; ++k) {
            std::uint8_t b[16];
            for (auto& x : b)
                x = static_cast<std::uint8_t>(Next(seed));
            std::uint8_t* colour = b + (c.BlockBytes == 16 ? 8 : 0);
            if (k % 3 == 0) { // equal ends
                colour[2] = colour[0];
                colour[3] = colour[1];
            } else if (k % 3 == 1 && (colour[0] | colour[1] << 8) > (colour[2] | colour[3] << 8)) {
                std::swap(colour[0], colour[2]); // first end below the second
                std::swap(colour[1], colour[3]);
            }
            if (c.BlockBytes == 16 && k % 4 == 0)
                b[1] = b[0];
            else if (c.BlockBytes == 16 && k % 4 == 1 && b[0] > b[1])
                std::swap(b[0], b[1]);
            blocks.insert(blocks.end(), b, b + c.BlockBytes);
        }
        ExpectSameAsSquish(c, blocks, 4, 4 * 48);
    }
}

} // namespace
