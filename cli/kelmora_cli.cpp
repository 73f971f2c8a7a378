// kelmora-cli: the dictionary engine for scripts and batch work.
#include <algorithm>
#include <csignal>
#include <new>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <span>
#include <sstream>
#include <unordered_set>
#include <utility>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

#include "archive/archive_edit.h"
#include "base/paths.h"
#include "archive/game_archive.h"
#include "base/atomic_output.h"
#include "base/byte_reader.h"
#include "base/bytes.h"
#include "base/file_identity.h"
#include "base/ordered_pool.h"
#include "base/version.h"
#include "cli/archive_commands.h"
#include "cli/cli_text.h"
#include "cli/edit_commands.h"
#include "dictionary/dictionary.h"
#include "dictionary/colour_rules.h"
#include "dictionary/dictionary_walk.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "dictionary/texture_codec.h"
#include "base/text.h"
#include "export/destination.h"
#include "export/export_run.h"
#include "export/image_writers.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "shell/file_type_registration.h"
#include "words/engine_words.h"

namespace {

using namespace kelmora;
using kelmora::cli::DirectoryFailure;
using kelmora::cli::WalkFailure;
using kelmora::cli::ErrorLine;
using kelmora::cli::Failure;
namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

// Exit statuses.
constexpr int kOk = 0, kFailed = 1, kUsage = 2;

// A dictionary text (Windows-1252) for the terminal.
std::string ForTerminal(const std::string& cp1252) { return ShownText(cp1252); }

// One error line; text is UTF-8 and may hold line breaks, which become blanks.
void Fail(const std::string& text) {
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

// Set by Ctrl+C: the run stops after the file it is writing.
volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) { interrupted = 1; }

// Standard output that cannot take what was printed is a failure, not a success.
int Finish(int status) {
    std::cout.flush();
    if (!std::cout) {
        Fail("cannot write to standard output");
        return kFailed;
    }
    return status;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// "bmp|jpg|tga|png", from the table of formats.
std::string FormatNames() {
    std::string names;
    for (const OutputFormat& f : OutputFormats())
        names += (names.empty() ? "" : "|") + std::string(f.Name);
    return names;
}


// One dictionary to work on: a file of its own, or an entry of a game archive.
struct Target {
    std::string Label;          // for messages: the file, or "ARCHIVE:NAME"
    std::string File;           // the file the bytes are in
    std::string ArchiveName;    // the entry's name, for dictionaries inside an archive
    std::uint64_t Size = 0;     // the entry's size in the archive
    std::shared_ptr<const ByteSource> Shared; // the archive's data, opened once
    std::string Dest;           // extract: where its files go
    std::string Footer;         // list: a line said after an archive's dictionaries, and nothing else
    bool InArchive() const { return !ArchiveName.empty(); }
};

std::string ArchiveLabel(const GameArchive& a, const ArchiveEntry& e) { return a.DataFile + ":" + ForTerminal(e.Name); }

// Calls visit for the dictionaries of an archive argument, its data file opened
// once for all of them. With report, what cannot be read of the archive is said;
// onlyDicts picks dictionaries by name, and a name that matches none is an error.
void ForEachArchiveTarget(const std::string& path, const std::vector<std::string>& onlyDicts, bool report,
                          bool& clean, const std::function<void(Target&&)>& visit,
                          const std::function<void()>& afterVisits = {}) {
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
        Target t;
        t.Label = ArchiveLabel(archive, *e);
        t.File = archive.DataFile;
        t.ArchiveName = e->Name;
        t.Size = e->Size;
        t.Shared = std::make_shared<RangeSource>(data, e->Offset, e->Size);
        visit(std::move(t));
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

// The dictionary of a target: the archive's shared bytes, or its file opened now.
Dictionary OpenTarget(const Target& t) {
    Dictionary d = t.Shared ? Dictionary(t.Shared) : Dictionary::OpenFile(t.File);
    if (!d.IsDictionary())
        throw KelmoraError(ErrorCode::NotADictionary, {.File = t.Label});
    if (d.Source().Size() < kDictionaryHeaderBytes)
        throw Failure(t.Label + " is too short to be a texture dictionary (" +
                           std::to_string(d.Source().Size()) + " bytes)");
    return d;
}

// The textures to list: those whose records are whole. The record a walk stopped
// at is named in its error line instead.
std::span<const TTexEntry> WholeEntries(const Dictionary& d) {
    const std::span<const TTexEntry> all = d.Entries();
    return d.Complete() || all.empty() ? all : all.first(all.size() - 1);
}

// What an argument holds: a directory's dictionaries, an archive's, or itself.
enum class InputKind { Directory, Archive, Dictionary };
InputKind KindOf(const std::string& arg) {
    if (DirectoryExists(arg))
        return InputKind::Directory;
    // A ".txd" is a dictionary whatever its bytes say; anything else may be an archive.
    if (Lower(PathToUtf8(PathFromUtf8(arg).extension())) != ".txd" && IsGameArchive(arg))
        return InputKind::Archive;
    return InputKind::Dictionary;
}

// One texture as list --json and find --json give it.
json JsonTexture(const Dictionary& d, std::size_t i) {
    const TTexEntry& e = d.Entries()[i];
    return {{"number", i + 1},
            {"name", Cp1252ToUtf8(e.Name)},
            {"mask", Cp1252ToUtf8(e.Mask)},
            {"platform", PlatformKey(e.Platform)},
            {"format", Cp1252ToUtf8(e.Format)},
            {"width", e.Width},
            {"height", e.Height},
            {"depth", e.Depth},
            {"levels", CodecOf(e).StoredLevels(d.Source(), e)},
            {"dataOffset", e.DataOffset},
            {"caption", Cp1252ToUtf8(e.Caption)}};
}

// One dictionary as a JSON object.
json JsonDictionary(const Target& t, const Dictionary* d, const std::string& error) {
    json j;
    j["path"] = t.File;
    if (t.InArchive()) {
        j["archive"] = t.File;
        j["name"] = Cp1252ToUtf8(t.ArchiveName);
        j["size"] = t.Size;
    }
    j["count"] = d ? d->Walk().Count : 0;
    j["complete"] = d && d->Complete() && error.empty();
    if (!error.empty())
        j["error"] = error;
    json textures = json::array();
    if (d) {
        for (std::size_t i = 0; i < WholeEntries(*d).size(); ++i)
            textures.push_back(JsonTexture(*d, i));
    }
    j["textures"] = std::move(textures);
    return j;
}

struct ListOptions {
    std::vector<std::string> files;
    bool json = false, all = false;
};

int List(const ListOptions& o) {
    std::vector<Target> targets;
    bool clean = true;
    for (const std::string& arg : o.files) {
        switch (KindOf(arg)) {
        case InputKind::Directory:
            ForEachDictionaryBelow(arg, [&](const std::string& f) { targets.push_back(FileTarget(f)); });
            break;
        case InputKind::Archive:
            try {
                ForEachArchiveTarget(arg, {}, true, clean, [&](Target&& t) { targets.push_back(std::move(t)); });
                // What a rebuild would give back, after the archive's dictionaries.
                Target footer;
                footer.Footer = "free: " + std::to_string(FreeBytes(OpenGameArchive(arg))) +
                                " bytes that a rebuild recovers";
                targets.push_back(std::move(footer));
            } catch (const std::runtime_error& e) {
                Fail(ErrorLine(e));
                clean = false;
            }
            break;
        case InputKind::Dictionary:
            targets.push_back(FileTarget(arg));
            break;
        }
    }

    int status = clean ? kOk : kFailed;
    const auto dictionaries = std::count_if(targets.begin(), targets.end(), [](const Target& t) { return t.Footer.empty(); });
    json all = json::array();
    bool first = true;
    for (const Target& t : targets) {
        if (!t.Footer.empty()) {
            if (!o.json)
                std::cout << t.Footer << "\n";
            continue;
        }
        std::optional<Dictionary> d;
        std::string error;
        try {
            d.emplace(OpenTarget(t));
            if (!d->Complete())
                error = WalkFailure(t.Label, d->Walk().Report);
        } catch (const std::runtime_error& e) {
            d.reset();
            error = ErrorLine(e);
        }
        if (!error.empty())
            status = kFailed;
        if (o.json) {
            all.push_back(JsonDictionary(t, d ? &*d : nullptr, error));
            continue;
        }
        if (t.InArchive() && !o.all) {
            std::cout << ForTerminal(t.ArchiveName) << "  " << t.Size << " bytes";
            if (d && error.empty())
                std::cout << ", " << d->Walk().Count << " texture(s)";
            std::cout << "\n";
            if (!error.empty())
                Fail(error);
            continue;
        }
        if (dictionaries > 1)
            std::cout << (first ? "" : "\n") << t.Label << ":\n";
        first = false;
        if (d)
            for (const TTexEntry& e : WholeEntries(*d))
                std::cout << ForTerminal(e.Caption) << "\n";
        std::cout.flush();
        if (!error.empty())
            Fail(error);
        else if (d && d->Walk().End == WalkEnd::Empty)
            Fail(FileNameOf(t.Label) + " is empty!");
    }
    if (o.json)
        std::cout << json{{"dictionaries", std::move(all)}}.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return status;
}

// "1,3,5-9" as list lines counted from 1.
bool ParseOnly(const std::string& text, std::set<std::size_t>& lines) {
    std::stringstream ss(text);
    std::string part;
    while (std::getline(ss, part, ',')) {
        std::size_t dash = part.find('-');
        try {
            std::size_t used = 0;
            if (dash == std::string::npos) {
                std::size_t v = std::stoul(part, &used);
                if (used != part.size() || v == 0)
                    return false;
                lines.insert(v);
            } else {
                std::string a = part.substr(0, dash), b = part.substr(dash + 1);
                std::size_t ua = 0, ub = 0;
                std::size_t from = std::stoul(a, &ua), to = std::stoul(b, &ub);
                if (ua != a.size() || ub != b.size() || from == 0 || to < from || to - from > 65535)
                    return false;
                for (std::size_t v = from; v <= to; ++v)
                    lines.insert(v);
            }
        } catch (const std::exception&) {
            return false;
        }
    }
    return !lines.empty();
}

struct ExtractOptions {
    std::vector<std::string> files;
    std::string out;
    std::string format = "bmp";
    bool noAlphas = false, noOverwrite = false, noFilter = false, noBrighten = false, keepGoing = false;
    bool levels = false, quiet = false;
    std::size_t jobs = 0; // 0: every core
    std::string only;
    std::set<std::size_t> onlyLines;
    std::vector<std::string> onlyDicts;
};

// The dialog's default destination with the sub directory box checked.
std::string DefaultDestination(const std::string& file) {
    std::string dir = DirectoryPartOf(file);
    return ComposeDestDir(dir.empty() ? "." : dir, true, SubDirNameOf(file));
}

// Calls visit for the dictionaries of the batch, in order, with their
// destinations: a group for each directory, archive or dictionary argument, so
// that what cannot be read of an argument is said before or after its group as
// it comes. A whole game is walked twice, once for its inputs and once for the
// export; only one argument's targets (names and sizes) are kept at a time.
void ForEachBatchTarget(const ExtractOptions& o, bool report, bool& clean,
                        const std::function<void(std::vector<Target>&&)>& visit) {
    const bool several = o.files.size() > 1;
    // Dictionaries named one after another make one group.
    std::vector<Target> named;
    auto visitNamed = [&] {
        if (!named.empty())
            visit(std::exchange(named, {}));
    };
    for (const std::string& arg : o.files) {
        std::vector<Target> group;
        const InputKind kind = KindOf(arg);
        if (kind != InputKind::Dictionary)
            visitNamed();
        switch (kind) {
        case InputKind::Directory:
            ForEachDictionaryBelow(arg, [&](const std::string& file) {
                Target t = FileTarget(file);
                if (o.out.empty()) {
                    t.Dest = DefaultDestination(file);
                } else {
                    const fs::path rel = PathFromUtf8(file).parent_path().lexically_relative(PathFromUtf8(arg));
                    const std::string base = PathToUtf8((PathFromUtf8(o.out) / rel).lexically_normal());
                    t.Dest = ComposeDestDir(base, true, SubDirNameOf(file));
                }
                group.push_back(std::move(t));
            });
            visit(std::move(group));
            break;
        case InputKind::Archive: {
            // ARCHIVE's dictionaries go to OUT/<archive name>/<dictionary name>/.
            std::string base = o.out.empty() ? DirectoryPartOf(arg) : o.out;
            if (base.empty())
                base = ".";
            const std::string stem = PathToUtf8(PathFromUtf8(FileNameOf(arg)).stem());
            const std::string archiveDir = ComposeDestDir(base, true, SafeFileName(stem));
            try {
                ForEachArchiveTarget(
                    arg, o.onlyDicts, report, clean,
                    [&](Target&& t) {
                        t.Dest = ComposeDestDir(archiveDir, true, SafeFileName(Cp1252ToUtf8(EntryStem({0, t.ArchiveName}))));
                        group.push_back(std::move(t));
                    },
                    [&] { visit(std::move(group)); });
            } catch (const std::runtime_error& e) {
                clean = false;
                if (!report)
                    break;
                Fail(ErrorLine(e));
                if (!o.keepGoing)
                    throw Failure("stopped: " + arg + " cannot be read");
            }
            break;
        }
        case InputKind::Dictionary: {
            Target t = FileTarget(arg);
            t.Dest = o.out.empty() ? DefaultDestination(arg) : ComposeDestDir(o.out, several, SubDirNameOf(arg));
            named.push_back(std::move(t));
            break;
        }
        }
    }
    visitNamed();
}

// Destinations the batch has given out, by a 64-bit hash of their text: a false
// match only gives a dictionary a "~N" folder it did not need, never a shared one.
class TakenDestinations {
public:
    bool Take(const std::string& dest) { return taken_.insert(std::hash<std::string>{}(dest)).second; }

private:
    std::unordered_set<std::size_t> taken_;
};

// "texture 3 (name)" for messages about one texture.
std::string TextureLabel(const Dictionary& d, std::size_t entry) {
    return kelmora::TextureLabel(entry, ForTerminal(d.Walk().Entries[entry].Name));
}

std::string CutShortWarning(const std::string& label, const std::string& texture, const DecodeResult& r) {
    return "warning: " + label + ": " + texture + " is cut short: " + std::to_string(r.DataPresent) + " of " +
           std::to_string(r.DataNeeded) + " bytes of its pixels";
}

// Below this size a dictionary alone is exported on one thread unless -j says otherwise.
constexpr std::uint64_t kSmallDictionaryBytes = 256 * 1024;

// A dictionary of a batch read, walked and its textures prepared, ahead of
// the writing of its files; what went wrong is raised when its turn comes.
struct OpenedTarget {
    std::optional<Dictionary> D;
    std::vector<bool> Marks;
    std::optional<PreparedExport> Ahead;
    std::exception_ptr Failure;
};

// Reads target; with prepare, also decodes and compresses its textures. Does
// on any thread what a run of one job does when the dictionary's turn comes.
OpenedTarget OpenForExport(const Target& target, const ExtractOptions& o, const ExportSettings& settings,
                           bool prepare) {
    OpenedTarget opened;
    try {
        Dictionary d = OpenTarget(target);
        if (!d.Complete())
            throw Failure(WalkFailure(target.Label, d.Walk().Report));
        const std::size_t listed = d.Entries().size();
        opened.Marks.assign(listed, o.onlyLines.empty());
        for (std::size_t line : o.onlyLines) {
            if (line > listed)
                throw Failure(target.Label + " has no texture " + std::to_string(line) + " (it lists " +
                                   std::to_string(listed) + ")");
            opened.Marks[line - 1] = true;
        }
        if (prepare)
            opened.Ahead = PrepareExport(d.Source(), d.Entries(), opened.Marks, settings,
                                         [] { return interrupted != 0; });
        opened.D.emplace(std::move(d));
    } catch (...) {
        opened.Failure = std::current_exception();
    }
    return opened;
}

// Exports one dictionary; throws KelmoraError on failure. Returns false when a
// texture was skipped or cut short, which makes the exit status 1.
bool ExtractOne(const Target& target, const ExtractOptions& o, const ExportSettings& base, OpenedTarget opened) {
    if (opened.Failure)
        std::rethrow_exception(opened.Failure);
    const Dictionary& d = *opened.D;
    const std::size_t listed = d.Entries().size();
    const std::vector<bool>& marks = opened.Marks;
    ErrorFacts failed;
    if (!CreateDirectoryChain(target.Dest, &failed) || !DirectoryExists(target.Dest))
        throw Failure(DirectoryFailure(target.Dest, failed));

    ExportSettings settings = base;
    settings.DestDir = target.Dest;
    // A small dictionary on its own is done sooner on one thread than the workers start.
    if (!o.jobs && !opened.Ahead && d.Source().Size() < kSmallDictionaryBytes)
        settings.Jobs = 1;
    ExportCallbacks cb;
    cb.AskOverwrite = [&](const OverwriteQuestion& q) {
        if (!o.quiet)
            Fail("skipped " + TextureLabel(d, q.Entry) + ": " + q.Path + " exists");
        return false;
    };
    const bool progress = !o.quiet && isatty(2) != 0;
    cb.Progress = [&](std::size_t done, std::size_t marked, std::size_t) {
        if (progress)
            std::cerr << "\rtexture " << done + 1 << " of " << marked << "   " << std::flush;
    };
    bool clean = true;
    cb.Renamed = [&](std::size_t entry, const std::string& wanted, const std::string& written) {
        if (!o.quiet)
            Fail(target.Label + ": " + TextureLabel(d, entry) + ": written as " + written + " since " + wanted +
                 " is taken in this run");
    };
    cb.Refused = [&](std::size_t entry, const KelmoraError& error) {
        Fail(target.Label + ": " + TextureLabel(d, entry) + ": " + ErrorLine(error));
        clean = false;
    };
    cb.Cancelled = [] { return interrupted != 0; };
    if (o.keepGoing) {
        cb.DecodeFailed = [&](std::size_t entry, const DecodeResult& r) {
            Fail(target.Label + ": " + TextureLabel(d, entry) + ": " + DecodeProblem(r));
            clean = false;
            return true;
        };
        cb.WriteFailed = [&](std::size_t entry, const KelmoraError& error) {
            Fail(target.Label + ": " + TextureLabel(d, entry) + ": " + ErrorLine(error));
            clean = false;
            return true;
        };
    }
    cb.CutShort = [&](std::size_t entry, const DecodeResult& r) {
        Fail(CutShortWarning(target.Label, TextureLabel(d, entry), r));
        clean = false;
    };
    ExportOutcome result =
        RunExport(d.Source(), d.Entries(), marks, settings, cb, opened.Ahead ? &*opened.Ahead : nullptr);
    if (progress)
        std::cerr << "\r                              \r" << std::flush;
    if (!result.Completed)
        throw Failure(target.Label + ": " + TextureLabel(d, result.FailedEntry) + ": " + DecodeProblem(result.Failure));
    if (!o.quiet)
        std::cout << ExportSummary(result.Exported, listed, result.ElapsedMs, target.Dest, ".", result.Renamed,
                                   result.Cancelled)
                  << std::endl;
    if (result.Cancelled)
        throw Failure("interrupted; the files written so far stay");
    return clean;
}

int Extract(const ExtractOptions& o) {
    ExportSettings settings;
    settings.ExpAlphas = !o.noAlphas;
    settings.ExpOverwrite = !o.noOverwrite;
    settings.ExpFilter = !o.noFilter;
    settings.ExpBrighten = !o.noBrighten;
    settings.ExpFormat = FindFormatByName(o.format)->Id;
    settings.ExpLevels = o.levels;
    settings.Jobs = o.jobs ? o.jobs : CoreCount();

    // Every input is known before the first file is written: no output of the
    // batch may replace a dictionary that a later part of it reads.
    auto inputs = std::make_shared<InputSet>();
    bool clean = true;
    for (const std::string& arg : o.files)
        if (!DirectoryExists(arg))
            inputs->Add(arg);
    ForEachBatchTarget(o, false, clean, [&](std::vector<Target>&& group) {
        for (const Target& t : group)
            inputs->Add(t.File);
    });
    settings.Inputs = inputs;

    clean = true;
    std::size_t count = 0, exported = 0, failed = 0;
    bool stop = false;
    TakenDestinations taken;
    try {
        ForEachBatchTarget(o, true, clean, [&](std::vector<Target>&& group) {
            // Several dictionaries on several threads: each is read, walked and
            // prepared whole on a worker, a few ahead of the one whose files are
            // written here. One alone has its textures prepared on the workers.
            const bool ahead = settings.Jobs > 1 && group.size() > 1;
            OrderedPool<OpenedTarget> opening(group.size(), ahead ? settings.Jobs : 1, [&](std::size_t k) {
                return OpenForExport(group[k], o, settings, ahead);
            });
            for (std::size_t k = 0; k < group.size(); ++k) {
                Target& target = group[k];
                ++count;
                if (stop)
                    continue;
                // Dictionaries of one batch never share a destination: a later one that
                // would gets the next free name by the same rule as files.
                const std::string wanted = target.Dest;
                for (unsigned n = 2; !taken.Take(target.Dest); ++n)
                    target.Dest = wanted.substr(0, wanted.size() - 1) + "~" + std::to_string(n) + kPathSeparator;
                if (target.Dest != wanted)
                    Fail(target.Label + ": writing to " + target.Dest + " since " + wanted + " is another dictionary's");
                try {
                    if (ExtractOne(target, o, settings, opening.Take(k))) {
                        ++exported;
                    } else {
                        ++failed;
                        clean = false;
                    }
                } catch (const std::runtime_error& e) {
                    Fail(ErrorLine(e));
                    ++failed;
                    clean = false;
                    stop = !o.keepGoing || interrupted;
                }
            }
        });
    } catch (const std::runtime_error&) {
        clean = false; // an archive that cannot be read stopped the batch, and was named
    }
    // A batch ends with its total on standard error.
    if (count > 1 && !o.quiet)
        std::cerr << "kelmora-cli: " << count << " dictionaries: " << exported << " exported, " << failed
                  << " failed\n";
    return clean ? kOk : kFailed;
}

struct SaveOptions {
    std::string file;
    std::string texture;
    std::string out;
    std::string format;
    bool alpha = false, noFilter = false, noBrighten = false;
};

int Save(const SaveOptions& o) {
    const OutputFormat* format = nullptr;
    if (!o.format.empty()) {
        format = FindFormatByName(o.format);
    } else {
        const std::string ext = PathToUtf8(PathFromUtf8(o.out).extension());
        format = ext.empty() ? nullptr : FindFormatByName(ext.substr(1));
    }
    if (!format) {
        Fail("cannot tell the format of " + o.out + "; use -f " + FormatNames());
        return kUsage;
    }
    const Target target = FileTarget(o.file);
    const Dictionary d = OpenTarget(target);
    if (!d.Complete())
        throw Failure(WalkFailure(o.file, d.Walk().Report));
    const std::size_t index = kelmora::cli::FindTexture(d, o.file, o.texture);
    DecodedTexture t = d.Decode(index, {!o.noFilter, 0});
    if (!t.Ok())
        throw Failure(o.file + ": " + TextureLabel(d, index) + ": " + DecodeProblem(t.Result));
    if (t.Result.CutShort())
        Fail(CutShortWarning(o.file, TextureLabel(d, index), t.Result));
    const bool brighten = !o.noBrighten;
    RemoveStaleTemporariesBeside(o.out);
    if (format->TakesPicture)
        format->WritePicture(MakePicture(t.State, o.alpha, brighten), o.out);
    else
        format->WriteState(o.out, t.State, brighten);
    return t.Result.CutShort() ? kFailed : kOk;
}


struct FindOptions {
    std::string pattern;
    std::vector<std::string> paths;
    bool json = false;
};

// Every texture whose name or mask name matches, over dictionaries, folders and
// archives, one line each as it is found; nothing is kept but the JSON matches.
int Find(const FindOptions& o) {
    bool clean = true;
    json matches = json::array();
    auto visit = [&](const Target& t) {
        try {
            const Dictionary d = OpenTarget(t);
            const std::string where = t.InArchive() ? t.File + "::" + ForTerminal(t.ArchiveName) : t.File;
            const std::span<const TTexEntry> entries = WholeEntries(d);
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const TTexEntry& e = entries[i];
                if (!GlobMatch(o.pattern, Cp1252ToUtf8(e.Name)) && !GlobMatch(o.pattern, Cp1252ToUtf8(e.Mask)))
                    continue;
                if (o.json) {
                    json m = JsonTexture(d, i);
                    m["path"] = t.File;
                    if (t.InArchive()) {
                        m["archive"] = t.File;
                        m["entry"] = Cp1252ToUtf8(t.ArchiveName);
                    }
                    matches.push_back(std::move(m));
                } else {
                    std::cout << where << ": " << ForTerminal(e.Caption) << "\n";
                }
            }
            if (!d.Complete()) {
                Fail(WalkFailure(t.Label, d.Walk().Report));
                clean = false;
            }
        } catch (const std::runtime_error& e) {
            Fail(ErrorLine(e));
            clean = false;
        }
    };
    auto visitArchive = [&](const std::string& archive) {
        try {
            ForEachArchiveTarget(archive, {}, true, clean, [&](Target&& t) { visit(t); });
        } catch (const std::runtime_error& e) {
            Fail(ErrorLine(e));
            clean = false;
        }
    };
    for (const std::string& arg : o.paths) {
        switch (KindOf(arg)) {
        case InputKind::Directory:
            // The dictionaries and the game archives below, in name order, as the window searches a folder.
            ForEachFileBelow(arg, [&](const std::string& f) {
                if (HasExtension(f, ".txd"))
                    visit(FileTarget(f));
                else if (HasExtension(f, ".img") && IsGameArchive(f))
                    visitArchive(f);
            });
            break;
        case InputKind::Archive:
            visitArchive(arg);
            break;
        case InputKind::Dictionary:
            visit(FileTarget(arg));
            break;
        }
    }
    if (o.json)
        std::cout << json{{"matches", std::move(matches)}}.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return clean ? kOk : kFailed;
}

} // namespace

int main(int argc, char** argv) {
    PrepareStandardStreams();
    std::vector<std::string> utf8Args = Utf8Arguments(argc, argv);
    std::vector<char*> argPointers;
    for (std::string& a : utf8Args)
        argPointers.push_back(a.data());
    argPointers.push_back(nullptr);
    argv = argPointers.data();
    CLI::App app{"Kelmora: lists, exports and puts back the textures of PlayStation 2 texture dictionaries (.txd)",
                 "kelmora-cli"};
    app.set_version_flag("--version", std::string("kelmora-cli ") + kVersion);
    app.require_subcommand(1);
    // Options are --long and -s on every system; on Windows a path may start with "/".
    app.allow_windows_style_options(false);
    std::vector<std::string> formatNames{"jpeg"};
    for (const OutputFormat& f : OutputFormats())
        formatNames.emplace_back(f.Name);
    auto formats = CLI::IsMember(formatNames, CLI::ignore_case);

    ListOptions ls;
    CLI::App* list = app.add_subcommand("list", "Print the texture lists of dictionaries, one caption per line");
    list->add_option("FILE", ls.files, "Dictionaries, game archives (.img, .dir) or directories (every .txd below them)")
        ->required();
    list->add_flag("--json", ls.json, "One JSON document with every dictionary's textures");
    list->add_flag("--all", ls.all, "Archives: every dictionary's textures, not only the dictionaries");

    ExtractOptions ex;
    CLI::App* extract = app.add_subcommand(
        "extract", "Export textures of one or more dictionaries (directories: every .txd below them)");
    extract->add_option("FILE", ex.files, "Dictionaries, game archives or directories")->required();
    extract->add_option("-o,--output", ex.out,
                        "Destination directory (default: a sub directory next to each dictionary, named after it)");
    extract->add_option("-f,--format", ex.format, FormatNames() + " (default bmp)")->transform(formats);
    extract->add_option("--only-dict", ex.onlyDicts,
                        "Archives: only the dictionaries of this name (with or without .txd); may be repeated");
    extract->add_flag("--no-alphas", ex.noAlphas, "Write no grey alpha companions (BMP, JPEG)");
    extract->add_flag("--no-overwrite", ex.noOverwrite, "Skip textures whose files exist");
    extract->add_flag("--no-filter", ex.noFilter, "Do not unswizzle");
    extract->add_flag("--no-brighten", ex.noBrighten, "Keep the console's 0..128 alpha range");
    extract->add_option("--only", ex.only, "List lines to export, e.g. 1,3,5-9");
    extract->add_flag("--keep-going", ex.keepGoing,
                      "Go on with the next texture and dictionary after a failure (exit status 1 at the end)");
    extract->add_flag("-q,--quiet", ex.quiet, "Print errors only");
    extract->add_flag("--levels", ex.levels, "Also write mip levels 1 and up, as NAME.mip1.EXT, NAME.mip2.EXT, ...");
    int pngLevel = kDefaultPngLevel;
    auto pngOption = [&pngLevel](CLI::App* c) {
        c->add_option("--png-level", pngLevel,
                      "PNG compression from 1 (fastest) to 12 (smallest); default " + std::to_string(kDefaultPngLevel))
            ->check(CLI::Range(1, 12));
    };
    pngOption(extract);
    extract->add_option("-j,--jobs", ex.jobs,
                        "Threads that read, decode and compress (default: every core; one for a small dictionary alone); the files and lines are the same for any number")
        ->check(CLI::Range(1, 256));

    SaveOptions sv;
    CLI::App* save = app.add_subcommand("save", "Save one texture like the viewer's single export");
    save->add_option("FILE", sv.file, "The dictionary (.txd)")->required();
    save->add_option("TEXTURE", sv.texture, "Texture number as listed (from 1), or its name")->required();
    save->add_option("OUT", sv.out, "The image file to write")->required();
    save->add_option("-f,--format", sv.format, FormatNames() + " (default: from OUT's extension)")->transform(formats);
    save->add_flag("--alpha", sv.alpha, "BMP and JPEG: the grey alpha picture instead of the colours");
    save->add_flag("--no-filter", sv.noFilter, "Do not unswizzle");
    save->add_flag("--no-brighten", sv.noBrighten, "Keep the console's 0..128 alpha range");
    pngOption(save);

    kelmora::cli::EditOptions ed;
    std::string importFolder, replaceTexture, replaceImage;
    auto editOptions = [&ed](CLI::App* c) {
        c->add_option("-o,--output", ed.Output, "Write the changed dictionary here; the original stays as it is");
        c->add_flag("--no-filter", ed.NoFilter, "The images were exported without the unswizzle");
        c->add_flag("--no-brighten", ed.NoBrighten, "The images keep the console's 0..128 alpha range");
        c->add_flag("--no-dither", ed.NoDither, "Quantise without dithering");
        c->add_flag("--keep-palette", ed.KeepPalette, "Map pictures onto the texture's present palette");
    };
    CLI::App* import = app.add_subcommand(
        "import", "Put the images of a folder back: each named after a texture, as extract names them, replaces it");
    import->add_option("DICT", ed.Dictionary, "The dictionary (.txd), a game archive, or a folder of dictionaries")->required();
    import->add_option("FOLDER", importFolder, "The folder of images (PNG, TGA, BMP, JPEG)")->required();
    editOptions(import);
    CLI::App* replace = app.add_subcommand("replace", "Replace one texture's picture by an image");
    replace->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    replace->add_option("TEXTURE", replaceTexture, "Texture number as listed, or its name")->required();
    replace->add_option("IMAGE", replaceImage, "The image (PNG, TGA, BMP, JPEG)")->required();
    editOptions(replace);
    replace->add_option("--depth", ed.Depth, "Store the texture at another depth")->check(CLI::IsMember({4, 8, 16, 32}));
    import->add_option("--depth", ed.Depth, "Store the replaced textures at another depth")->check(CLI::IsMember({4, 8, 16, 32}));
    std::size_t importJobs = 0;
    import->add_option("-j,--jobs", importJobs,
                       "Archives and folders: dictionaries put back at once (default: every core); the result is the same for any number")
        ->check(CLI::Range(1, 256));
    std::string addImage, addName, addMask, removeTexture, renameTexture, renameName, renameMask;
    std::uint32_t addLevels = 1;
    CLI::App* add = app.add_subcommand("add", "Add a texture after the last");
    add->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    add->add_option("IMAGE", addImage, "The image (PNG, TGA, BMP, JPEG)")->required();
    add->add_option("--name", addName, "The texture's name")->required();
    add->add_option("--mask", addMask, "The texture's mask (alpha) name");
    add->add_option("--depth", ed.Depth, "4, 8 (default), 16 or 32 bits")->check(CLI::IsMember({4, 8, 16, 32}));
    add->add_option("--levels", addLevels, "Mip levels, made from the picture (default 1)");
    add->add_flag("--allow-duplicate", ed.AllowDuplicate, "Allow a name another texture has already");
    editOptions(add);
    CLI::App* remove = app.add_subcommand("remove", "Remove a texture");
    remove->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    remove->add_option("TEXTURE", removeTexture, "Texture number as listed, or its name")->required();
    remove->add_option("-o,--output", ed.Output, "Write the changed dictionary here; the original stays as it is");
    CLI::App* rename = app.add_subcommand("rename", "Rename a texture");
    rename->add_option("DICT", ed.Dictionary, "The dictionary (.txd)")->required();
    rename->add_option("TEXTURE", renameTexture, "Texture number as listed, or its name")->required();
    rename->add_option("NEWNAME", renameName, "The new name")->required();
    CLI::Option* maskOption = rename->add_option("--mask", renameMask, "The new mask name");
    rename->add_flag("--allow-duplicate", ed.AllowDuplicate, "Allow a name another texture has already");
    rename->add_option("-o,--output", ed.Output, "Write the changed dictionary here; the original stays as it is");

    std::string archivePath, unpackOut;
    std::vector<std::string> unpackNames, renamePair;
    kelmora::cli::PackOptions pk;
    CLI::App* unpack = app.add_subcommand("unpack", "Copy dictionaries out of a game archive, byte for byte");
    unpack->add_option("ARCHIVE", archivePath, "The archive (.img, or .dir beside its .img)")->required();
    unpack->add_option("NAME", unpackNames, "Only the entries of these names (any entry, with or without .txd)");
    unpack->add_option("-o,--output", unpackOut, "Destination directory (default: here)");
    CLI::App* pack = app.add_subcommand("pack", "Put files into a game archive: each replaces the entry of its name or is added");
    pack->add_option("ARCHIVE", archivePath, "The archive (.img, or .dir beside its .img)")->required();
    pack->add_option("FILE", pk.Files, "Files whose names are the entries' names");
    pack->add_option("--remove", pk.Remove, "Remove the entry of this name; may be repeated");
    pack->add_option("--rename", renamePair, "Rename entry OLD to NEW")->expected(2);
    CLI::App* rebuild = app.add_subcommand("rebuild", "Write a game archive anew without its free space");
    rebuild->add_option("ARCHIVE", archivePath, "The archive (.img, or .dir beside its .img)")->required();
    FindOptions fd;
    CLI::App* find = app.add_subcommand("find", "Every texture whose name or mask name matches a pattern");
    find->add_option("PATTERN", fd.pattern, "A pattern with * and ?, any case")->required();
    find->add_option("PATH", fd.paths, "Dictionaries, game archives or directories")->required();
    find->add_flag("--json", fd.json, "One JSON document with the matches");

    CLI::App* reg = app.add_subcommand("register-file-type", "Associate .txd files with the Kelmora viewer");

    // CLI11 would call an unknown command a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        const std::string command = argv[1];
        static const std::vector<std::string> commands = {"list",   "extract", "save",    "import", "replace",
                                                          "add",    "remove",  "rename",  "find",   "unpack",
                                                          "pack",   "rebuild", "register-file-type"};
        if (std::find(commands.begin(), commands.end(), command) == commands.end()) {
            std::string all;
            for (const std::string& c : commands)
                all += (all.empty() ? "" : ", ") + c;
            Fail("unknown command \"" + command + "\"; the commands are " + all);
            return kUsage;
        }
    }
    try {
        app.parse(argc, argv);
        if (*extract && !ex.only.empty() && !ParseOnly(ex.only, ex.onlyLines))
            throw CLI::ValidationError("--only", "expects list lines such as 1,3,5-9");
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e); // --help and --version
        Fail(std::string(e.what()) + " (see kelmora-cli --help)");
        return kUsage;
    }

    SetPngLevel(pngLevel);
    std::signal(SIGINT, OnInterrupt);
    try {
        if (*list)
            return Finish(List(ls));
        if (*extract)
            return Finish(Extract(ex));
        if (*save)
            return Finish(Save(sv));
        if (*import) {
            ed.Jobs = importJobs ? importJobs : CoreCount();
            return Finish(kelmora::cli::Import(ed, importFolder));
        }
        if (*replace)
            return Finish(kelmora::cli::Replace(ed, replaceTexture, replaceImage));
        if (*add)
            return Finish(kelmora::cli::Add(ed, addImage, addName, addMask, addLevels));
        if (*remove)
            return Finish(kelmora::cli::Remove(ed, removeTexture));
        if (*rename)
            return Finish(kelmora::cli::Rename(ed, renameTexture, renameName, *maskOption ? &renameMask : nullptr));
        if (*find)
            return Finish(Find(fd));
        if (*unpack)
            return Finish(kelmora::cli::Unpack(archivePath, unpackNames, unpackOut));
        if (*pack) {
            if (!renamePair.empty())
                pk.Rename.emplace_back(renamePair[0], renamePair[1]);
            return Finish(kelmora::cli::Pack(archivePath, pk));
        }
        if (*rebuild)
            return Finish(kelmora::cli::Rebuild(archivePath));
        if (*reg) {
            RegisterFileType();
            return kOk;
        }
    } catch (const std::bad_alloc&) {
        Fail("Out of memory");
        return kFailed;
    } catch (const std::exception& e) {
        Fail(ErrorLine(e));
        return kFailed;
    }
    return kUsage;
}
