#include "cli/archive_commands.h"

#include "cli/cli_text.h"
#include "base/paths.h"

#include <filesystem>
#include <iostream>
#include <memory>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/atomic_output.h"
#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "base/text.h"
#include "cli/edit_commands.h"
#include "cli/progress.h"
#include "dictionary/dictionary_walk.h"
#include "export/destination.h"
#include "export/safe_name.h"
#include "export/unique_names.h"
#include "words/engine_words.h"

namespace kelmora::cli {

namespace {

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

int Unpack(const std::string& path, const std::vector<std::string>& names, const std::string& out) {
    const GameArchive a = OpenGameArchive(path);
    for (const ArchiveProblem& problem : a.Problems)
        Note(path + ": " + EscapeControls(ArchiveProblemText(problem)));
    std::vector<const ArchiveEntry*> chosen;
    int status = a.Problems.empty() ? 0 : 1;
    if (names.empty()) {
        chosen = a.Dictionaries();
    } else {
        for (const std::string& wanted : names) {
            const ArchiveEntry* found = nullptr;
            for (const ArchiveEntry& e : a.Entries)
                if (!found && NamesEntry(e.Name, wanted))
                    found = &e;
            if (!found) {
                Note(path + " has no entry named " + EscapeControls(wanted));
                status = 1;
                continue;
            }
            chosen.push_back(found);
        }
    }
    const std::string dir = ComposeDestDir(out.empty() ? "." : out, false, "");
    CreateDirectoryChain(dir);
    RemoveStaleTemporaries(dir);
    const auto data = std::make_shared<FileSource>(a.DataFile);
    // Names are made safe as extract makes them; two entries never share a file.
    RunNames taken;
    std::size_t written = 0;
    for (const ArchiveEntry* e : chosen) {
        const std::string name = SafeFileName(Cp1252ToUtf8(e->Name));
        const std::size_t dot = name.rfind('.');
        const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
        const std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
        const std::string file = taken.Claim(dir, stem, extension);
        const std::vector<std::uint8_t> bytes = ReadAllBytes(RangeSource(data, e->Offset, e->Size));
        AtomicOutput output(file);
        output.Write(bytes.data(), bytes.size());
        output.Commit();
        ++written;
        if (file != dir + name)
            Note(path + ": entry " + std::to_string(e->Number) + " (" + ShownText(e->Name) + ") written as " + file +
                 " since " + dir + name + " is taken in this run");
    }
    std::cout << Plural(written, "entry", "entries") << " of " << path << " unpacked to " << dir << ".\n";
    return status;
}

namespace {

// A new, empty archive at path, refused where any of its files exists: version 1
// (a .dir table and its .img) for a .dir name, else version 2. Returns its files.
std::vector<std::string> CreateArchive(const std::string& path) {
    const std::filesystem::path p = PathFromUtf8(path);
    const bool version1 = SameNameIgnoringCase(PathToUtf8(p.extension()), ".dir");
    std::vector<std::string> files = {path};
    if (version1) {
        std::filesystem::path img = p;
        files.push_back(PathToUtf8(img.replace_extension(".img")));
    }
    for (const std::string& f : files)
        if (FileExists(f) || DirectoryExists(f))
            throw KelmoraError(ErrorCode::ArchiveExistsAlready, {.File = f});
    for (const std::string& f : files) {
        AtomicOutput out(f);
        if (!version1) {
            static const std::uint8_t empty[8] = {'V', 'E', 'R', '2', 0, 0, 0, 0};
            out.Write(empty, sizeof empty);
        }
        out.Commit();
    }
    return files;
}

int PackInto(const std::string& path, const PackOptions& o) {
    ArchiveEdit edit(path);
    for (const std::string& file : o.Files) {
        const std::string name = FileNameOf(file);
        try {
            CheckEntryName(name);
        } catch (const KelmoraError& e) {
            throw e.Within({file});
        }
        edit.Put(name, ReadAllBytes(FileSource(file)));
    }
    for (const std::string& name : o.Remove)
        edit.Remove(name);
    for (const auto& [from, to] : o.Rename)
        edit.Rename(from, to);
    edit.Commit();
    // Said once the archive holds it.
    for (const ArchiveChange& c : edit.Changes()) {
        switch (c.Kind) {
        case ArchiveChangeKind::Replaced:
            std::cout << "replaced " << ShownText(c.Name) << " (" << c.Bytes << " bytes)\n";
            break;
        case ArchiveChangeKind::Added:
            std::cout << "added " << ShownText(c.Name) << " (" << c.Bytes << " bytes)\n";
            break;
        case ArchiveChangeKind::Removed:
            std::cout << "removed " << ShownText(c.Name) << "\n";
            break;
        case ArchiveChangeKind::Renamed:
            std::cout << "renamed " << ShownText(c.Name) << " to " << ShownText(c.NewName) << "\n";
            break;
        }
    }
    if (edit.Changes().empty())
        std::cout << "nothing to change in " << path << "; nothing written.\n";
    else
        std::cout << Plural(edit.Changes().size(), "change", "changes") << " written to " << path << ".\n";
    return 0;
}

} // namespace

int Pack(const std::string& path, const PackOptions& o) {
    // A new archive is whole or absent: what --create made goes when the edit fails.
    std::vector<std::string> created;
    if (o.Create)
        created = CreateArchive(path);
    try {
        return PackInto(path, o);
    } catch (...) {
        for (const std::string& f : created)
            RemoveFile(f);
        throw;
    }
}

int Rebuild(const std::string& path) {
    const GameArchive before = OpenGameArchive(path);
    for (const ArchiveProblem& problem : before.Problems)
        Note(path + ": " + EscapeControls(ArchiveProblemText(problem)));
    TerminalProgress progress(true);
    const RebuildOutcome r = RebuildArchive(path, [&](std::size_t done, std::size_t steps) {
        progress.Show("step " + std::to_string(done) + " of " + std::to_string(steps));
    });
    progress.Clear();
    std::cout << path << " rebuilt: " << Plural(r.Entries, "entry", "entries") << ", " << r.After << " bytes, "
              << (r.Before > r.After ? r.Before - r.After : 0) << " bytes freed.\n";
    return 0;
}

} // namespace kelmora::cli
