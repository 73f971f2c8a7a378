// libFuzzer target: any bytes as a dictionary of any platform, walked and every
// listed entry decoded with and without the unswizzle, at every mip level it
// has, and described as the properties panel does; each decoded level of a
// console texture encoded again, which must give back the same bytes; the same
// bytes as a game archive's table of either version, with every dictionary entry
// it names read through the same engine; the same bytes as an image file; and
// every edit (rename, remove, add, replace) on the bytes as a dictionary, and
// the bytes as an image put into a small dictionary of our own, each verified
// as the commands verify before they write; PC and Xbox records written back
// byte for byte, and the bytes converted to every platform.
#include <cstdint>
#include <functional>
#include <memory>

#include <cstdlib>
#include <vector>

#include "archive/game_archive.h"
#include "base/bytes.h"
#include "dictionary/native_format.h"
#include "editing/convert.h"
#include "editing/dictionary_edit.h"
#include "editing/put_back.h"
#include "base/errors.h"
#include "dictionary/raster_encode.h"
#include "images/image_input.h"
#include "base/byte_source.h"
#include "dictionary/dictionary.h"
#include "dictionary/texture_codec.h"
#include "dictionary/texture_properties.h"

namespace {

// Encoding what a decode gave back must change no byte of the dictionary.
void ExpectRoundTrip(const kelmora::Dictionary& d, std::size_t i, const kelmora::DecodedTexture& t, bool unswizzle,
                     std::uint32_t level) {
    if (!t.Ok() || d.Source().Size() > (1u << 20) || d.Entries()[i].Platform != kelmora::TexturePlatform::Ps2)
        return;
    std::vector<std::uint8_t> bytes = kelmora::ReadAllBytes(d.Source());
    const std::vector<std::uint8_t> before = bytes;
    kelmora::EncodeRaster(bytes, d.Entries()[i], unswizzle, t.State, level);
    if (bytes != before)
        std::abort();
}

// A PC or Xbox record read into its parts must write back as the same bytes.
void ExpectRecordRoundTrip(const kelmora::Dictionary& d, std::size_t i) {
    const kelmora::TTexEntry& e = d.Entries()[i];
    if (!kelmora::IsNativePlatform(e.Platform) || e.RecordEnd - e.RecordStart > (1u << 20))
        return;
    kelmora::ByteReader reader(d.Source());
    kelmora::NativeTexture t;
    if (!kelmora::ReadNativeTexture(reader, e.RecordStart, t))
        return;
    std::vector<std::uint8_t> record(static_cast<std::size_t>(e.RecordEnd - e.RecordStart));
    d.Source().ReadExactly(e.RecordStart, record.data(), record.size());
    if (kelmora::WriteNativeRecord(t) != record)
        std::abort();
}

// The bytes converted to every platform: refusals are fine, a crash is not, and
// a conversion's result is walked and checked before it is given (Verify).
void ConvertEverywhere(std::shared_ptr<const kelmora::ByteSource> source) {
    const kelmora::Dictionary d(std::move(source));
    for (kelmora::TexturePlatform to : {kelmora::TexturePlatform::Ps2, kelmora::TexturePlatform::Direct3D8,
                                        kelmora::TexturePlatform::Direct3D9, kelmora::TexturePlatform::Xbox}) {
        try {
            kelmora::ConvertOptions o;
            o.To = to;
            o.Quality = kelmora::DxtQuality::Fast;
            o.Compress = to == kelmora::TexturePlatform::Xbox;
            o.Resize = to == kelmora::TexturePlatform::Ps2;
            const kelmora::ConvertResult r = kelmora::ConvertDictionary(d, o);
            if (!r.Bytes.empty() && !kelmora::Dictionary(std::make_shared<kelmora::BufferSource>(r.Bytes)).Complete())
                std::abort();
        } catch (const kelmora::KelmoraError&) {
        }
    }
}

void WalkAndDecode(std::shared_ptr<const kelmora::ByteSource> source) {
    const kelmora::Dictionary d(std::move(source));
    for (std::size_t i = 0; i < d.Entries().size() && i < 64; ++i) {
        ExpectRecordRoundTrip(d, i);
        const kelmora::DecodedTexture t = d.Decode(i, {true, 0});
        kelmora::DescribeTexture(d.Source(), d.Entries()[i], t.Ok() ? &t.State : nullptr);
        ExpectRoundTrip(d, i, t, true, 0);
        ExpectRoundTrip(d, i, d.Decode(i, {false, 0}), false, 0);
        // Every further level the file's headers describe.
        for (std::uint32_t n = 1; n < t.Result.LevelCount && n < 16; ++n)
            ExpectRoundTrip(d, i, d.Decode(i, {true, n}), true, n);
    }
}

// An 8 x 8 picture of every kind of colour, for adding.
kelmora::InputImage SmallImage() {
    kelmora::InputImage img;
    img.Width = img.Height = 8;
    img.HasAlpha = true;
    for (std::uint8_t i = 0; i < 64; ++i)
        img.Rgba.push_back({static_cast<std::uint8_t>(i * 4), static_cast<std::uint8_t>(255 - i), 7,
                            static_cast<std::uint8_t>(i * 3)});
    return img;
}

// A dictionary of one 16 x 16 texture with two levels, made through the editor itself.
const std::vector<std::uint8_t>& OwnDictionary() {
    static const std::vector<std::uint8_t> bytes = [] {
        // The dictionary chunk, the struct with a count of 0, the closing extension.
        std::vector<std::uint8_t> b(40, 0);
        const std::uint32_t version = 0x1803FFFF;
        auto put = [&](std::size_t at, std::uint32_t v) {
            for (int k = 0; k < 4; ++k)
                b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
        };
        put(0, 0x16), put(4, 28), put(8, version), put(12, 1), put(16, 4), put(20, version);
        put(28, 3), put(32, 0), put(36, version);
        kelmora::DictionaryEdit edit(b, true);
        kelmora::InputImage img = SmallImage();
        img.Width = img.Height = 16;
        img.Rgba.resize(256);
        for (std::size_t i = 64; i < 256; ++i)
            img.Rgba[i] = img.Rgba[i % 64];
        kelmora::AddImage(edit, img, "own", "own", "own_a", 2, {});
        edit.Verify();
        return edit.Bytes();
    }();
    return bytes;
}

// Every edit on bytes taken as a dictionary: refusals are fine, memory faults and
// a verified result that reads back otherwise are not (Verify throws then, and
// is expected to; the edits themselves must never crash).
void Edit(const std::vector<std::uint8_t>& bytes, const kelmora::InputImage* image) {
    using kelmora::DictionaryEdit;
    auto attempt = [&](const std::function<void(DictionaryEdit&)>& change) {
        try {
            kelmora::CheckEditable(bytes, "fuzz");
            DictionaryEdit edit(bytes, true);
            if (edit.Current().Entries().empty() && !image)
                return;
            change(edit);
            edit.Verify();
        } catch (const kelmora::KelmoraError&) {
        }
    };
    attempt([](DictionaryEdit& e) {
        if (!e.Current().Entries().empty())
            e.Rename(0, "renamed", "mask");
    });
    attempt([](DictionaryEdit& e) {
        if (!e.Current().Entries().empty())
            e.Remove(e.Current().Entries().size() - 1);
    });
    attempt([](DictionaryEdit& e) { kelmora::AddImage(e, SmallImage(), "small", "added", "", 1, {}); });
    attempt([&](DictionaryEdit& e) {
        if (e.Current().Entries().empty())
            return;
        // The texture's own picture with one texel changed, and the image given.
        const kelmora::DecodedTexture t = e.Current().Decode(0);
        if (!t.Ok() || t.State.TexWidth * std::uint64_t{t.State.TexHeight} > 4096)
            return;
        kelmora::InputImage own;
        own.Width = t.State.TexWidth;
        own.Height = t.State.TexHeight;
        own.HasAlpha = true;
        for (std::uint32_t y = 0; y < own.Height; ++y)
            for (std::uint32_t x = 0; x < own.Width; ++x)
                own.Rgba.push_back(t.State.Colour(x, y));
        if (own.Rgba.empty())
            return; // a texture of no texels (a side of 0) has no picture to change
        own.Rgba[0].R ^= 0x10;
        kelmora::PutImage(e, 0, own, "own", {});
        if (image)
            kelmora::PutImage(e, 0, *image, "fuzz", {});
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = std::make_shared<kelmora::MemorySource>(data, size);
    WalkAndDecode(bytes);

    // The table of a version 2 archive and of a version 1 one, over the same data.
    const kelmora::GameArchive v2 = kelmora::ReadVersion2Table(*bytes);
    const kelmora::GameArchive v1 = kelmora::ReadVersion1Table(*bytes, size);
    std::unique_ptr<kelmora::InputImage> image;
    try {
        image = std::make_unique<kelmora::InputImage>(kelmora::ReadImage(std::vector<std::uint8_t>(data, data + size), "fuzz"));
    } catch (const kelmora::KelmoraError&) {
    }
    // Edits cost a copy of the bytes each: kept to dictionaries of a useful size.
    if (size <= (1u << 16)) {
        Edit(std::vector<std::uint8_t>(data, data + size), nullptr);
        ConvertEverywhere(bytes);
    }
    // Large pictures cost the quantiser much and find nothing more.
    if (image && std::uint64_t{image->Width} * image->Height <= 16384)
        Edit(OwnDictionary(), image.get());
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
