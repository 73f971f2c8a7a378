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
#include "editing/put_back.h"
#include "editing/record_layout.h"
#include "editing/texture_import.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "export/unique_names.h"

namespace kelmora::cli {

namespace {

namespace fs = std::filesystem;

void Note(const std::string& line) { std::cerr << "kelmora-cli: " << line << "\n"; }


std::string Label(const Dictionary& d, std::size_t i) {
    return "texture " + std::to_string(i + 1) + " (" + ShownText(d.Entries()[i].Name) + ")";
}

ImportOptions OptionsOf(const EditOptions& o) { return {!o.NoBrighten, !o.NoDither, o.KeepPalette}; }

// The dictionary to change: walked whole, or the command ends.
DictionaryEdit OpenForEdit(const EditOptions& o) {
    DictionaryEdit edit(ReadAllBytes(FileSource(o.Dictionary)), !o.NoFilter);
    const Dictionary& d = edit.Current();
    if (!d.IsDictionary())
        throw KelmoraError(o.Dictionary + " is not a texture dictionary");
    if (!d.Complete())
        throw KelmoraError(o.Dictionary + ": the dictionary ends early (texture " +
                           std::to_string(d.Walk().Report.TextureNumber) + " runs past its end); nothing was changed");
    return edit;
}

PutBackOptions PutOptionsOf(const EditOptions& o) { return {!o.NoFilter, OptionsOf(o), o.Depth}; }

bool PutBack(DictionaryEdit& edit, std::size_t i, const std::string& image, const EditOptions& o,
             const std::vector<std::string>& mipFiles) {
    return PutImage(edit, i, ReadImage(image), image, PutOptionsOf(o), mipFiles);
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
    AddImage(edit, ReadImage(image), image, Utf8ToCp1252(name), Utf8ToCp1252(mask), levels, PutOptionsOf(o));
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
