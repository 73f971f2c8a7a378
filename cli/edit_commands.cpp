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

// Texture i's levels from its new level 0: further levels from mipFiles where one
// is given (empty names otherwise), else halved from the level above.
std::vector<DecodeState> Levels(const Dictionary& d, std::size_t i, DecodeState level0, const EditOptions& o,
                                const std::vector<std::string>& mipFiles) {
    std::vector<DecodeState> levels;
    const DecodedTexture first = d.Decode(i, {!o.NoFilter, 0});
    levels.push_back(std::move(level0));
    for (std::uint32_t n = 1; n < first.Result.LevelCount; ++n) {
        const DecodedTexture t = d.Decode(i, {!o.NoFilter, n});
        if (!t.Ok())
            break;
        const std::uint32_t w = t.State.TexWidth, h = t.State.TexHeight;
        if (n < mipFiles.size() && !mipFiles[n].empty())
            levels.push_back(LevelFromImage(ReadImage(mipFiles[n]), levels[0], w, h, OptionsOf(o), mipFiles[n]));
        else
            levels.push_back(HalvedLevel(levels.back(), w, h));
    }
    return levels;
}

// The new level 0 of texture i from an image; false when it is what the texture holds.
bool NewPicture(const Dictionary& d, std::size_t i, const std::string& image, const EditOptions& o, DecodeState& out) {
    const DecodedTexture current = d.Decode(i, {!o.NoFilter, 0});
    if (!current.Ok())
        throw KelmoraError(Label(d, i) + ": " + current.Result.Message);
    out = PictureFromImage(ReadImage(image), current.State, OptionsOf(o), image);
    return !SamePicture(out, current.State);
}

void Finish(const DictionaryEdit& edit, const EditOptions& o, std::size_t replaced) {
    const std::string target = o.Output.empty() ? o.Dictionary : o.Output;
    // With -o the dictionary is written whatever changed; over itself only when
    // something did.
    const bool write = edit.Changed() || !o.Output.empty();
    if (write) {
        edit.Verify();
        SaveDictionary(target, edit.Bytes());
    }
    std::cout << replaced << " of " << edit.Current().Entries().size() << " texture(s) replaced"
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
        DecodeState picture;
        if (!NewPicture(d, i, chosen[i], o, picture))
            continue;
        edit.Replace(i, Levels(d, i, std::move(picture), o, mips));
        ++replaced;
        std::cout << "replaced " << Label(d, i) << " from " << chosen[i] << "\n";
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
    Finish(edit, o, replaced);
    return 0;
}

int Replace(const EditOptions& o, const std::string& texture, const std::string& image) {
    DictionaryEdit edit = OpenForEdit(o);
    const Dictionary& d = edit.Current();
    // A number as list shows it, else a name (the first texture of that name).
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
    DecodeState picture;
    std::size_t replaced = 0;
    if (NewPicture(d, index, image, o, picture)) {
        edit.Replace(index, Levels(d, index, std::move(picture), o, {}));
        replaced = 1;
        std::cout << "replaced " << Label(d, index) << " from " << image << "\n";
    }
    Finish(edit, o, replaced);
    return 0;
}

} // namespace kelmora::cli
