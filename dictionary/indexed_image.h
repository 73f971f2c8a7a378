#pragma once
#include <array>
#include <cstdint>
#include <vector>

namespace kelmora {

struct Rgb {
    std::uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const Rgb&) const = default;
};

// An 8-bit palettised picture: what the display shows and the BMP and JPEG writers take.
struct IndexedImage {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::array<Rgb, 256> Colours{};
    std::vector<std::uint8_t> Rows; // Height rows of Width indices, top row first

    const std::uint8_t* Row(std::uint32_t y) const { return Rows.data() + static_cast<std::size_t>(y) * Width; }
};

} // namespace kelmora
