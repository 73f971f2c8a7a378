#pragma once
// The platforms whose native textures a dictionary may hold. A dictionary of
// each platform has the same chunks; what differs is the texture record's
// struct, and with it how its raster is stored.
#include <cstdint>

namespace kelmora {

enum class TexturePlatform : std::uint8_t {
    Ps2,         // the console's records, read as they always were
    Direct3D8,   // platform id 8
    Direct3D9,   // platform id 9
    Xbox,        // platform id 5
    Unsupported, // any other id: listed, never decoded
};

// Direct3D 8, Direct3D 9 and Xbox: the platforms of the native record.
constexpr bool IsNativePlatform(TexturePlatform p) {
    return p == TexturePlatform::Direct3D8 || p == TexturePlatform::Direct3D9 || p == TexturePlatform::Xbox;
}

// "PlayStation 2", "Direct3D 8", "Direct3D 9", "Xbox"; "unknown" for the rest.
const char* PlatformName(TexturePlatform platform);
// "ps2", "d3d8", "d3d9", "xbox", "unknown": for scripts.
const char* PlatformKey(TexturePlatform platform);

} // namespace kelmora
