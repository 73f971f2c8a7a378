#pragma once
// The native texture record of Direct3D 8 (platform id 8), Direct3D 9 (id 9) and
// Xbox (id 5): one struct chunk that holds an 88-byte head, the palette and the
// levels, then an extension. Read by its own sizes, with what real files do
// beside the write-ups: 32-entry 4-bit palettes, 888 palettes whose fourth byte
// is junk, a level count of 0, "auto-mipmap" storing the top level only, DXT
// levels below 4 x 4 stored empty, rows padded to 4 bytes, and Xbox's one byte
// count for all levels.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "dictionary/texture_platform.h"

namespace kelmora {

inline constexpr std::uint32_t kPlatformXbox = 5, kPlatformD3D8 = 8, kPlatformD3D9 = 9;
// The console's records carry an 8-byte platform struct ("PS2\0" and a filter word).
inline constexpr std::uint32_t kPs2PlatformStructBytes = 8;
// The shared head of the three platforms' structs.
inline constexpr std::uint32_t kNativeHeadBytes = 88;

// How a native texture's texels are stored.
enum class NativeFormat : std::uint8_t {
    Pal8, Pal4,                          // indices into 4-byte R, G, B, A entries
    Dxt1, Dxt2, Dxt3, Dxt4, Dxt5,        // 4 x 4 blocks; 2 and 4 premultiplied
    A8R8G8B8, X8R8G8B8,                  // B, G, R, A (or X) in memory
    R5G6B5, A1R5G5B5, X1R5G5B5, A4R4G4B4, // 16-bit words
    L8, A8L8,                            // luminance; A8L8 is L then A
    Unknown,
};

// "DXT1", "8888", "888", "565", "1555", "555", "4444", "L8", "A8L8"; the
// palettised formats as the console's depths are shown: "8bit", "4bit".
const char* FormatName(NativeFormat format);
bool IsDxt(NativeFormat format);
bool IsPalettised(NativeFormat format);
// Bytes of a 4 x 4 block (DXT) or of one texel (the others; palettised: 1).
std::uint32_t FormatUnitBytes(NativeFormat format);

struct NativeLevel {
    std::uint32_t Width = 0, Height = 0;
    std::uint64_t Offset = 0; // its first byte in the file
    std::uint32_t Bytes = 0;  // as stored; may be 0 (DXT below 4 x 4) or more than needed
};

struct NativeRecord {
    TexturePlatform Platform = TexturePlatform::Unsupported;
    std::uint32_t PlatformId = 0;
    std::uint8_t Filter = 0, Addressing = 0;     // addressing: U low nibble, V high
    std::array<std::uint8_t, 32> RawName{}, RawMask{}; // the fields as stored, stale bytes and all
    std::string Name, Mask;                      // up to the first NUL, trimmed
    std::uint32_t RasterFormat = 0;              // the raster format word
    std::uint32_t AlphaOrFormat = 0;             // D3D8 and Xbox: hasAlpha; D3D9: the D3DFORMAT
    std::uint32_t Width = 0, Height = 0, Depth = 0;
    std::uint32_t LevelCount = 0;                // as stored (0 still stores one level)
    std::uint8_t RasterType = 0, Compression = 0; // 0x57: D3D8 DXT number, D3D9 flags, Xbox DXT code
    NativeFormat Format = NativeFormat::Unknown;
    std::uint32_t PaletteEntries = 0;            // 256, 32 (or 16) for palettised formats
    std::uint64_t PaletteOffset = 0;
    bool PaletteAlphaIsJunk = false;             // an 888 palette: the fourth byte is no alpha
    std::vector<NativeLevel> Levels;             // the levels stored, level 0 first
    std::uint64_t Start = 0, End = 0;            // the texture chunk
    std::uint64_t StructStart = 0, StructEnd = 0; // the struct's data

    bool Premultiplied() const { return Format == NativeFormat::Dxt2 || Format == NativeFormat::Dxt4; }
};

// What the record at start is, by its first struct: the console's (an 8-byte
// struct), another platform's (a larger one, inside a texture chunk that fits the
// source), or neither, when its sizes do not say.
enum class RecordKind { Ps2, Native, Unclear };
RecordKind PeekRecordKind(ByteReader& reader, std::uint64_t start, std::uint32_t* platformId);

// Reads a Direct3D 8, Direct3D 9 or Xbox record at start: false when its chunks
// or levels do not fit it. A format it does not know is read as Unknown.
bool ParseNativeRecord(ByteReader& reader, std::uint64_t start, NativeRecord& record);

// Bytes a level of h rows needs: blocks for DXT, rows of pitch bytes for the rest.
std::uint64_t NativeLevelBytes(NativeFormat format, std::uint32_t h, std::uint32_t pitch);
// The plain row pitch, and the one D3D surfaces pad small rows to (4 bytes).
std::uint32_t PlainPitch(NativeFormat format, std::uint32_t w);
std::uint32_t PaddedPitch(NativeFormat format, std::uint32_t w);

// A native record's whole content, as read and as written: the head's fields,
// the palette's and each level's stored bytes, and what follows the levels in
// the struct and the struct in the record. Reading a record into it and writing
// it back gives the same bytes.
struct NativeTexture {
    std::uint32_t Version = 0x1803FFFF, StructVersion = 0x1803FFFF; // the two chunk headers' stamps
    std::uint32_t PlatformId = kPlatformD3D9;
    std::uint8_t Filter = 2, Addressing = 0x11;
    std::uint16_t Padding = 0;
    std::array<std::uint8_t, 32> RawName{}, RawMask{};
    std::uint32_t RasterFormat = 0, AlphaOrFormat = 0;
    std::uint16_t Width = 0, Height = 0;
    std::uint8_t Depth = 0, LevelCount = 1, RasterType = 4, Compression = 0;
    std::vector<std::uint8_t> Palette;             // 4 bytes an entry, as stored
    std::vector<std::vector<std::uint8_t>> Levels; // each level's stored bytes
    std::vector<std::uint8_t> Tail;                // struct bytes after the last level
    std::vector<std::uint8_t> Extension;           // the record's chunks after the struct, whole

    TexturePlatform Platform() const;
};

// The platform id a record of the platform carries (Direct3D 9's for any but
// Direct3D 8 and Xbox): the inverse of NativeTexture::Platform.
std::uint32_t PlatformIdOf(TexturePlatform platform);

// Reads the record at start into texture: false unless it parses (as
// ParseNativeRecord) and its struct holds exactly what the levels account for.
bool ReadNativeTexture(ByteReader& reader, std::uint64_t start, NativeTexture& texture);
// The whole texture chunk; Xbox's one byte count is the levels' and tail's sum.
std::vector<std::uint8_t> WriteNativeRecord(const NativeTexture& texture);

// A 32-byte name field: the text (at most 31 bytes), a NUL, zeros.
std::array<std::uint8_t, 32> NameField(const std::string& text);

// The raster format word's base formats, as bits 8-11 hold them.
inline constexpr std::uint32_t kBase1555 = 0x1, kBase565 = 0x2, kBase4444 = 0x3, kBaseLum8 = 0x4, kBase8888 = 0x5,
                               kBase888 = 0x6, kBase555 = 0xA;
inline constexpr std::uint32_t kRasterAutoMipmap = 0x1000, kRasterPal8 = 0x2000, kRasterPal4 = 0x4000,
                               kRasterHasLevels = 0x8000;
// Direct3D 9's flags byte.
inline constexpr std::uint8_t kD3D9AlphaFlag = 0x01, kD3D9CompressedFlag = 0x08;

// The words a record of format on a platform carries for it, as real files write
// them: texture.RasterFormat's base and flags (other bits kept), the alpha flag
// or D3DFORMAT, the compression byte (Direct3D 9 flags kept but alpha and
// compressed), and the depth field. alpha: whether the texels use alpha. False
// for a format the platform's record cannot name.
bool SetFormatWords(NativeTexture& texture, NativeFormat format, bool alpha);
// Whether real files of the platform store the format: palettes only on
// Direct3D 8, DXT2 and DXT4 not on Xbox, A8L8 only on Direct3D 9. New textures
// and conversions keep to these; a texture of another format keeps its own.
bool PlatformHolds(TexturePlatform platform, NativeFormat format);
// The format a record reads as (ParseNativeRecord's rule), from its words alone.
NativeFormat FormatOfWords(const NativeTexture& texture);

} // namespace kelmora
