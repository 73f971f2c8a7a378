// libFuzzer target: any bytes as a dictionary, walked and every listed entry
// decoded with and without the unswizzle, at every mip level it has, and each
// decoded level encoded again, which must give back the same bytes; the same
// bytes as a game archive's table of either version, with every dictionary entry
// it names read through the same engine; and the same bytes as an image file.
#include <cstdint>
#include <memory>

#include <cstdlib>
#include <vector>

#include "archive/game_archive.h"
#include "base/errors.h"
#include "dictionary/raster_encode.h"
#include "images/image_input.h"
#include "base/byte_source.h"
#include "dictionary/dictionary.h"

namespace {

// Encoding what a decode gave back must change no byte of the dictionary.
void ExpectRoundTrip(const kelmora::Dictionary& d, std::size_t i, const kelmora::DecodedTexture& t, bool unswizzle,
                     std::uint32_t level) {
    if (!t.Ok() || d.Source().Size() > (1u << 20))
        return;
    std::vector<std::uint8_t> bytes = kelmora::ReadAllBytes(d.Source());
    const std::vector<std::uint8_t> before = bytes;
    kelmora::EncodeRaster(bytes, d.Entries()[i], unswizzle, t.State, level);
    if (bytes != before)
        std::abort();
}

void WalkAndDecode(std::shared_ptr<const kelmora::ByteSource> source) {
    const kelmora::Dictionary d(std::move(source));
    for (std::size_t i = 0; i < d.Entries().size() && i < 64; ++i) {
        const kelmora::DecodedTexture t = d.Decode(i, {true, 0});
        ExpectRoundTrip(d, i, t, true, 0);
        ExpectRoundTrip(d, i, d.Decode(i, {false, 0}), false, 0);
        // Every further level the file's headers describe.
        for (std::uint32_t n = 1; n < t.Result.LevelCount && n < 16; ++n)
            ExpectRoundTrip(d, i, d.Decode(i, {true, n}), true, n);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = std::make_shared<kelmora::MemorySource>(data, size);
    WalkAndDecode(bytes);

    // The table of a version 2 archive and of a version 1 one, over the same data.
    const kelmora::GameArchive v2 = kelmora::ReadVersion2Table(*bytes);
    const kelmora::GameArchive v1 = kelmora::ReadVersion1Table(*bytes, size);
    try {
        kelmora::ReadImage(std::vector<std::uint8_t>(data, data + size), "fuzz");
    } catch (const kelmora::KelmoraError&) {
    }
    int opened = 0;
    for (const kelmora::GameArchive* a : {&v2, &v1}) {
        for (const kelmora::ArchiveEntry* e : a->Dictionaries()) {
            if (++opened > 8)
                return 0;
            WalkAndDecode(std::make_shared<kelmora::RangeSource>(bytes, e->Offset, e->Size));
        }
    }
    return 0;
}
