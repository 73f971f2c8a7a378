#include "dictionary/dictionary.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/errors.h"
#include "dictionary/texture_codec.h"
#include "dictionary/unswizzle.h"

namespace kelmora {

DecodedTexture DecodeTexture(const ByteSource& source, const TTexEntry& entry, const DecodeOptions& options) {
    DecodedTexture d;
    d.Result = CodecOf(entry).Decode(source, entry, options.Unswizzle, d.State, options.Level);
    return d;
}

void ApplyDecoded(DecodeState& into, DecodedTexture&& decoded) {
    DecodeState& s = decoded.State;
    // Only the palette bytes the decode read replace what was there: 64 at 4 bits,
    // 1024 at 8, fewer where the file ends, none for true colour or a refusal.
    const std::uint32_t read = decoded.Result.PaletteBytesRead;
    if (decoded.Result.PaletteReordered && read < sizeof(TexPalette)) {
        // A short 8-bit palette was reordered together with what was there before.
        ReorderPalette(s.Palette);
        ReorderPalette(into.Palette);
        std::memcpy(into.Palette.data(), s.Palette.data(), read);
        ReorderPalette(into.Palette);
    } else {
        std::memcpy(into.Palette.data(), s.Palette.data(), read);
    }
    into.TexWidth = s.TexWidth;
    into.TexHeight = s.TexHeight;
    into.TexDepth = s.TexDepth;
    into.TrueColour = s.TrueColour;
    into.FullAlpha = s.FullAlpha;
    into.PaletteSize = s.PaletteSize;
    into.Pixels = std::move(s.Pixels);
    into.Texels = std::move(s.Texels);
}

Dictionary::Dictionary(std::shared_ptr<const ByteSource> source)
    : source_(std::move(source)), walk_(WalkDictionary(*source_)) {}

Dictionary Dictionary::OpenFile(const std::string& path) { return Dictionary(std::make_shared<FileSource>(path)); }

DecodedTexture Dictionary::Decode(std::size_t index, const DecodeOptions& options) const {
    if (index >= walk_.Listed)
        throw KelmoraError(ErrorCode::NoSuchTexture, {.Number = index + 1, .Limit = walk_.Listed});
    return DecodeTexture(*source_, walk_.Entries[index], options);
}

KelmoraError UnreadableTexture(std::size_t index, const DecodeResult& r) {
    const bool format = r.Status == DecodeStatus::UnsupportedFormat;
    return KelmoraError(ErrorCode::TextureUnreadable, {.Texture = index,
                                                       .Width = r.Width,
                                                       .Height = r.Height,
                                                       .Number = r.DataPresent,
                                                       .Limit = r.DataNeeded,
                                                       .Depth = r.Depth,
                                                       .Level = r.Level,
                                                       .Detail = static_cast<int>(r.Status),
                                                       .Count = static_cast<std::uint64_t>(r.Platform),
                                                       .Code = format ? r.FormatCode : r.PlatformId});
}

} // namespace kelmora
