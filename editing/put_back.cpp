#include "editing/put_back.h"

#include <algorithm>

#include "base/errors.h"
#include "base/text.h"
#include "dictionary/record_layout.h"
#include "editing/native_put.h"

namespace kelmora {

namespace {

// A picture of the given size and depth with nothing in it but the palette
// entries an image may leave unsaid.
DecodeState Blank(std::uint32_t w, std::uint32_t h, std::uint32_t depth, const TexPalette& palette) {
    DecodeState s;
    s.TexWidth = w;
    s.TexHeight = h;
    s.TexDepth = depth;
    s.TrueColour = depth == 16 || depth == 32;
    s.Palette = palette;
    return s;
}

} // namespace

std::vector<DecodeState> LevelsFrom(DecodeState level0, std::uint32_t count, const ImportOptions& o,
                                    const std::vector<std::string>& mipFiles) {
    std::vector<DecodeState> levels;
    levels.push_back(std::move(level0));
    for (std::uint32_t n = 1; n < count; ++n) {
        const std::uint32_t w = std::max<std::uint32_t>(1, levels[0].TexWidth >> n);
        const std::uint32_t h = std::max<std::uint32_t>(1, levels[0].TexHeight >> n);
        if (n < mipFiles.size() && !mipFiles[n].empty())
            levels.push_back(LevelFromImage(ReadImage(mipFiles[n]), levels[0], w, h, o, mipFiles[n]));
        else
            levels.push_back(HalvedLevel(levels.back(), w, h));
    }
    return levels;
}

namespace {

std::vector<DecodeState> WithLevels(DecodeState level0, std::uint32_t count, const PutBackOptions& o,
                                    const std::vector<std::string>& mipFiles) {
    return LevelsFrom(std::move(level0), count, o.Import, mipFiles);
}

} // namespace

void CheckSides(const std::string& image, std::uint32_t w, std::uint32_t h) {
    auto ok = [](std::uint32_t v) { return v >= 8 && v <= 1024 && (v & (v - 1)) == 0; };
    if (!ok(w) || !ok(h))
        throw KelmoraError(ErrorCode::SidesNotPowers, {.File = image, .Width = w, .Height = h});
}

void CheckSidesFor(TexturePlatform platform, const std::string& image, std::uint32_t w, std::uint32_t h) {
    if (IsNativePlatform(platform))
        CheckNativeSides(image, w, h);
    else
        CheckSides(image, w, h);
}

namespace {

struct Plan {
    DecodedTexture Current;
    PutOutcome Outcome;
};

Plan PlanFor(const Dictionary& d, std::size_t i, const InputImage& img, const PutBackOptions& o) {
    CheckTextureEditable(d, i);
    Plan p{d.Decode(i, {o.Unswizzle, 0}), {}};
    if (const DecodeResult& r = p.Current.Result; !r.Ok())
        throw UnreadableTexture(i, r);
    const DecodeState& now = p.Current.State;
    PutOutcome& out = p.Outcome;
    out.Before = {now.TexWidth, now.TexHeight, now.TexDepth, p.Current.Result.LevelCount, {}};
    out.After = out.Before;
    out.After.Width = img.Width;
    out.After.Height = img.Height;
    out.After.Depth = o.Depth ? o.Depth : now.TexDepth;
    if (out.Reshaped()) {
        // A texture with levels keeps a full chain at its new size; true colour has one level.
        const bool trueColour = out.After.Depth == 16 || out.After.Depth == 32;
        out.After.Levels = out.Before.Levels > 1 && !trueColour ? UsualLevelCount(img.Width, img.Height) : 1;
    }
    if (!img.HasAlpha) {
        const bool sameSize = img.Width == now.TexWidth && img.Height == now.TexHeight;
        out.Alpha = sameSize ? AlphaSource::Kept : AlphaSource::Opaque;
    }
    return p;
}

} // namespace

PutOutcome PlanPut(const Dictionary& d, std::size_t i, const InputImage& img, const PutBackOptions& o) {
    if (IsNativePlatform(d.Entries()[i].Platform))
        return PlanNativePut(d, i, img, o);
    return PlanFor(d, i, img, o).Outcome;
}

PutOutcome PutImage(DictionaryEdit& edit, std::size_t i, const InputImage& given, const std::string& name,
                    const PutBackOptions& o, const std::vector<std::string>& mipFiles) {
    if (IsNativePlatform(edit.Current().Entries()[i].Platform))
        return PutNativeImage(edit, i, given, name, o, mipFiles);
    Plan plan = PlanFor(edit.Current(), i, given, o);
    PutOutcome& out = plan.Outcome;
    const DecodeState& current = plan.Current.State;
    // Without alpha of its own the picture takes the texture's, texel by texel;
    // a palettised one that fits keeps each entry's alpha instead.
    InputImage withAlpha;
    const bool entryAlpha = given.Indexed && !current.TrueColour && out.After.Depth == current.TexDepth &&
                            IndicesFit(given, current.TexDepth == 4 ? 16 : 256);
    if (out.Alpha == AlphaSource::Kept && !entryAlpha)
        withAlpha = WithPresentAlpha(given, current, o.Import.Brighten);
    const InputImage& img = withAlpha.Width ? withAlpha : given;
    if (!out.Reshaped()) {
        DecodeState picture = PictureFromImage(img, current, o.Import, name);
        if (SamePicture(picture, current))
            return out;
        edit.Replace(i, WithLevels(std::move(picture), static_cast<std::uint32_t>(out.Before.Levels), o, mipFiles));
        out.Changed = true;
        return out;
    }
    CheckSides(name, img.Width, img.Height);
    const std::uint32_t depth = out.After.Depth;
    const bool samePalette = depth == current.TexDepth && !current.TrueColour;
    const DecodeState blank = Blank(img.Width, img.Height, depth, samePalette ? current.Palette : TexPalette{});
    DecodeState picture = PictureFromImage(img, blank, o.Import, name);
    edit.Reshape(i, WithLevels(std::move(picture), static_cast<std::uint32_t>(out.After.Levels), o, mipFiles));
    out.Changed = true;
    return out;
}

std::uint32_t MostLevels(std::uint32_t depth, std::uint32_t w, std::uint32_t h) {
    // The console's mip levels are palettised; its true-colour rasters hold one.
    return depth == 4 || depth == 8 ? UsualLevelCount(w, h) : 1;
}

void AddImage(DictionaryEdit& edit, const InputImage& img, const std::string& imageName, const std::string& name,
              const std::string& mask, std::uint32_t levels, const PutBackOptions& o) {
    if (IsNativePlatform(PlatformOfDictionary(edit.Current())))
        return AddNativeImage(edit, img, imageName, name, mask, levels, o);
    CheckSides(imageName, img.Width, img.Height);
    const std::uint32_t depth = o.Depth ? o.Depth : 8;
    const std::uint32_t most = MostLevels(depth, img.Width, img.Height);
    if (levels == 0 || levels > most)
        throw KelmoraError(ErrorCode::LevelCountOutOfRange, {.Width = img.Width,
                                                             .Height = img.Height,
                                                             .Number = levels,
                                                             .Limit = most,
                                                             .Depth = depth});
    DecodeState picture = PictureFromImage(img, Blank(img.Width, img.Height, depth, {}), o.Import, imageName);
    edit.Add(name, mask, WithLevels(std::move(picture), levels, o, {}));
}

bool NeedsColourChoice(const InputImage& image, const DecodeState& texture) {
    if (texture.TrueColour)
        return false;
    if (IndicesFit(image, texture.PaletteEntries()))
        return false;
    // Colours that are all on the present palette need no choice either.
    if (image.Width != texture.TexWidth || image.Height != texture.TexHeight)
        return true;
    return !ColoursOnPalette(image, texture, true, nullptr);
}

} // namespace kelmora
