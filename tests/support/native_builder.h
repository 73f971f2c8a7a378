#pragma once
// Builds Direct3D 8, Direct3D 9 and Xbox dictionaries as the real files hold
// them, written from the format notes and not from the reader: the 88-byte head,
// the palette, the levels with their byte counts (one total on Xbox), and each
// quirk real files have, switchable one by one.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/decode_state.h"

namespace kelmora::testing {

struct NativeSpec {
    std::uint32_t Platform = 8;       // 8 Direct3D 8, 9 Direct3D 9, 5 Xbox
    std::string Name, Mask;
    std::string Format = "DXT1";      // DXT1..DXT5, 8888, 888, 565, 1555, 555, 4444, L8, A8L8, PAL8, PAL4
    std::uint32_t Width = 16, Height = 16;
    std::uint32_t Levels = 1;         // the levels stored
    std::uint8_t Filter = 2, Addressing = 0x11;
    std::uint32_t Depth = 0;          // the depth field; 0: what real files write for the format
    std::uint32_t RasterBase = 0;     // the raster format's base; 0: what real files write
    bool AlphaFlag = false;           // hasAlpha (Direct3D 8, Xbox) or flag b0 (Direct3D 9)
    // Quirks of real files.
    bool CountZero = false;           // the level count field holds 0 (one level is stored)
    bool AutoMipmap = false;          // counts 4 levels, flags auto-mipmap, stores one
    bool PadSmallRows = false;        // rows of small raw and palettised levels padded to 4 bytes
    bool EmptySmallDxt = false;       // DXT levels below 4 x 4 stored with byte count 0
    std::uint32_t OversizeLast = 0;   // bytes added to the last level's count and data
    bool Pal4Sixteen = false;         // a 16-entry 4-bit palette, as the write-ups have it
    bool Pal4Packed = false;          // 4-bit indices two to a byte (with Pal4Sixteen)
    bool PaletteJunkAlpha = false;    // an 888 palette whose fourth bytes are junk
    std::array<std::uint8_t, 32> StaleMask{}; // bytes after the mask's NUL (Direct3D 9)
    bool NoExtension = false;         // the record ends after its struct
    bool ExtraChunk = false;          // an empty chunk of type 0 after the extension
    std::uint32_t PlatformIdOverride = 0; // write another platform id (13)
    // Data: the palette's 4-byte entries R, G, B, A and each level's stored
    // bytes, exactly as they are written (padding included).
    std::vector<std::uint8_t> Palette;
    std::vector<std::vector<std::uint8_t>> LevelBytes;
};

// One texture chunk.
std::vector<std::uint8_t> BuildNativeRecord(const NativeSpec& texture);
// A dictionary: version stamp, then the u16 count and u16 device id (3.6 stamps)
// or the u32 count; padTo > 0 pads the file with junk to a multiple of it, as
// files taken out of sector-padded archives are.
std::vector<std::uint8_t> BuildNativeDictionary(const std::vector<NativeSpec>& textures, std::uint32_t stamp = 0x1803FFFF,
                                                std::uint32_t padTo = 0);

// Bytes a level of w x h holds in a format, as the files count them (pad: rows
// padded to 4 bytes), and whether the format is a DXT one.
std::size_t NativeLevelSize(const std::string& format, std::uint32_t w, std::uint32_t h, bool pad = false);
bool IsDxtFormat(const std::string& format);

// A texture of pseudo-random data in every level (and palette), seeded. For a
// palettised format the indices stay below the palette's size.
NativeSpec RandomNative(std::uint32_t platform, const std::string& format, std::uint32_t w, std::uint32_t h,
                        std::uint32_t levels, std::uint32_t seed);

// What a level should decode to, written from the format notes: R, G, B, A
// (alpha 0..255) for the raw formats, palette lookups for the palettised ones
// (888 palettes opaque), Xbox's Morton order undone when unswizzle is set. DXT
// formats are not handled here (the tests decode them with libsquish).
std::vector<PaletteEntry> ReferenceTexels(const NativeSpec& texture, std::uint32_t level, bool unswizzle = true);

// Blocks of a w x h picture in a simple encoding (the block's darkest and
// brightest colours as its ends), for samples with real pictures in them.
std::vector<std::uint8_t> EncodeDxtSimple(const std::string& format, const std::vector<PaletteEntry>& rgba,
                                          std::uint32_t w, std::uint32_t h);

} // namespace kelmora::testing
