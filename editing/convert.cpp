#include "editing/convert.h"

#include <algorithm>
#include <cctype>

#include "base/bytes.h"
#include "dictionary/colour_rules.h"
#include "dictionary/native_format.h"
#include "dictionary/record_format.h"
#include "dictionary/record_layout.h"
#include "dictionary/texture_codec.h"
#include "editing/dictionary_edit.h"
#include "editing/image_scale.h"
#include "editing/native_put.h"
#include "editing/put_back.h"
#include "editing/texture_import.h"

namespace kelmora {

namespace {

// The dictionary struct's device ids, where a 3.6 stamp's struct carries one.
std::uint16_t DeviceOf(TexturePlatform p) {
    switch (p) {
    case TexturePlatform::Ps2: return 6;
    case TexturePlatform::Direct3D8: return 1;
    case TexturePlatform::Direct3D9: return 2;
    default: return 8; // Xbox
    }
}

// An empty dictionary of the target with the source's header, count struct and closing chunks.
std::vector<std::uint8_t> EmptyLike(const std::vector<std::uint8_t>& src, std::uint64_t recordsStart,
                                    std::uint64_t recordsEnd, TexturePlatform to) {
    std::vector<std::uint8_t> out(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(recordsStart));
    const std::uint64_t end = std::min<std::uint64_t>(src.size(), 12 + std::uint64_t{DictionaryChunkSize(src)});
    // The closing chunks as they are, or (the fixed layout's sizes do not say) an empty extension.
    if (recordsEnd + 12 <= end && LoadLE32(src.data() + recordsEnd) == kExtensionChunk) {
        out.insert(out.end(), src.begin() + static_cast<std::ptrdiff_t>(recordsEnd),
                   src.begin() + static_cast<std::ptrdiff_t>(end));
    } else {
        const std::vector<std::uint8_t> closing = EmptyExtensionChunk(DictionaryVersion(src));
        out.insert(out.end(), closing.begin(), closing.end());
    }
    SetDictionaryChunkSize(out, static_cast<std::uint32_t>(out.size() - 12));
    SetDictionaryTextureCount(out, 0);
    // A struct that names its device names the target's.
    if (DictionaryDevice(out) != 0)
        SetDictionaryDevice(out, DeviceOf(to));
    return out;
}

// Every level that decodes, from the top; the first that does not ends the list.
std::vector<DecodeState> DecodeLevels(const Dictionary& d, std::size_t i, bool unswizzle) {
    const DecodedTexture top = d.Decode(i, {unswizzle, 0});
    if (!top.Ok())
        throw UnreadableTexture(i, top.Result);
    std::vector<DecodeState> levels{top.State};
    for (std::uint32_t n = 1; n < top.Result.LevelCount; ++n) {
        DecodedTexture t = d.Decode(i, {unswizzle, n});
        if (!t.Ok())
            break;
        levels.push_back(std::move(t.State));
    }
    return levels;
}

// Bits a texel of a format takes, to tell when a conversion changed the depth.
std::uint32_t BitsOf(const std::string& format) {
    if (format == "4bit" || format == "DXT1")
        return 4;
    if (format == "8bit" || format == "DXT2" || format == "DXT3" || format == "DXT4" || format == "DXT5" ||
        format == "L8")
        return 8;
    if (format == "16bit" || format == "565" || format == "1555" || format == "555" || format == "4444" ||
        format == "A8L8")
        return 16;
    return 32;
}

bool Widens(std::uint8_t a) { return a <= 128; }

// The console's alpha 0..128 as 0..255, the rule UnbrightenAlpha undoes.
PaletteEntry Widened(PaletteEntry c, bool& lost) {
    lost = lost || !Widens(c.A);
    c.A = Widens(c.A) ? BrightenAlpha(c.A) : 255;
    return c;
}

// The first chunk of a native record's extension bytes, when it is an extension.
std::vector<std::uint8_t> FirstExtension(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 12 || LoadLE32(bytes.data()) != kExtensionChunk)
        return {};
    const std::uint64_t size = 12 + std::uint64_t{LoadLE32(bytes.data() + 4)};
    if (size > bytes.size())
        return {};
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)};
}

std::uint32_t PowerOfTwoNear(std::uint32_t v) {
    std::uint32_t p = 8;
    while (p < 1024 && 2 * std::uint64_t{p} * p < std::uint64_t{v} * v) // nearer in ratio: p * sqrt 2 < v
        p *= 2;
    return p;
}

bool ConsoleSide(std::uint32_t v) { return v >= 8 && v <= 1024 && (v & (v - 1)) == 0; }

InputImage ImageOf(const DecodeState& s) {
    InputImage img;
    img.Width = s.TexWidth;
    img.Height = s.TexHeight;
    img.HasAlpha = true;
    if (!s.TrueColour) {
        img.Indexed = true;
        img.Indices = s.Pixels;
        img.Palette.assign(s.Palette.begin(), s.Palette.begin() + s.PaletteEntries());
    } else {
        img.Rgba = s.Texels;
    }
    return img;
}

class Converter {
public:
    Converter(const Dictionary& d, const ConvertOptions& o, DictionaryEdit& out, ConvertResult& result)
        : d_(d), o_(o), out_(out), result_(result) {}

    void Texture(std::size_t i) {
        const TTexEntry& e = d_.Entries()[i];
        ConvertNote note;
        note.Texture = i;
        note.Name = e.Name;
        note.FormatBefore = e.Format;
        if (e.Platform == o_.To) {
            CopyRecord(i);
            return;
        }
        if (o_.To == TexturePlatform::Ps2)
            ToConsole(i, note);
        else if (e.Platform == TexturePlatform::Ps2)
            FromConsole(i, note);
        else
            BetweenNative(i, note);
        if (note.LostColours || note.Compressed || note.LostAlpha || note.Width != note.WidthBefore || note.Height != note.HeightBefore ||
            note.Levels != note.LevelsBefore || BitsOf(note.FormatBefore) != BitsOf(note.FormatAfter))
            result_.Notes.push_back(std::move(note));
    }

private:
    void ReadNative(std::size_t i, NativeRecord& n, NativeTexture& t) const {
        ByteReader reader(d_.Source());
        const std::uint64_t start = d_.Entries()[i].RecordStart;
        if (!ParseNativeRecord(reader, start, n) || !ReadNativeTexture(reader, start, t))
            throw UnreadableRecord(i);
    }

    void CopyRecord(std::size_t i) {
        const TTexEntry& e = d_.Entries()[i];
        std::vector<std::uint8_t> record(static_cast<std::size_t>(e.RecordEnd - e.RecordStart));
        d_.Source().ReadExactly(e.RecordStart, record.data(), record.size());
        out_.AddRecord(e.Name, e.Mask, record, {}, false);
    }

    void FromConsole(std::size_t i, ConvertNote& note) {
        const TTexEntry& e = d_.Entries()[i];
        std::vector<DecodeState> levels = DecodeLevels(d_, i, o_.Unswizzle);
        ByteReader reader(d_.Source());
        TextureRecord rec;
        std::vector<std::uint8_t> extension;
        const std::vector<std::uint8_t>& b = out_.Bytes();
        if (ParseRecord(reader, e.RecordStart, rec)) {
            extension.resize(static_cast<std::size_t>(rec.End - rec.ExtensionChunk));
            d_.Source().ReadExactly(rec.ExtensionChunk, extension.data(), extension.size());
        } else { // the fixed layout: what a new record has
            rec.Name = e.Name;
            rec.Mask = e.Mask;
            rec.Version = DictionaryVersion(b);
            rec.FilterWord = levels.size() > 1 ? 0x1106 : 0x1102;
        }
        if (extension.empty())
            extension = EmptyExtensionChunk(DictionaryVersion(b));
        for (const std::string* text : {&rec.Name, &rec.Mask})
            if (text->size() > kMaxNameLength)
                throw KelmoraError(ErrorCode::TextureNameTooLong,
                                   {.Name = *text, .Limit = kMaxNameLength, .Detail = text == &rec.Mask ? 1 : 0});
        const DecodeState& top = levels[0];
        const std::uint32_t depth = top.TexDepth;
        const bool trueColour = top.TrueColour;
        bool lostAlpha = false;
        for (DecodeState& lv : levels) {
            lv.FullAlpha = true;
            if (lv.TrueColour) {
                for (PaletteEntry& t : lv.Texels)
                    t = Widened(t, lostAlpha);
                lv.TexDepth = 32;
            } else {
                bool used[256] = {};
                for (std::uint8_t k : lv.Pixels)
                    used[k] = true;
                for (std::size_t k = 0; k < 256; ++k) {
                    bool lost = false;
                    lv.Palette[k] = Widened(lv.Palette[k], lost);
                    lostAlpha = lostAlpha || (lost && used[k]);
                }
            }
        }
        NativeFormat f = NativeFormat::A8R8G8B8;
        const bool alpha = UsesAlpha(levels);
        if (o_.Compress)
            f = alpha ? NativeFormat::Dxt5 : NativeFormat::Dxt1;
        else if (o_.To == TexturePlatform::Direct3D8 && !trueColour)
            f = depth == 4 ? NativeFormat::Pal4 : NativeFormat::Pal8;
        else if (depth == 16)
            f = NativeFormat::A1R5G5B5;
        NativeTexture t;
        t.PlatformId = PlatformIdOf(o_.To);
        t.Version = t.StructVersion = rec.Version;
        t.Filter = static_cast<std::uint8_t>(rec.FilterWord);
        t.Addressing = static_cast<std::uint8_t>(rec.FilterWord >> 8);
        t.Padding = static_cast<std::uint16_t>(rec.FilterWord >> 16);
        t.RawName = NameField(rec.Name);
        t.RawMask = NameField(rec.Mask);
        t.LevelCount = static_cast<std::uint8_t>(levels.size());
        t.Extension = extension;
        NativeRules rules;
        rules.Unswizzle = o_.Unswizzle;
        NativeEncoded encoded;
        EncodeNativeTexture(t, f, levels, rules, o_.Quality, encoded);
        bool rounded = false;
        note.Compressed = encoded.Lossy;
        for (std::size_t n = 0; n < levels.size() && !rounded && !encoded.Lossy; ++n)
            if (levels[n].TrueColour)
                rounded = levels[n].Texels != encoded.Expected[n].Texels;
        note.LostColours = rounded;
        note.LostAlpha = lostAlpha;
        Sizes(note, top, top, levels.size(), levels.size(), FormatName(f));
        out_.AddRecord(rec.Name, rec.Mask, WriteNativeRecord(t), std::move(encoded.Expected), encoded.Lossy);
    }

    void BetweenNative(std::size_t i, ConvertNote& note) {
        const TTexEntry& e = d_.Entries()[i];
        const std::vector<DecodeState> levels = DecodeLevels(d_, i, o_.Unswizzle);
        NativeRecord n;
        NativeTexture t;
        ReadNative(i, n, t);
        const NativeTexture old = t;
        t.PlatformId = PlatformIdOf(o_.To);
        // The byte at 0x57 means another thing on each platform: the target's is made anew.
        t.Compression = 0;
        const bool alpha = UsesAlpha(levels);
        NativeFormat f = n.Format;
        if (o_.Compress && !IsDxt(f))
            f = alpha ? NativeFormat::Dxt5 : NativeFormat::Dxt1;
        if (!PlatformHolds(o_.To, f))
            f = NativeFormat::A8R8G8B8; // what every platform holds
        const bool emptyLevel = std::any_of(t.Levels.begin(), t.Levels.end(), [](const auto& l) { return l.empty(); });
        // DXT blocks move as they are: nothing is encoded again. Raw texels are
        // written again, exactly, in the order the target keeps them.
        const bool sameBlocks = f == n.Format && IsDxt(f) && !(emptyLevel && o_.To == TexturePlatform::Xbox);
        bool lossy = false;
        std::vector<DecodeState> expected;
        if (sameBlocks) {
            SetFormatWords(t, f, alpha);
            t.Tail.clear();
            if (old.Platform() == TexturePlatform::Xbox || o_.To == TexturePlatform::Xbox)
                t.LevelCount = static_cast<std::uint8_t>(t.Levels.size());
            expected = levels;
            expected.resize(t.Levels.size());
        } else {
            t.LevelCount = static_cast<std::uint8_t>(levels.size());
            NativeRules rules = RulesOf(n);
            rules.Unswizzle = o_.Unswizzle;
            NativeEncoded encoded;
            EncodeNativeTexture(t, f, levels, rules, o_.Quality, encoded);
            lossy = encoded.Lossy;
            note.Compressed = lossy;
            for (std::size_t k = 0; k < levels.size() && !lossy && !note.LostColours; ++k)
                note.LostColours = TexelsOf(levels[k]) != TexelsOf(encoded.Expected[k]);
            expected = std::move(encoded.Expected);
        }
        Sizes(note, levels[0], levels[0], n.Levels.size(), levels.size(), FormatName(f));
        out_.AddRecord(e.Name, e.Mask, WriteNativeRecord(t), std::move(expected), lossy);
    }

    void ToConsole(std::size_t i, ConvertNote& note) {
        const TTexEntry& e = d_.Entries()[i];
        const std::vector<DecodeState> levels = DecodeLevels(d_, i, o_.Unswizzle);
        NativeRecord n;
        NativeTexture t;
        ReadNative(i, n, t);
        const DecodeState& top = levels[0];
        std::uint32_t w = top.TexWidth, h = top.TexHeight;
        if (!ConsoleSide(w) || !ConsoleSide(h)) {
            if (!o_.Resize)
                throw KelmoraError(ErrorCode::SidesNotForConsole, {.Width = w, .Height = h});
            w = PowerOfTwoNear(w), h = PowerOfTwoNear(h);
        }
        const bool resized = w != top.TexWidth || h != top.TexHeight;
        // A palette's indices that fit 16 entries stay 4-bit; any other picture is 8-bit unless asked.
        const bool fits16 = !top.TrueColour && std::all_of(top.Pixels.begin(), top.Pixels.end(),
                                                           [](std::uint8_t k) { return k < 16; });
        const std::uint32_t depth = o_.Depth ? o_.Depth : top.TexDepth == 4 && fits16 ? 4 : 8;
        InputImage image = ImageOf(top);
        if (resized)
            image = ScaleImage(image, w, h);
        DecodeState blank;
        blank.TexWidth = w;
        blank.TexHeight = h;
        blank.TexDepth = depth;
        blank.TrueColour = depth > 8;
        ImportOptions io;
        io.Dither = o_.Dither;
        const bool exact = !resized && !blank.TrueColour && IndicesFit(image, depth == 4 ? 16 : 256);
        DecodeState picture = PictureFromImage(image, blank, io, e.Name);
        const std::uint32_t most = MostLevels(depth, w, h);
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(levels.size(), most));
        std::vector<DecodeState> out;
        if (resized) {
            out = LevelsFrom(std::move(picture), count, io, {});
        } else {
            out.push_back(std::move(picture));
            for (std::uint32_t k = 1; k < count; ++k)
                out.push_back(LevelFromImage(ImageOf(levels[k]), out[0], levels[k].TexWidth, levels[k].TexHeight, io,
                                             e.Name));
        }
        bool lostAlpha = false;
        for (const DecodeState& lv : levels)
            for (std::uint32_t y = 0; y < lv.TexHeight && !lostAlpha; ++y)
                for (std::uint32_t x = 0; x < lv.TexWidth && !lostAlpha; ++x) {
                    const std::uint8_t a = lv.Colour(x, y).A;
                    lostAlpha = BrightenAlpha(UnbrightenAlpha(a)) != a;
                }
        TextureRecord r;
        r.Name = n.Name;
        r.Mask = n.Mask;
        r.Depth = depth;
        r.Width = w;
        r.Height = h;
        r.Levels = count;
        r.Version = t.Version;
        r.FilterWord = t.Filter | std::uint32_t{t.Addressing} << 8 | std::uint32_t{t.Padding} << 16;
        r.Extension = FirstExtension(t.Extension);
        r.EmptyExtension = r.Extension.empty();
        // Colours as the console keeps them, alpha aside (said on its own).
        note.LostColours = resized;
        for (std::uint32_t y = 0; y < h && !note.LostColours && !exact; ++y)
            for (std::uint32_t x = 0; x < w && !note.LostColours; ++x) {
                const PaletteEntry a = out[0].Colour(x, y), b = top.Colour(x, y);
                note.LostColours = a.R != b.R || a.G != b.G || a.B != b.B;
            }
        note.LostAlpha = lostAlpha;
        Sizes(note, top, out[0], levels.size(), count, std::to_string(depth) + "bit");
        out_.AddConsole(r, out);
    }

    static void Sizes(ConvertNote& note, const DecodeState& before, const DecodeState& after, std::size_t levelsBefore,
                      std::size_t levels, std::string format) {
        note.WidthBefore = before.TexWidth;
        note.HeightBefore = before.TexHeight;
        note.Width = after.TexWidth;
        note.Height = after.TexHeight;
        note.LevelsBefore = levelsBefore;
        note.Levels = levels;
        note.FormatAfter = std::move(format);
    }

    const Dictionary& d_;
    const ConvertOptions& o_;
    DictionaryEdit& out_;
    ConvertResult& result_;
};

} // namespace

TexturePlatform PlatformNamed(const std::string& key) {
    std::string k;
    for (char c : key)
        k += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (TexturePlatform p : {TexturePlatform::Ps2, TexturePlatform::Direct3D8, TexturePlatform::Direct3D9,
                              TexturePlatform::Xbox})
        if (k == PlatformKey(p))
            return p;
    return TexturePlatform::Unsupported;
}

ConvertResult ConvertDictionary(const Dictionary& source, const ConvertOptions& o) {
    const std::uint64_t size = source.Source().Size();
    if (!source.IsDictionary() || size < kDictionaryHeaderBytes)
        throw KelmoraError(ErrorCode::NotADictionary, {});
    if (!source.Complete())
        throw KelmoraError(ErrorCode::DictionaryEndsEarly, {.Number = source.Walk().Report.TextureNumber});
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    source.Source().ReadExactly(0, bytes.data(), bytes.size());
    const auto entries = source.Entries();
    const std::uint64_t recordsStart = FirstRecordOffset(bytes);
    const std::uint64_t recordsEnd = entries.empty() ? recordsStart : entries.back().RecordEnd;
    if (recordsStart > recordsEnd || recordsEnd > size)
        throw KelmoraError(ErrorCode::FixedLayout, {.Detail = static_cast<int>(LayoutBlocks::Add)});
    DictionaryEdit out(EmptyLike(bytes, recordsStart, recordsEnd, o.To), o.Unswizzle);
    out.AllowDuplicateNames(true);
    ConvertResult result;
    result.Textures = entries.size();
    Converter converter(source, o, out, result);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        try {
            converter.Texture(i);
        } catch (const KelmoraError& error) {
            result.Refused.push_back({i, entries[i].Name, error});
        }
    }
    if (!result.Refused.empty())
        return result;
    out.Verify();
    result.Bytes = out.Bytes();
    return result;
}

} // namespace kelmora
