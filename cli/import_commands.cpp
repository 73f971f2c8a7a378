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
#include "editing/folder_import.h"
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

// What a folder's put-back did, as lines for standard output and notes for
// standard error (the images that match no texture).
std::size_t Said(const FolderImport& done, std::vector<std::string>& lines, std::vector<std::string>& notes) {
    for (const FolderPut& put : done.Puts)
        Report(lines, put.Label, put.Image, put.Outcome);
    for (const std::string& path : done.Unmatched)
        notes.push_back(EscapeControls(path) + " matches no texture; skipped");
    return done.Replaced();
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
    PutBackResult said;
    FolderPutBack done;
    try {
        done = kelmora::PutBackFolder(label, dir, PutOptionsOf(o), bytes);
    } catch (...) {
        done.Error = std::current_exception();
    }
    std::vector<std::string> own;
    said.Replaced = Said(done.Import, own, said.Notes);
    said.Error = done.Error;
    said.Changed = done.Changed;
    said.Bytes = std::move(done.Bytes);
    for (std::string& line : own)
        said.Lines.push_back(label + ": " + line);
    return said;
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
    // The folder extract -o FOLDER wrote (FOLDER/<archive>/), or that one itself.
    const std::string archiveDir = ArchiveFolderOf(o.Dictionary, folder);
    // The data file is read while the dictionaries are put back, and closed before
    // the archive is written (Windows refuses a writer beside a reader).
    auto data = std::make_shared<FileSource>(a.DataFile);
    // Each dictionary's folder is put back on any core; the results are taken,
    // said and written in the archive's order, as one thread would.
    const std::vector<const ArchiveEntry*> dicts = a.Dictionaries();
    OrderedPool<PutBackResult> pool(dicts.size(), o.Jobs, [&](std::size_t k) {
        const ArchiveEntry* e = dicts[k];
        return PutBackFolder(o.Dictionary + "::" + ShownText(e->Name), DictionaryFolderOf(archiveDir, *e), o,
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
    const std::size_t replaced =
        Said(ImportFolder(edit, o.Dictionary, WithSeparator(folder), PutOptionsOf(o)), lines, notes);
    for (const std::string& note : notes)
        Note(note);
    FinishEdit(edit, o, place, static_cast<long>(replaced), lines);
    return 0;
}

} // namespace kelmora::cli
