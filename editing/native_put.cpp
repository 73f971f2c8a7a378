#include "editing/native_put.h"

#include <algorithm>
#include <cctype>

#include "base/bytes.h"
#include "base/errors.h"
#include "base/text.h"
#include "dictionary/native_codec.h"
#include "dictionary/record_format.h"
#include "editing/texture_import.h"

namespace kelmora {

namespace {

// D3D9 textures reach 4096 on a side in real files.
constexpr std::uint32_t kMaxNativeSide = 4096;

std::uint32_t LevelSide(std::uint32_t side, std::uint32_t n) { return std::max<std::uint32_t>(1, side >> n); }

// How the texels of pictures use alpha.
struct AlphaUse {
    bool Any = false;       // some texel below 255
    bool Partial = false;   // some texel neither 0 nor 255
};

AlphaUse AlphaOf(const DecodeState& s) {
    AlphaUse a;
    auto look = [&](std::uint8_t v) {
        a.Any = a.Any || v != 255;
        a.Partial = a.Partial || (v != 0 && v != 255);
    };
    if (s.TrueColour) {
        for (const PaletteEntry& t : s.Texels)
            look(t.A);
    } else {
        bool used[256] = {};
        for (std::uint8_t i : s.Pixels)
            used[i] = true;
        for (int i = 0; i < 256; ++i)
            if (used[i])
                look(s.Palette[static_cast<std::size_t>(i)].A);
    }
    return a;
}

AlphaUse AlphaOf(const InputImage& img) {
    AlphaUse a;
    const std::size_t n = static_cast<std::size_t>(img.Width) * img.Height;
    for (std::size_t i = 0; i < n && !(a.Any && a.Partial); ++i) {
        const std::uint8_t v = img.Pixel(i).A;
        a.Any = a.Any || v != 255;
        a.Partial = a.Partial || (v != 0 && v != 255);
    }
    return a;
}

std::uint32_t PaletteEntriesFor(NativeFormat f, const DecodeState& top) {
    if (f == NativeFormat::Pal8)
        return 256;
    return top.PaletteSize == 16 ? 16 : 32; // real files keep 32 entries for 4 bits
}

// An empty picture of a format's kind, for a texture without one to keep.
DecodeState Blank(NativeFormat f, std::uint32_t w, std::uint32_t h) {
    DecodeState s;
    s.TexWidth = w;
    s.TexHeight = h;
    s.FullAlpha = true;
    if (IsPalettised(f)) {
        s.TexDepth = f == NativeFormat::Pal4 ? 4 : 8;
        s.PaletteSize = f == NativeFormat::Pal4 ? 32 : 256;
    } else {
        s.TexDepth = 32;
        s.TrueColour = true;
    }
    return s;
}

// A format that cannot hold the picture's alpha gives way to one that can.
NativeFormat WithRoomForAlpha(NativeFormat f, const AlphaUse& picture, bool hadTransparency) {
    if (!picture.Any)
        return f;
    switch (f) {
    case NativeFormat::Dxt1:
        // DXT1 keeps a texture that was cut out already and still is, no more.
        return hadTransparency && !picture.Partial ? f : NativeFormat::Dxt5;
    case NativeFormat::X8R8G8B8:
    case NativeFormat::R5G6B5:
    case NativeFormat::X1R5G5B5:
    case NativeFormat::L8: return NativeFormat::A8R8G8B8;
    default: return f;
    }
}

// A new record's head: the dictionary's stamp, filtered between levels where it has some.
NativeTexture NewNativeTexture(TexturePlatform platform, const std::vector<std::uint8_t>& dictionary,
                               const std::string& name, const std::string& mask, std::uint32_t levels) {
    NativeTexture t;
    t.PlatformId = PlatformIdOf(platform);
    t.Version = t.StructVersion = DictionaryVersion(dictionary);
    t.Filter = levels > 1 ? 6 : 2;
    t.RawName = NameField(name);
    t.RawMask = NameField(mask);
    t.LevelCount = static_cast<std::uint8_t>(levels);
    t.Extension = EmptyExtensionChunk(t.Version);
    return t;
}

struct NativePlan {
    NativeRecord Old;
    NativeTexture Texture;
    DecodedTexture Current;
    InputImage Image; // the picture with the alpha it will have
    NativeFormat Format = NativeFormat::Unknown;
    PutOutcome Outcome;
};

NativePlan PlanFor(const Dictionary& d, std::size_t i, const InputImage& given, const PutBackOptions& o) {
    CheckTextureEditable(d, i);
    const TTexEntry& e = d.Entries()[i];
    if (o.Depth)
        throw KelmoraError(ErrorCode::DepthNotForPlatform, {.Depth = o.Depth, .Detail = static_cast<int>(e.Platform)});
    NativePlan p;
    p.Current = d.Decode(i, {o.Unswizzle, 0});
    if (!p.Current.Ok())
        throw UnreadableTexture(i, p.Current.Result);
    ByteReader reader(d.Source());
    if (!ParseNativeRecord(reader, e.RecordStart, p.Old) || !ReadNativeTexture(reader, e.RecordStart, p.Texture))
        throw UnreadableRecord(i);
    const DecodeState& now = p.Current.State;
    PutOutcome& out = p.Outcome;
    out.Before = {now.TexWidth, now.TexHeight, 0, p.Old.Levels.size(), FormatName(p.Old.Format)};
    const bool sameSize = given.Width == now.TexWidth && given.Height == now.TexHeight;
    if (!sameSize)
        CheckNativeSides(e.Name, given.Width, given.Height);
    p.Image = given;
    if (!given.HasAlpha) {
        out.Alpha = sameSize ? AlphaSource::Kept : AlphaSource::Opaque;
        if (sameSize)
            p.Image = WithPresentAlpha(given, now, false);
    }
    NativeFormat f = o.Format != NativeFormat::Unknown ? o.Format : p.Old.Format;
    const NativeFormat asked = f;
    // Whether the present picture is cut out matters only for DXT1 given alpha.
    const AlphaUse picture = AlphaOf(p.Image);
    f = WithRoomForAlpha(f, picture, f == NativeFormat::Dxt1 && picture.Any && AlphaOf(now).Any);
    out.FormatForAlpha = f != asked;
    NativeTexture probe = p.Texture;
    if ((f != p.Old.Format && !PlatformHolds(e.Platform, f)) || !SetFormatWords(probe, f, false))
        throw KelmoraError(ErrorCode::FormatNotForPlatform, {.Name = FormatName(f), .Detail = static_cast<int>(e.Platform)});
    p.Format = f;
    out.After = {given.Width, given.Height, 0, sameSize ? out.Before.Levels : LevelsLike(p.Old, given.Width, given.Height),
                 FormatName(f)};
    return p;
}

} // namespace

std::vector<PaletteEntry> TexelsOf(const DecodeState& s) {
    if (s.TrueColour)
        return s.Texels;
    std::vector<PaletteEntry> out(s.Pixels.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = s.Palette[s.Pixels[i]];
    return out;
}

bool UsesAlpha(const std::vector<DecodeState>& levels) {
    return std::any_of(levels.begin(), levels.end(), [](const DecodeState& s) { return AlphaOf(s).Any; });
}

KelmoraError UnreadableRecord(std::size_t index) {
    DecodeResult r;
    r.Status = DecodeStatus::DataMissing;
    return UnreadableTexture(index, r);
}

NativeRules RulesOf(const NativeRecord& n) {
    NativeRules rules;
    bool padded = false, plain = false;
    for (const NativeLevel& lv : n.Levels) {
        if (IsDxt(n.Format)) {
            if ((lv.Width < 4 || lv.Height < 4) && lv.Bytes == 0)
                rules.EmptySmallDxt = true;
            continue;
        }
        const std::uint32_t a = PlainPitch(n.Format, lv.Width), b = PaddedPitch(n.Format, lv.Width);
        if (a == b)
            continue;
        padded = padded || lv.Bytes == std::uint64_t{b} * lv.Height;
        plain = plain || lv.Bytes == std::uint64_t{a} * lv.Height;
    }
    rules.PadSmallRows = padded || !plain; // D3D surfaces pad small rows, as most real files show
    return rules;
}

bool EncodeNativeTexture(NativeTexture& t, NativeFormat f, const std::vector<DecodeState>& levels,
                         const NativeRules& rules, DxtQuality quality, NativeEncoded& out) {
    const DecodeState& top = levels[0];
    out = {};
    out.Alpha = UsesAlpha(levels);
    t.Width = static_cast<std::uint16_t>(top.TexWidth);
    t.Height = static_cast<std::uint16_t>(top.TexHeight);
    if (!SetFormatWords(t, f, out.Alpha))
        return false;
    const bool palettised = IsPalettised(f);

    // A palette whose alpha bytes are junk reads as opaque.
    const bool junkAlpha = palettised && ((t.RasterFormat >> 8) & 0xF) == kBase888;
    const std::uint32_t entries = palettised ? PaletteEntriesFor(f, top) : 0;
    out.Lossy = IsDxt(f);
    t.Palette.clear();
    t.Levels.clear();
    t.Tail.clear();
    for (std::uint32_t i = 0; i < entries; ++i) {
        const PaletteEntry& c = top.Palette[i];
        t.Palette.insert(t.Palette.end(), {c.R, c.G, c.B, c.A});
    }
    for (const DecodeState& lv : levels) {
        const std::uint32_t w = lv.TexWidth, h = lv.TexHeight;
        const std::uint32_t pitch = rules.PadSmallRows ? PaddedPitch(f, w) : PlainPitch(f, w);
        const bool morton = rules.Unswizzle && XboxSwizzles(t.Platform(), f, w, h);
        if (IsDxt(f) && rules.EmptySmallDxt && (w < 4 || h < 4)) {
            t.Levels.emplace_back();
            out.Expected.emplace_back();
            continue;
        }
        DecodeState want;
        want.TexWidth = w;
        want.TexHeight = h;
        want.FullAlpha = true;
        if (palettised) {
            t.Levels.push_back(EncodeNativeIndices(lv.Pixels.data(), w, h, pitch, morton));
            want.TexDepth = f == NativeFormat::Pal4 ? 4 : 8;
            want.PaletteSize = entries;
            want.Palette = top.Palette;
            for (std::uint32_t i = 0; junkAlpha && i < entries; ++i)
                want.Palette[i].A = 255;
            want.Pixels = lv.Pixels;
        } else {
            const std::vector<PaletteEntry> texels = TexelsOf(lv);
            t.Levels.push_back(EncodeNativeTexels(f, texels.data(), w, h, pitch, quality, morton));
            want.TexDepth = 32;
            want.TrueColour = true;
            want.Texels.resize(texels.size());
            std::transform(texels.begin(), texels.end(), want.Texels.begin(),
                           [f](const PaletteEntry& c) { return AsStoredNative(f, c); });
        }
        out.Expected.push_back(std::move(want));
    }
    return true;
}

std::uint32_t FullChainLevels(std::uint32_t w, std::uint32_t h) {
    std::uint32_t n = 1;
    while (w > 1 || h > 1) {
        w = std::max<std::uint32_t>(1, w / 2), h = std::max<std::uint32_t>(1, h / 2);
        ++n;
    }
    return n;
}

std::uint32_t LevelsLike(const NativeRecord& old, std::uint32_t w, std::uint32_t h) {
    if (old.Levels.size() <= 1)
        return 1;
    // The chain stops where the old one did: at the same longer side of its last level.
    const NativeLevel& last = old.Levels.back();
    const std::uint32_t stop = std::max(last.Width, last.Height);
    std::uint32_t n = 1;
    while (std::max(LevelSide(w, n - 1), LevelSide(h, n - 1)) > stop && n < FullChainLevels(w, h))
        ++n;
    return n;
}

void CheckNativeSides(const std::string& image, std::uint32_t w, std::uint32_t h) {
    if (w == 0 || h == 0 || w > kMaxNativeSide || h > kMaxNativeSide)
        throw KelmoraError(ErrorCode::SidesOutOfRange, {.File = image, .Width = w, .Height = h, .Limit = kMaxNativeSide});
}

NativeFormat NativeFormatForDepth(TexturePlatform platform, std::uint32_t depth) {
    if (depth == 32)
        return NativeFormat::A8R8G8B8;
    if ((depth == 4 || depth == 8) && platform == TexturePlatform::Direct3D8)
        return depth == 4 ? NativeFormat::Pal4 : NativeFormat::Pal8;
    return NativeFormat::Unknown;
}

NativeFormat NativeFormatNamed(const std::string& name) {
    std::string key;
    for (char c : name)
        key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const std::pair<const char*, NativeFormat> names[] = {
        {"DXT1", NativeFormat::Dxt1}, {"DXT3", NativeFormat::Dxt3},        {"DXT5", NativeFormat::Dxt5},
        {"8888", NativeFormat::A8R8G8B8}, {"888", NativeFormat::X8R8G8B8}, {"565", NativeFormat::R5G6B5},
        {"1555", NativeFormat::A1R5G5B5}, {"555", NativeFormat::X1R5G5B5}, {"4444", NativeFormat::A4R4G4B4},
        {"L8", NativeFormat::L8},         {"A8L8", NativeFormat::A8L8},    {"PAL8", NativeFormat::Pal8},
        {"PAL4", NativeFormat::Pal4},
    };
    for (const auto& [text, format] : names)
        if (key == text)
            return format;
    return NativeFormat::Unknown;
}

PutOutcome PlanNativePut(const Dictionary& d, std::size_t i, const InputImage& img, const PutBackOptions& o) {
    return PlanFor(d, i, img, o).Outcome;
}

PutOutcome PutNativeImage(DictionaryEdit& edit, std::size_t i, const InputImage& given, const std::string& name,
                          const PutBackOptions& o, const std::vector<std::string>& mipFiles) {
    NativePlan p = PlanFor(edit.Current(), i, given, o);
    PutOutcome& out = p.Outcome;
    const DecodeState& current = p.Current.State;
    ImportOptions io = o.Import;
    io.Brighten = false; // these platforms' alpha runs 0..255 in the texture and the image alike
    // The present picture is the base where the kind of storage stays: its palette
    // and indices are what an unedited export gives back.
    const bool sameKind = IsPalettised(p.Format) == IsPalettised(p.Old.Format) &&
                          (p.Format == NativeFormat::Pal4) == (p.Old.Format == NativeFormat::Pal4);
    const bool sameSize = !(out.Before.Width != out.After.Width || out.Before.Height != out.After.Height);
    const DecodeState base = sameKind && sameSize ? current : Blank(p.Format, given.Width, given.Height);
    DecodeState picture = PictureFromImage(p.Image, base, io, name);
    if (!out.Reshaped() && SamePicture(picture, current))
        return out; // the stored texels stay as they are, blocks and all
    const auto count = static_cast<std::uint32_t>(out.After.Levels);
    NativeTexture t = p.Texture;
    // A record that stores one level keeps its count field (0, or auto-mipmap's).
    if (!(count == 1 && out.Before.Levels == 1))
        t.LevelCount = static_cast<std::uint8_t>(count);
    NativeRules rules = RulesOf(p.Old);
    rules.Unswizzle = o.Unswizzle;
    NativeEncoded encoded;
    EncodeNativeTexture(t, p.Format, LevelsFrom(std::move(picture), count, io, mipFiles), rules, o.Quality, encoded);
    edit.PutRecord(i, WriteNativeRecord(t), std::move(encoded.Expected), encoded.Lossy);
    out.Changed = true;
    return out;
}

void DictionaryEdit::ReplaceNative(std::size_t index, const std::vector<DecodeState>& levels) {
    ByteReader reader(current_->Source());
    NativeRecord n;
    NativeTexture t;
    const std::uint64_t start = current_->Entries()[index].RecordStart;
    if (!ParseNativeRecord(reader, start, n) || !ReadNativeTexture(reader, start, t))
        throw UnreadableRecord(index);
    if (!(levels.size() == 1 && n.Levels.size() == 1))
        t.LevelCount = static_cast<std::uint8_t>(levels.size());
    NativeRules rules = RulesOf(n);
    rules.Unswizzle = unswizzle_;
    NativeEncoded encoded;
    if (!EncodeNativeTexture(t, n.Format, levels, rules, DxtQuality::Normal, encoded))
        throw KelmoraError(ErrorCode::FormatNotForPlatform,
                           {.Name = FormatName(n.Format), .Detail = static_cast<int>(n.Platform)});
    PutRecord(index, WriteNativeRecord(t), std::move(encoded.Expected), encoded.Lossy);
}

void DictionaryEdit::AddNative(const std::string& name, const std::string& mask, const std::vector<DecodeState>& levels) {
    const TexturePlatform platform = current_->Entries()[0].Platform;
    const DecodeState& top = levels[0];
    const NativeFormat f = top.TrueColour || platform != TexturePlatform::Direct3D8 ? NativeFormat::A8R8G8B8
                           : top.TexDepth == 4                                     ? NativeFormat::Pal4
                                                                                   : NativeFormat::Pal8;
    NativeTexture t = NewNativeTexture(platform, *bytes_, name, mask, static_cast<std::uint32_t>(levels.size()));
    NativeRules rules;
    rules.Unswizzle = unswizzle_;
    NativeEncoded encoded;
    EncodeNativeTexture(t, f, levels, rules, DxtQuality::Normal, encoded);
    AddRecord(name, mask, WriteNativeRecord(t), std::move(encoded.Expected), encoded.Lossy);
}

TexturePlatform PlatformOfDictionary(const Dictionary& d) {
    const auto entries = d.Entries();
    return entries.empty() ? TexturePlatform::Ps2 : entries[0].Platform;
}

void AddNativeImage(DictionaryEdit& edit, const InputImage& img, const std::string& imageName, const std::string& name,
                    const std::string& mask, std::uint32_t levels, const PutBackOptions& o) {
    edit.CheckAddable();
    const TexturePlatform platform = PlatformOfDictionary(edit.Current());
    if (o.Depth)
        throw KelmoraError(ErrorCode::DepthNotForPlatform, {.Depth = o.Depth, .Detail = static_cast<int>(platform)});
    CheckNativeSides(imageName, img.Width, img.Height);
    const std::uint32_t most = FullChainLevels(img.Width, img.Height);
    if (levels == 0 || levels > most)
        throw KelmoraError(ErrorCode::NativeLevelsOutOfRange,
                           {.Width = img.Width, .Height = img.Height, .Number = levels, .Limit = most});
    const NativeFormat f = o.Format != NativeFormat::Unknown ? o.Format
                           : AlphaOf(img).Any                ? NativeFormat::Dxt5
                                                             : NativeFormat::Dxt1;
    NativeTexture t = NewNativeTexture(platform, edit.Bytes(), name, mask, levels);
    NativeTexture probe = t;
    if (!PlatformHolds(platform, f) || !SetFormatWords(probe, f, false))
        throw KelmoraError(ErrorCode::FormatNotForPlatform, {.Name = FormatName(f), .Detail = static_cast<int>(platform)});
    ImportOptions io = o.Import;
    io.Brighten = false;
    DecodeState picture = PictureFromImage(img, Blank(f, img.Width, img.Height), io, imageName);
    NativeRules rules;
    rules.Unswizzle = o.Unswizzle;
    NativeEncoded encoded;
    EncodeNativeTexture(t, f, LevelsFrom(std::move(picture), levels, io, {}), rules, o.Quality, encoded);
    edit.AddRecord(name, mask, WriteNativeRecord(t), std::move(encoded.Expected), encoded.Lossy);
}

} // namespace kelmora
