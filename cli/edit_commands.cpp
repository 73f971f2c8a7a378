#include "cli/edit_commands.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <set>
#include <vector>

#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "dictionary/text.h"
#include "editing/dictionary_edit.h"
#include "editing/record_layout.h"
#include "editing/texture_import.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "export/unique_names.h"

namespace kelmora::cli {

namespace {

namespace fs = std::filesystem;

void Note(const std::string& line) { std::cerr << "kelmora-cli: " << line << "\n"; }

std::vector<std::uint8_t> ReadWhole(const std::string& path) {
    const FileSource f(path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(f.Size()));
    bytes.resize(f.ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
}

std::string Label(const Dictionary& d, std::size_t i) {
    return "texture " + std::to_string(i + 1) + " (" + ShownText(d.Entries()[i].Name) + ")";
}

ImportOptions OptionsOf(const EditOptions& o) { return {!o.NoBrighten, !o.NoDither, o.KeepPalette}; }

// The dictionary to change: walked whole, or the command ends.
DictionaryEdit OpenForEdit(const EditOptions& o) {
    DictionaryEdit edit(ReadWhole(o.Dictionary), !o.NoFilter);
    const Dictionary& d = edit.Current();
    if (!d.IsDictionary())
        throw KelmoraError(o.Dictionary + " is not a texture dictionary");
    if (!d.Complete())
        throw KelmoraError(o.Dictionary + ": the dictionary ends early (texture " +
                           std::to_string(d.Walk().Report.TextureNumber) + " runs past its end); nothing was changed");
    return edit;
}

// Sides of new textures: what the console's tools make.
void CheckSides(const std::string& image, std::uint32_t w, std::uint32_t h) {
    auto ok = [](std::uint32_t v) { return v >= 8 && v <= 1024 && (v & (v - 1)) == 0; };
    if (!ok(w) || !ok(h))
        throw KelmoraError(image + " is " + std::to_string(w) + " x " + std::to_string(h) +
                           ": a texture's sides must be powers of two from 8 to 1024");
}

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

// Levels 1 and up of a picture: from mipFiles[n] where there is one, else halved
// from the level above.
std::vector<DecodeState> WithLevels(DecodeState level0, std::uint32_t count, const EditOptions& o,
                                    const std::vector<std::string>& mipFiles) {
    std::vector<DecodeState> levels;
    levels.push_back(std::move(level0));
    for (std::uint32_t n = 1; n < count; ++n) {
        const std::uint32_t w = std::max<std::uint32_t>(1, levels[0].TexWidth >> n);
        const std::uint32_t h = std::max<std::uint32_t>(1, levels[0].TexHeight >> n);
        if (n < mipFiles.size() && !mipFiles[n].empty())
            levels.push_back(LevelFromImage(ReadImage(mipFiles[n]), levels[0], w, h, OptionsOf(o), mipFiles[n]));
        else
            levels.push_back(HalvedLevel(levels.back(), w, h));
    }
    return levels;
}

// Puts an image in place of texture i; false when it holds what the texture does.
// An image of another size, or depth 1..32 asked for, lays the record out anew.
bool PutBack(DictionaryEdit& edit, std::size_t i, const std::string& image, const EditOptions& o,
             const std::vector<std::string>& mipFiles) {
    const Dictionary& d = edit.Current();
    const DecodedTexture current = d.Decode(i, {!o.NoFilter, 0});
    if (!current.Ok())
        throw KelmoraError(Label(d, i) + ": " + current.Result.Message);
    const InputImage img = ReadImage(image);
    const std::uint32_t depth = o.Depth ? o.Depth : current.State.TexDepth;
    const bool sameShape = img.Width == current.State.TexWidth && img.Height == current.State.TexHeight &&
                           depth == current.State.TexDepth;
    if (sameShape) {
        DecodeState picture = PictureFromImage(img, current.State, OptionsOf(o), image);
        if (SamePicture(picture, current.State))
            return false;
        edit.Replace(i, WithLevels(std::move(picture), static_cast<std::uint32_t>(current.Result.LevelCount), o, mipFiles));
        return true;
    }
    CheckSides(image, img.Width, img.Height);
    const bool samePalette = depth == current.State.TexDepth && !current.State.TrueColour;
    const DecodeState blank =
        Blank(img.Width, img.Height, depth, samePalette ? current.State.Palette : TexPalette{});
    DecodeState picture = PictureFromImage(img, blank, OptionsOf(o), image);
    // A texture with levels keeps a full chain at its new size; true colour has one level.
    const std::uint32_t count =
        current.Result.LevelCount > 1 && !picture.TrueColour ? UsualLevelCount(img.Width, img.Height) : 1;
    edit.Reshape(i, WithLevels(std::move(picture), count, o, mipFiles));
    return true;
}

// replaced: the count of pictures put back, or -1 for an edit of the list itself.
void Finish(const DictionaryEdit& edit, const EditOptions& o, long replaced) {
    const std::string target = o.Output.empty() ? o.Dictionary : o.Output;
    // With -o the dictionary is written whatever changed; over itself only when
    // something did.
    const bool write = edit.Changed() || !o.Output.empty();
    if (write) {
        edit.Verify();
        SaveDictionary(target, edit.Bytes());
    }
    const std::size_t count = edit.Current().Entries().size();
    if (replaced < 0)
        std::cout << count << " texture(s) in " << target << ".\n";
    else
        std::cout << replaced << " of " << count << " texture(s) replaced"
                  << (write ? " in " + target : std::string(", nothing written")) << ".\n";
}

bool IsImageName(const std::string& name) {
    const std::string ext = PathToUtf8(PathFromUtf8(name).extension());
    return !ext.empty() && FindFormatByName(ext.substr(1)) != nullptr;
}

} // namespace

int Import(const EditOptions& o, const std::string& folder) {
    if (!DirectoryExists(folder))
        throw KelmoraError(folder + " is not a folder");
    DictionaryEdit edit = OpenForEdit(o);
    const Dictionary& d = edit.Current();
    const std::string dir = folder + (IsPathSeparator(folder.back()) ? "" : std::string(1, kPathSeparator));
    const std::size_t count = d.Entries().size();

    // The names extract gives, format by format: the same claims in the same order,
    // so that repeated names find their "~2" files; alpha companions claim theirs.
    std::vector<std::string> chosen(count);
    std::set<std::string> used;
    for (const OutputFormat& f : OutputFormats()) {
        RunNames names;
        for (std::size_t i = 0; i < count; ++i) {
            const TTexEntry& e = d.Entries()[i];
            const std::string main = names.Claim(dir, SafeFileName(Cp1252ToUtf8(e.Name)), std::string(f.Extension));
            const std::string alpha = names.Claim(dir, SafeFileName(Cp1252ToUtf8(e.AlphaName)), std::string(f.Extension));
            used.insert(alpha);
            if (chosen[i].empty() && IsRegularFile(main))
                chosen[i] = main;
        }
    }
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (chosen[i].empty())
            continue;
        used.insert(chosen[i]);
        const std::string stem = dir + SafeFileName(Cp1252ToUtf8(d.Entries()[i].Name));
        const std::string ext = PathToUtf8(PathFromUtf8(chosen[i]).extension());
        std::vector<std::string> mips(16);
        for (std::size_t n = 1; n < mips.size(); ++n) {
            const std::string m = stem + ".mip" + std::to_string(n) + ext;
            if (IsRegularFile(m)) {
                mips[n] = m;
                used.insert(m);
            }
        }
        if (!PutBack(edit, i, chosen[i], o, mips))
            continue;
        ++replaced;
        std::cout << "replaced " << Label(edit.Current(), i) << " from " << chosen[i] << "\n";
    }
    std::vector<std::string> unmatched;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(folder))) {
        const std::string path = dir + PathToUtf8(entry.path().filename());
        if (entry.is_regular_file() && IsImageName(path) && !used.count(path))
            unmatched.push_back(path);
    }
    std::sort(unmatched.begin(), unmatched.end());
    for (const std::string& path : unmatched)
        Note(EscapeControls(path) + " matches no texture; skipped");
    Finish(edit, o, static_cast<long>(replaced));
    return 0;
}

// A number as list shows it, else a name (the first texture of that name).
std::size_t FindTexture(const Dictionary& d, const EditOptions& o, const std::string& texture) {
    std::size_t index = d.Entries().size();
    if (!texture.empty() && texture.find_first_not_of("0123456789") == std::string::npos && texture.size() < 10) {
        const std::size_t n = std::stoul(texture);
        if (n == 0 || n > d.Entries().size())
            throw KelmoraError(o.Dictionary + " has no texture " + texture + " (it lists " +
                               std::to_string(d.Entries().size()) + ")");
        index = n - 1;
    } else {
        for (std::size_t i = 0; i < d.Entries().size() && index == d.Entries().size(); ++i)
            if (Cp1252ToUtf8(d.Entries()[i].Name) == texture)
                index = i;
        if (index == d.Entries().size())
            throw KelmoraError(o.Dictionary + " has no texture named " + texture);
    }
    return index;
}

int Replace(const EditOptions& o, const std::string& texture, const std::string& image) {
    DictionaryEdit edit = OpenForEdit(o);
    const std::size_t index = FindTexture(edit.Current(), o, texture);
    std::size_t replaced = 0;
    if (PutBack(edit, index, image, o, {})) {
        replaced = 1;
        std::cout << "replaced " << Label(edit.Current(), index) << " from " << image << "\n";
    }
    Finish(edit, o, static_cast<long>(replaced));
    return 0;
}

int Add(const EditOptions& o, const std::string& image, const std::string& name, const std::string& mask,
        std::uint32_t levels) {
    DictionaryEdit edit = OpenForEdit(o);
    const InputImage img = ReadImage(image);
    CheckSides(image, img.Width, img.Height);
    const std::uint32_t depth = o.Depth ? o.Depth : 8;
    const std::uint32_t most = depth == 4 || depth == 8 ? UsualLevelCount(img.Width, img.Height) : 1;
    if (levels == 0 || levels > most)
        throw KelmoraError("a " + std::to_string(img.Width) + " x " + std::to_string(img.Height) + " texture of " +
                           std::to_string(depth) + " bits holds 1 to " + std::to_string(most) + " levels, not " +
                           std::to_string(levels));
    DecodeState picture = PictureFromImage(img, Blank(img.Width, img.Height, depth, {}), OptionsOf(o), image);
    edit.Add(Utf8ToCp1252(name), Utf8ToCp1252(mask), WithLevels(std::move(picture), levels, o, {}));
    std::cout << "added texture " << edit.Current().Entries().size() << " (" << name << ") from " << image << "\n";
    Finish(edit, o, -1);
    return 0;
}

int Remove(const EditOptions& o, const std::string& texture) {
    DictionaryEdit edit = OpenForEdit(o);
    const std::size_t index = FindTexture(edit.Current(), o, texture);
    const std::string label = Label(edit.Current(), index);
    edit.Remove(index);
    std::cout << "removed " << label << "\n";
    Finish(edit, o, -1);
    return 0;
}

int Rename(const EditOptions& o, const std::string& texture, const std::string& name, const std::string* mask) {
    DictionaryEdit edit = OpenForEdit(o);
    const std::size_t index = FindTexture(edit.Current(), o, texture);
    const std::string label = Label(edit.Current(), index);
    edit.Rename(index, Utf8ToCp1252(name), mask ? Utf8ToCp1252(*mask) : edit.Current().Entries()[index].Mask);
    std::cout << "renamed " << label << " to " << name << "\n";
    Finish(edit, o, -1);
    return 0;
}

} // namespace kelmora::cli
