// libFuzzer target: any bytes as a dictionary file, walked, then every listed
// entry decoded with and without the unswizzle, and every mip level it has.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "dictionary/dictionary_walk.h"
#include "dictionary/raster_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/kelmora-fuzz-" + std::to_string(getpid()) + ".txd";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    kelmora::WalkResult walk = kelmora::WalkDictionary(path);
    kelmora::DecodeState state;
    for (std::size_t i = 0; i < walk.Listed && i < 64; ++i) {
        kelmora::DecodeResult r = kelmora::DecodeRaster(path, walk.Entries[i], true, state);
        kelmora::DecodeRaster(path, walk.Entries[i], false, state);
        // Every further level the file's headers describe.
        for (std::uint32_t n = 1; n < r.LevelCount && n < 16; ++n)
            kelmora::DecodeRaster(path, walk.Entries[i], true, state, {}, n);
    }
    return 0;
}
