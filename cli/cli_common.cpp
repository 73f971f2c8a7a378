#include "cli/cli_common.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "archive/game_archive.h"
#include "base/bytes.h"
#include "base/os_file.h"
#include "base/paths.h"
#include "base/text.h"
#include "cli/cli_text.h"
#include "cli/progress.h"
#include "export/output_formats.h"
#include "words/engine_words.h"

namespace kelmora::cli {

namespace {

std::string ArchiveLabel(const GameArchive& a, const ArchiveEntry& e) { return a.DataFile + ":" + ForTerminal(e.Name); }

Target EntryOf(const GameArchive& archive, const std::shared_ptr<const ByteSource>& data, const ArchiveEntry& e) {
    Target t;
    t.Label = ArchiveLabel(archive, e);
    t.File = archive.DataFile;
    t.ArchiveName = e.Name;
    t.Size = e.Size;
    t.Shared = std::make_shared<RangeSource>(data, e.Offset, e.Size);
    return t;
}

} // namespace

std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
extern "C" void OnInterrupt(int) { Interrupted = true; }

std::string ForTerminal(const std::string& cp1252) { return ShownText(cp1252); }

void Fail(const std::string& text) {
    ClearProgressLine();
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            while (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n'))
                ++i;
            line += ' ';
        } else {
            line += text[i];
        }
    }
    std::cerr << "kelmora-cli: " << line << "\n";
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string FormatNames() {
    std::string names;
    for (const OutputFormat& f : OutputFormats())
        names += (names.empty() ? "" : "|") + std::string(f.Name);
    return names;
}


void ForEachArchiveTarget(const std::string& path, const std::vector<std::string>& onlyDicts, bool report,
                          bool& clean, const std::function<void(Target&&)>& visit,
                          const std::function<void()>& afterVisits) {
    const GameArchive archive = OpenGameArchive(path);
    for (const ArchiveProblem& problem : archive.Problems) {
        if (report)
            Fail(path + ": " + EscapeControls(ArchiveProblemText(problem)));
        clean = false;
    }
    const auto data = std::make_shared<FileSource>(archive.DataFile);
    std::vector<bool> matched(onlyDicts.size(), false);
    for (const ArchiveEntry* e : archive.Dictionaries()) {
        bool wanted = onlyDicts.empty();
        for (std::size_t i = 0; i < onlyDicts.size(); ++i)
            if (NamesEntry(e->Name, onlyDicts[i]))
                wanted = matched[i] = true;
        if (!wanted)
            continue;
        visit(EntryOf(archive, data, *e));
    }
    if (afterVisits)
        afterVisits();
    for (std::size_t i = 0; i < onlyDicts.size(); ++i) {
        if (!matched[i]) {
            if (report)
                Fail(path + " has no dictionary named " + onlyDicts[i]);
            clean = false;
        }
    }
}

Target FileTarget(const std::string& file) {
    Target t;
    t.Label = t.File = file;
    return t;
}

Dictionary OpenTarget(const Target& t) {
    Dictionary d = t.Shared ? Dictionary(t.Shared) : Dictionary::OpenFile(t.File);
    if (!d.IsDictionary())
        throw KelmoraError(ErrorCode::NotADictionary, {.File = t.Label});
    if (d.Source().Size() < kDictionaryHeaderBytes)
        throw KelmoraError(ErrorCode::DictionaryTooShort, {.File = t.Label, .Number = d.Source().Size(), .Detail = 1});
    return d;
}

std::span<const TTexEntry> WholeEntries(const Dictionary& d) {
    const std::span<const TTexEntry> all = d.Entries();
    return d.Complete() || all.empty() ? all : all.first(all.size() - 1);
}

Target EntryTarget(const std::string& arg) {
    const std::size_t k = arg.find("::");
    const std::string path = arg.substr(0, k), wanted = arg.substr(k + 2);
    const GameArchive archive = OpenGameArchive(path);
    for (const ArchiveEntry& e : archive.Entries) {
        if (NamesEntry(e.Name, wanted)) {
            Target t = EntryOf(archive, std::make_shared<FileSource>(archive.DataFile), e);
            t.ByName = true;
            return t;
        }
    }
    throw KelmoraError(ErrorCode::NoSuchEntry, {.File = path, .Name = wanted});
}

InputKind KindOf(const std::string& arg) {
    if (DirectoryExists(arg))
        return InputKind::Directory;
    // ARCHIVE::NAME, unless a file is really named so.
    if (arg.find("::") != std::string::npos && !FileExists(arg))
        return InputKind::ArchiveEntry;
    // A ".txd" is a dictionary whatever its bytes say; anything else may be an archive.
    if (Lower(PathToUtf8(PathFromUtf8(arg).extension())) != ".txd" && IsGameArchive(arg))
        return InputKind::Archive;
    return InputKind::Dictionary;
}

std::string TextureLabel(const Dictionary& d, std::size_t entry) {
    return kelmora::TextureLabel(entry, ForTerminal(d.Walk().Entries[entry].Name));
}

} // namespace kelmora::cli
