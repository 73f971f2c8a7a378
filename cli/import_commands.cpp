#include "cli/edit_commands.h"
#include "cli/edit_support.h"
#include "cli/progress.h"
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

namespace {

namespace fs = std::filesystem;

bool IsImageName(const std::string& name) {
    const std::string ext = PathToUtf8(PathFromUtf8(name).extension());
    return !ext.empty() && FindFormatByName(ext.substr(1)) != nullptr;
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
        throw KelmoraError(ErrorCode::OutputNotForArchive, {.File = o.Dictionary});
    ArchiveEdit archive(o.Dictionary);
    const GameArchive& a = archive.Archive();
    const std::string stem = PathToUtf8(PathFromUtf8(FileNameOf(o.Dictionary)).stem());
    // The folder extract -o FOLDER wrote (FOLDER/<archive>/), or that one itself.
    std::string archiveDir = ComposeDestDir(folder, true, SafeFileName(stem));
    if (!DirectoryExists(archiveDir)) {
        std::string given = folder;
        while (given.size() > 1 && IsPathSeparator(given.back()))
            given.pop_back();
        if (!SameNameIgnoringCase(FileNameOf(given), SafeFileName(stem)))
            throw KelmoraError(ErrorCode::NoArchiveFolder, {.File = folder, .Name = SafeFileName(stem)});
        archiveDir = WithSeparator(folder);
    }
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
    TerminalProgress progress(true);
    for (std::size_t k = 0; k < dicts.size(); ++k) {
        progress.Show("dictionary " + std::to_string(k + 1) + " of " + std::to_string(dicts.size()) + ", " +
                      ShownText(dicts[k]->Name));
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
    progress.Show("writing " + o.Dictionary);
    archive.Commit();
    progress.Clear();
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
        throw KelmoraError(ErrorCode::OutputNotForFolder, {.File = o.Dictionary});
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
    TerminalProgress progress(true);
    for (std::size_t k = 0; k < files.size(); ++k) {
        progress.Show("dictionary " + std::to_string(k + 1) + " of " + std::to_string(files.size()) + ", " +
                      FileNameOf(files[k]));
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
        ClearProgressForOutput();
        for (const std::string& line : done.Lines)
            std::cout << line << "\n";
    }
    SayPutBack(textures, dictionaries, " below " + o.Dictionary);
    return 0;
}

} // namespace

int Import(const EditOptions& o, const std::string& folder) {
    if (!DirectoryExists(folder))
        throw KelmoraError(ErrorCode::NotAFolder, {.File = folder});
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
    FinishEdit(edit, o, place, static_cast<long>(replaced), lines);
    return 0;
}

} // namespace kelmora::cli
