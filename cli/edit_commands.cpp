#include "cli/edit_commands.h"
#include "base/paths.h"
#include "cli/cli_text.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>
#include <vector>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/ordered_pool.h"
#include "base/os_file.h"
#include "base/text.h"
#include "editing/dictionary_edit.h"
#include "editing/put_back.h"
#include "dictionary/record_layout.h"
#include "editing/texture_import.h"
#include "export/destination.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "export/unique_names.h"

namespace kelmora::cli {

void Note(const std::string& line) { std::cerr << "kelmora-cli: " << line << "\n"; }

namespace {

namespace fs = std::filesystem;



std::string Label(const Dictionary& d, std::size_t i) {
    return TextureLabel(i, ShownText(d.Entries()[i].Name));
}

ImportOptions OptionsOf(const EditOptions& o) { return {!o.NoBrighten, !o.NoDither, o.KeepPalette}; }

// Where the dictionary of an edit is: a file, or an entry of a game archive
// written ARCHIVE::NAME (the name with or without ".txd", any case).
struct Place {
    std::string File;  // the dictionary file, or the archive
    std::string Entry; // the entry's name as the table holds it; empty for a file
    bool InArchive() const { return !Entry.empty(); }
};

Place PlaceOf(const std::string& arg) {
    const std::size_t k = arg.find("::");
    if (k == std::string::npos)
        return {arg, ""};
    const std::string archive = arg.substr(0, k), wanted = arg.substr(k + 2);
    for (const ArchiveEntry& e : OpenGameArchive(archive).Entries)
        if (NamesEntry(e.Name, wanted))
            return {archive, e.Name};
    throw Failure(archive + " has no entry named " + EscapeControls(wanted));
}

std::vector<std::uint8_t> ReadPlace(const Place& p) {
    if (!p.InArchive())
        return ReadAllBytes(FileSource(p.File));
    const GameArchive a = OpenGameArchive(p.File);
    for (const ArchiveEntry& e : a.Entries)
        if (e.Name == p.Entry)
            return ReadAllBytes(RangeSource(std::make_shared<FileSource>(a.DataFile), e.Offset, e.Size));
    throw Failure(p.File + " has no entry named " + EscapeControls(p.Entry));
}

// The dictionary to change, walked whole, or the command ends; an archive that
// will be written into is checked first.
DictionaryEdit OpenForEdit(const EditOptions& o, Place& place) {
    place = PlaceOf(o.Dictionary);
    if (place.InArchive() && o.Output.empty())
        ArchiveEdit check(place.File);
    std::vector<std::uint8_t> bytes = ReadPlace(place);
    CheckEditable(bytes, o.Dictionary);
    DictionaryEdit edit(std::move(bytes), !o.NoFilter);
    edit.AllowDuplicateNames(o.AllowDuplicate);
    return edit;
}

PutBackOptions PutOptionsOf(const EditOptions& o) { return {!o.NoFilter, OptionsOf(o), o.Depth}; }

// A refusal as one line that names the dictionary, the texture and the image:
// "DICT: texture 6 (name): IMAGE: reason" (the image once, where the reason
// does not start with it already).
[[noreturn]] void Refuse(const std::string& dictionary, const std::string& texture, const std::string& image,
                         const std::string& reason) {
    std::string why = reason;
    // The engine's own texts may name the texture already.
    const std::string textureColon = texture + ": ";
    if (why.compare(0, textureColon.size(), textureColon) == 0)
        why.erase(0, textureColon.size());
    const bool namesImage = !image.empty() && why.compare(0, image.size(), image) == 0;
    throw Failure(dictionary + ": " + texture + ": " + (image.empty() || namesImage ? "" : image + ": ") + why);
}

// What a put-back did, said after the dictionary is written.
void Report(std::vector<std::string>& lines, const std::string& label, const std::string& image,
            const PutOutcome& r) {
    if (!r.Changed)
        return;
    lines.push_back("replaced " + label + " from " + EscapeControls(image));
    if (r.Reshaped()) {
        std::string change = std::to_string(r.Before.Width) + " x " + std::to_string(r.Before.Height) + " -> " +
                             std::to_string(r.After.Width) + " x " + std::to_string(r.After.Height);
        if (r.Before.Depth != r.After.Depth)
            change += ", " + std::to_string(r.Before.Depth) + " -> " + std::to_string(r.After.Depth) + " bits";
        change += ", " + std::to_string(r.After.Levels) + (r.After.Levels == 1 ? " level" : " levels");
        lines.push_back(label + ": " + change);
    }
    if (r.Alpha == AlphaSource::Kept)
        lines.push_back(label + ": " + EscapeControls(image) + " has no alpha; the texture keeps its present alpha");
    else if (r.Alpha == AlphaSource::Opaque)
        lines.push_back(label + ": " + EscapeControls(image) + " has no alpha; the texture of its new size is opaque");
}

// The image of a texture, with the alpha of its grey companion where it has none
// of its own and the companion is there.
InputImage ImageWithCompanion(const std::string& image, const std::string& companion) {
    InputImage img = ReadImage(image);
    if (!img.HasAlpha && !companion.empty() && IsRegularFile(companion))
        img = WithAlphaFrom(img, ReadImage(companion), companion);
    return img;
}

bool PutBack(DictionaryEdit& edit, const std::string& dictionary, std::size_t i, const std::string& image,
             const std::string& companion, const EditOptions& o, const std::vector<std::string>& mipFiles,
             std::vector<std::string>& lines) {
    const std::string label = Label(edit.Current(), i);
    PutOutcome r;
    try {
        r = PutImage(edit, i, ImageWithCompanion(image, companion), image, PutOptionsOf(o), mipFiles);
    } catch (const std::runtime_error& e) {
        Refuse(dictionary, label, image, ErrorLine(e));
    }
    Report(lines, label, image, r);
    return r.Changed;
}

// Writes the dictionary (to -o, into its archive, or over its file), then says
// what was done. replaced: the count of pictures put back, or -1 for an edit of
// the list itself.
void Finish(const DictionaryEdit& edit, const EditOptions& o, const Place& place, long replaced,
            const std::vector<std::string>& lines) {
    const std::string target = o.Output.empty() ? o.Dictionary : o.Output;
    // With -o the dictionary is written whatever changed; over itself only when
    // something did.
    const bool write = edit.Changed() || !o.Output.empty();
    if (write) {
        edit.Verify();
        if (!o.Output.empty() || !place.InArchive()) {
            SaveDictionary(o.Output.empty() ? place.File : o.Output, edit.Bytes());
        } else {
            ArchiveEdit archive(place.File);
            archive.Put(place.Entry, edit.Bytes());
            archive.Commit();
        }
    }
    for (const std::string& line : lines)
        std::cout << line << "\n";
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

// A duplicate name with the way past it.
template <typename F>
void WithNameHint(F&& edit) {
    try {
        edit();
    } catch (const DuplicateNameError& e) {
        throw Failure(ErrorLine(e) + " (--allow-duplicate gives it all the same)");
    }
}

// Puts the images of dir (ending in a separator) back into the dictionary as
// import does; the count of textures replaced. Images that match nothing go to
// notes, for standard error.
std::size_t ImportFolder(DictionaryEdit& edit, const std::string& dictionary, const std::string& dir,
                         const EditOptions& o, std::vector<std::string>& lines, std::vector<std::string>& notes) {
    const Dictionary& d = edit.Current();
    const std::size_t count = d.Entries().size();
    // The names extract gives, format by format: the same claims in the same order,
    // so that repeated names find their "~2" files; alpha companions claim theirs.
    std::vector<std::string> chosen(count), companions(count);
    std::set<std::string> used;
    for (const OutputFormat& f : OutputFormats()) {
        RunNames names;
        for (std::size_t i = 0; i < count; ++i) {
            const TTexEntry& e = d.Entries()[i];
            const std::string main = names.Claim(dir, SafeFileName(Cp1252ToUtf8(e.Name)), std::string(f.Extension));
            const std::string alpha = names.Claim(dir, SafeFileName(Cp1252ToUtf8(e.AlphaName)), std::string(f.Extension));
            // Only the formats without alpha of their own have companions.
            if (f.TakesPicture)
                used.insert(alpha);
            if (chosen[i].empty() && IsRegularFile(main)) {
                chosen[i] = main;
                if (f.TakesPicture)
                    companions[i] = alpha;
            }
        }
    }
    std::size_t replaced = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (chosen[i].empty())
            continue;
        used.insert(chosen[i]);
        const std::string stem = dir + SafeFileName(Cp1252ToUtf8(d.Entries()[i].Name));
        const std::string alphaStem = dir + SafeFileName(Cp1252ToUtf8(d.Entries()[i].AlphaName));
        const std::string ext = PathToUtf8(PathFromUtf8(chosen[i]).extension());
        std::vector<std::string> mips(16);
        for (std::size_t n = 1; n < mips.size(); ++n) {
            const std::string m = stem + ".mip" + std::to_string(n) + ext;
            if (IsRegularFile(m)) {
                mips[n] = m;
                used.insert(m);
            }
            if (!companions[i].empty())
                used.insert(alphaStem + ".mip" + std::to_string(n) + ext);
        }
        if (PutBack(edit, dictionary, i, chosen[i], companions[i], o, mips, lines))
            ++replaced;
    }
    std::vector<std::string> unmatched;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(dir))) {
        const std::string path = dir + PathToUtf8(entry.path().filename());
        if (entry.is_regular_file() && IsImageName(path) && !used.count(path))
            unmatched.push_back(path);
    }
    std::sort(unmatched.begin(), unmatched.end());
    for (const std::string& path : unmatched)
        notes.push_back(EscapeControls(path) + " matches no texture; skipped");
    return replaced;
}

std::string WithSeparator(const std::string& folder) {
    return folder + (IsPathSeparator(folder.back()) ? "" : std::string(1, kPathSeparator));
}

// One dictionary of an archive or a folder put back from its folder, on any
// thread: what it became, and what is said of it, kept for the ordered writer.
struct PutBackResult {
    bool Changed = false;
    std::vector<std::uint8_t> Bytes;
    std::vector<std::string> Lines, Notes;
    std::size_t Replaced = 0;
    std::exception_ptr Error;
};

// bytes() reads the dictionary, label names it in lines; dir is its folder of images.
PutBackResult PutBackFolder(const std::string& label, const std::string& dir, const EditOptions& o,
                            const std::function<std::vector<std::uint8_t>()>& bytes) {
    PutBackResult done;
    try {
        if (!DirectoryExists(dir))
            return done;
        std::vector<std::uint8_t> read = bytes();
        CheckEditable(read, label);
        DictionaryEdit edit(std::move(read), !o.NoFilter);
        std::vector<std::string> own;
        done.Replaced = ImportFolder(edit, label, dir, o, own, done.Notes);
        if (!edit.Changed())
            return done;
        edit.Verify();
        done.Changed = true;
        done.Bytes = edit.Bytes();
        for (std::string& line : own)
            done.Lines.push_back(label + ": " + line);
    } catch (...) {
        done.Error = std::current_exception();
    }
    return done;
}

// "N texture(s) of M dictionaries replaced in/below WHERE." or "..., nothing written."
void SayPutBack(std::size_t textures, std::size_t dictionaries, const std::string& where) {
    std::cout << textures << " texture(s) of " << dictionaries << " dictionar" << (dictionaries == 1 ? "y" : "ies")
              << " replaced" << (dictionaries ? where : std::string(", nothing written")) << ".\n";
}

// import ARCHIVE FOLDER: the folder extract wrote for the archive holds a folder
// per dictionary (FOLDER/<archive>/<dictionary>/); only the dictionaries whose
// pictures changed are written back, in one edit of the archive.
int ImportArchive(const EditOptions& o, const std::string& folder) {
    if (!o.Output.empty())
        throw Failure("-o takes one dictionary; import into " + o.Dictionary + " writes the archive itself");
    ArchiveEdit archive(o.Dictionary);
    const GameArchive& a = archive.Archive();
    const std::string stem = PathToUtf8(PathFromUtf8(FileNameOf(o.Dictionary)).stem());
    const std::string archiveDir = ComposeDestDir(folder, true, SafeFileName(stem));
    if (!DirectoryExists(archiveDir))
        throw Failure(folder + " holds no folder " + SafeFileName(stem) + " of the archive's dictionaries");
    // The data file is read while the dictionaries are put back, and closed before
    // the archive is written (Windows refuses a writer beside a reader).
    auto data = std::make_shared<FileSource>(a.DataFile);
    // Each dictionary's folder is put back on any core; the results are taken,
    // said and written in the archive's order, as one thread would.
    const std::vector<const ArchiveEntry*> dicts = a.Dictionaries();
    OrderedPool<PutBackResult> pool(dicts.size(), o.Jobs, [&](std::size_t k) {
        const ArchiveEntry* e = dicts[k];
        return PutBackFolder(o.Dictionary + "::" + ShownText(e->Name),
                           ComposeDestDir(archiveDir, true, SafeFileName(Cp1252ToUtf8(EntryStem(*e)))), o,
                           [&] { return ReadAllBytes(RangeSource(data, e->Offset, e->Size)); });
    });
    std::vector<std::string> lines;
    std::size_t dictionaries = 0, textures = 0;
    for (std::size_t k = 0; k < dicts.size(); ++k) {
        PutBackResult done = pool.Take(k);
        if (k + 1 == dicts.size())
            data.reset(); // the last reader of it has finished
        for (const std::string& note : done.Notes)
            Note(note);
        if (done.Error)
            std::rethrow_exception(done.Error);
        if (!done.Changed)
            continue;
        archive.Put(dicts[k]->Name, std::move(done.Bytes));
        ++dictionaries;
        textures += done.Replaced;
        lines.insert(lines.end(), done.Lines.begin(), done.Lines.end());
    }
    archive.Commit();
    for (const std::string& line : lines)
        std::cout << line << "\n";
    SayPutBack(textures, dictionaries, " in " + o.Dictionary);
    return 0;
}

// import DIR FOLDER: every dictionary below DIR takes its pictures from the folder
// extract -o FOLDER made for it (FOLDER/<its place below DIR>/<its name>/). The
// dictionaries are put back on any core and written in name order, each whole
// or not at all; the first that fails ends the run, those before it stay written.
int ImportTree(const EditOptions& o, const std::string& folder) {
    if (!o.Output.empty())
        throw Failure("-o takes one dictionary; import into the folder " + o.Dictionary +
                           " writes its dictionaries themselves");
    std::vector<std::string> files;
    ForEachDictionaryBelow(o.Dictionary, [&](const std::string& file) { files.push_back(file); });
    OrderedPool<PutBackResult> pool(files.size(), o.Jobs, [&](std::size_t k) {
        const std::string& file = files[k];
        const fs::path rel = PathFromUtf8(file).parent_path().lexically_relative(PathFromUtf8(o.Dictionary));
        const std::string base = PathToUtf8((PathFromUtf8(folder) / rel).lexically_normal());
        return PutBackFolder(file, ComposeDestDir(base, true, SubDirNameOf(file)), o,
                           [&] { return ReadAllBytes(FileSource(file)); });
    });
    std::size_t dictionaries = 0, textures = 0;
    for (std::size_t k = 0; k < files.size(); ++k) {
        PutBackResult done = pool.Take(k);
        for (const std::string& note : done.Notes)
            Note(note);
        if (done.Error)
            std::rethrow_exception(done.Error);
        if (!done.Changed)
            continue;
        SaveDictionary(files[k], done.Bytes);
        ++dictionaries;
        textures += done.Replaced;
        for (const std::string& line : done.Lines)
            std::cout << line << "\n";
    }
    SayPutBack(textures, dictionaries, " below " + o.Dictionary);
    return 0;
}

} // namespace

int Import(const EditOptions& o, const std::string& folder) {
    if (!DirectoryExists(folder))
        throw Failure(folder + " is not a folder");
    if (DirectoryExists(o.Dictionary))
        return ImportTree(o, folder);
    const bool txd = SameNameIgnoringCase(PathToUtf8(PathFromUtf8(o.Dictionary).extension()), ".txd");
    if (o.Dictionary.find("::") == std::string::npos && !txd && IsGameArchive(o.Dictionary))
        return ImportArchive(o, folder);
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    std::vector<std::string> lines, notes;
    const std::size_t replaced = ImportFolder(edit, o.Dictionary, WithSeparator(folder), o, lines, notes);
    for (const std::string& note : notes)
        Note(note);
    Finish(edit, o, place, static_cast<long>(replaced), lines);
    return 0;
}

std::size_t FindTexture(const Dictionary& d, const std::string& file, const std::string& texture) {
    std::size_t index = d.Entries().size();
    if (!texture.empty() && texture.find_first_not_of("0123456789") == std::string::npos && texture.size() < 10) {
        const std::size_t n = std::stoul(texture);
        if (n == 0 || n > d.Entries().size())
            throw Failure(file + " has no texture " + texture + " (it lists " +
                               std::to_string(d.Entries().size()) + ")");
        index = n - 1;
    } else {
        for (std::size_t i = 0; i < d.Entries().size() && index == d.Entries().size(); ++i)
            if (Cp1252ToUtf8(d.Entries()[i].Name) == texture)
                index = i;
        if (index == d.Entries().size())
            throw Failure(file + " has no texture named " + EscapeControls(texture));
    }
    return index;
}

int Replace(const EditOptions& o, const std::string& texture, const std::string& image) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::size_t index = FindTexture(edit.Current(), o.Dictionary, texture);
    std::vector<std::string> lines;
    const bool replaced = PutBack(edit, o.Dictionary, index, image, "", o, {}, lines);
    Finish(edit, o, place, replaced ? 1 : 0, lines);
    return 0;
}

int Add(const EditOptions& o, const std::string& image, const std::string& name, const std::string& mask,
        std::uint32_t levels) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::string label = "new texture (" + EscapeControls(name) + ")";
    try {
        WithNameHint([&] {
            AddImage(edit, ReadImage(image), image, Utf8ToCp1252(name), Utf8ToCp1252(mask), levels, PutOptionsOf(o));
        });
    } catch (const std::runtime_error& e) {
        // Image failures name the image themselves; the others are about the name or levels.
        Refuse(o.Dictionary, label, "", ErrorLine(e));
    }
    const std::string line = "added " + Label(edit.Current(), edit.Current().Entries().size() - 1) + " from " +
                             EscapeControls(image);
    Finish(edit, o, place, -1, {line});
    return 0;
}

int Remove(const EditOptions& o, const std::string& texture) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::size_t index = FindTexture(edit.Current(), o.Dictionary, texture);
    const std::string label = Label(edit.Current(), index);
    try {
        edit.Remove(index);
    } catch (const std::runtime_error& e) {
        Refuse(o.Dictionary, label, "", ErrorLine(e));
    }
    Finish(edit, o, place, -1, {"removed " + label});
    return 0;
}

int Rename(const EditOptions& o, const std::string& texture, const std::string& name, const std::string* mask) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::size_t index = FindTexture(edit.Current(), o.Dictionary, texture);
    const std::string label = Label(edit.Current(), index);
    try {
        WithNameHint([&] {
            edit.Rename(index, Utf8ToCp1252(name), mask ? Utf8ToCp1252(*mask) : edit.Current().Entries()[index].Mask);
        });
    } catch (const std::runtime_error& e) {
        Refuse(o.Dictionary, label, "", ErrorLine(e));
    }
    Finish(edit, o, place, -1, {"renamed " + label + " to " + EscapeControls(name)});
    return 0;
}

} // namespace kelmora::cli
