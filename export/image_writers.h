#pragma once
// The image file writers. Paths arrive complete: no extension is added,
// nothing is asked and no directory is created here.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dictionary/decode_state.h"
#include "dictionary/indexed_image.h"
#include "dictionary/picture.h"

namespace kelmora {

// One TGA pixel from a palette entry: B, G, R and the alpha, brightened on request.
std::array<std::uint8_t, 4> ToTgaPixel(const PaletteEntry& entry, bool brighten);

// Uncompressed 8-bit BMP with a 256-entry colour table, rows bottom-up, padded to 4
// bytes. An image without pixels leaves an empty file.
void WriteBmp8(const IndexedImage& image, const std::string& path);

// Uncompressed 24-bit BMP, rows bottom-up, padded to 4 bytes.
void WriteBmp24(const RgbImage& image, const std::string& path);
// 8-bit for a palettised picture, 24-bit for a true-colour one.
void WriteBmp(const Picture& picture, const std::string& path);

// Baseline JFIF JPEG at quality 100. The file is created only once compression has
// succeeded; an image without pixels leaves an empty file.
void WriteJpeg(const IndexedImage& image, const std::string& path);
void WriteJpeg(const RgbImage& image, const std::string& path);
void WriteJpeg(const Picture& picture, const std::string& path);
// The JPEG stream alone, as WriteJpeg writes it.
struct JpegStream {
    std::unique_ptr<unsigned char, void (*)(void*)> Data{nullptr, std::free};
    std::size_t Size = 0;
};
JpegStream EncodeJpeg(const Picture& picture);

// PNG of the decode state, colour and alpha together: 8- and 4-bit textures as
// palettised PNGs of the same depth (PLTE from the palette, tRNS from its alpha,
// brightened on request), true colour as 8-bit RGBA.
void WritePng(const std::string& path, const DecodeState& state, bool brighten);
// The bytes WritePng writes.
std::vector<std::uint8_t> PngFileBytes(const DecodeState& state, bool brighten);

// libdeflate's compression level of every PNG written (1 fastest to 12
// smallest); the default is chosen by measurement (docs/performance.md). Set
// before a run, not during one.
inline constexpr int kDefaultPngLevel = 2;
void SetPngLevel(int level);
int PngLevel();

// PNG's colour types for palettised and RGBA pictures.
inline constexpr int kPngIndexed = 3, kPngRgba = 6;

// What the PNG writer encodes, for the benchmark's bare encodes.
struct PngSettings {
    std::uint32_t Width = 0, Height = 0;
    int ColourType = 0, BitDepth = 8;
    std::size_t RowBytes = 0;
    std::vector<PaletteEntry> Palette; // RGB and the tRNS alpha of each index
};
PngSettings PngSettingsFor(const DecodeState& state, bool brighten);
struct PngStream {
    std::unique_ptr<unsigned char, void (*)(void*)> Data{nullptr, std::free};
    std::size_t Size = 0;
};
PngStream EncodePng(const PngSettings& settings, const std::function<void(std::uint32_t, std::uint8_t*)>& rowOf);

// Uncompressed 32-bit TGA of the decode state, top-left origin, no footer. True
// colour texels take the same alpha rule as palette entries.
void WriteTga32(const std::string& path, const DecodeState& state, bool brighten);

} // namespace kelmora
