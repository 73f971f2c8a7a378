#include "cli/extract_commands.h"

#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <unordered_set>
#include <utility>

#include "archive/game_archive.h"
#include "base/atomic_output.h"
#include "base/bytes.h"
#include "base/file_identity.h"
#include "base/ordered_pool.h"
#include "base/os_file.h"
#include "base/paths.h"
#include "base/text.h"
#include "cli/cli_common.h"
#include "cli/cli_text.h"
#include "cli/edit_commands.h"
#include "cli/progress.h"
#include "dictionary/colour_rules.h"
#include "export/destination.h"
#include "export/export_run.h"
#include "export/image_writers.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "words/engine_words.h"

namespace kelmora::cli {

namespace fs = std::filesystem;

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

namespace {

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
        if (kind != InputKind::Dictionary && kind != InputKind::ArchiveEntry)
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
                    throw KelmoraError(ErrorCode::StoppedUnreadable, {.File = arg});
            }
            break;
        }
        case InputKind::ArchiveEntry:
            // One dictionary of an archive: below -o as a file would be, or where the
            // archive's extract puts it (<archive>/<dictionary>/ beside the archive).
            try {
                Target t = EntryTarget(arg);
                const std::string archive = arg.substr(0, arg.find("::"));
                const std::string stem = SafeFileName(Cp1252ToUtf8(EntryStem({0, t.ArchiveName})));
                if (o.out.empty()) {
                    const std::string dir = DirectoryPartOf(archive);
                    const std::string archiveStem = PathToUtf8(PathFromUtf8(FileNameOf(archive)).stem());
                    t.Dest = ComposeDestDir(ComposeDestDir(dir.empty() ? "." : dir, true, SafeFileName(archiveStem)),
                                            true, stem);
                } else {
                    t.Dest = ComposeDestDir(o.out, several, stem);
                }
                named.push_back(std::move(t));
            } catch (const std::runtime_error& e) {
                clean = false;
                if (report)
                    Fail(ErrorLine(e));
            }
            break;
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
            throw WalkStoppedError(target.Label, d.Walk().Report);
        const std::size_t listed = d.Entries().size();
        opened.Marks.assign(listed, o.onlyLines.empty());
        for (std::size_t line : o.onlyLines) {
            if (line > listed)
                throw KelmoraError(ErrorCode::NoSuchTexture, {.File = target.Label, .Number = line, .Limit = listed});
            opened.Marks[line - 1] = true;
        }
        if (prepare)
            opened.Ahead = PrepareExport(d.Source(), d.Entries(), opened.Marks, settings,
                                         [] { return Interrupted.load(); });
        opened.D.emplace(std::move(d));
    } catch (...) {
        opened.Failure = std::current_exception();
    }
    return opened;
}

// Exports one dictionary; throws KelmoraError on failure. Returns false when a
// texture was skipped or cut short, which makes the exit status 1.
bool ExtractOne(const Target& target, const ExtractOptions& o, const ExportSettings& base, OpenedTarget opened,
                TerminalProgress& progress, const std::string& where) {
    if (opened.Failure)
        std::rethrow_exception(opened.Failure);
    const Dictionary& d = *opened.D;
    const std::size_t listed = d.Entries().size();
    const std::vector<bool>& marks = opened.Marks;
    CreateDirectoryChain(target.Dest);

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
    cb.Progress = [&](std::size_t done, std::size_t marked, std::size_t) {
        progress.Show(where + "texture " + std::to_string(done + 1) + " of " + std::to_string(marked));
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
    cb.Cancelled = [] { return Interrupted.load(); };
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
    if (!result.Completed)
        throw UnreadableTexture(result.FailedEntry, result.Failure).Within({target.Label, TextureLabel(d, result.FailedEntry)});
    ClearProgressForOutput();
    if (!o.quiet)
        std::cout << ExportSummary(result.Exported, listed, result.ElapsedMs, target.Dest, ".", result.Renamed,
                                   result.Cancelled)
                  << std::endl;
    if (result.Cancelled)
        throw KelmoraError(ErrorCode::Interrupted, {});
    return clean;
}

} // namespace

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
        if (!DirectoryExists(arg) && KindOf(arg) != InputKind::ArchiveEntry)
            inputs->Add(arg);
    std::size_t total = 0;
    ForEachBatchTarget(o, false, clean, [&](std::vector<Target>&& group) {
        for (const Target& t : group)
            inputs->Add(t.File);
        total += group.size();
    });
    settings.Inputs = inputs;

    clean = true;
    std::size_t count = 0, exported = 0, failed = 0;
    bool stop = false;
    TakenDestinations taken;
    TerminalProgress progress(!o.quiet);
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
                    const std::string where = total > 1 ? "dictionary " + std::to_string(count) + " of " +
                                                              std::to_string(total) + ", "
                                                        : std::string();
                    progress.Show(where + (target.InArchive() ? ForTerminal(target.ArchiveName) : FileNameOf(target.File)));
                    if (ExtractOne(target, o, settings, opening.Take(k), progress, where)) {
                        ++exported;
                    } else {
                        ++failed;
                        clean = false;
                    }
                } catch (const std::runtime_error& e) {
                    Fail(ErrorLine(e));
                    ++failed;
                    clean = false;
                    stop = !o.keepGoing || Interrupted.load();
                }
            }
        });
    } catch (const std::runtime_error&) {
        clean = false; // an archive that cannot be read stopped the batch, and was named
    }
    progress.Clear();
    // What the batch wrote reaches the disk before it ends, in one step for all of it.
    try {
        if (exported > 0)
            SyncFileSystemOf(o.out.empty() ? o.files.front() : o.out);
    } catch (const KelmoraError& e) {
        std::cerr << "kelmora-cli: warning: the exported files may not be on the disk yet: " << e.Facts().Reason << "\n";
    }
    // A batch ends with its total on standard error.
    if (count > 1 && !o.quiet)
        std::cerr << "kelmora-cli: " << count << " dictionaries: " << exported << " exported, " << failed
                  << " failed\n";
    return clean ? kOk : kFailed;
}

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
    const Target target = KindOf(o.file) == InputKind::ArchiveEntry ? EntryTarget(o.file) : FileTarget(o.file);
    const Dictionary d = OpenTarget(target);
    if (!d.Complete())
        throw WalkStoppedError(o.file, d.Walk().Report);
    const std::size_t index = kelmora::cli::FindTexture(d, o.file, o.texture);
    DecodedTexture t = d.Decode(index, {!o.noFilter, 0});
    if (!t.Ok())
        throw UnreadableTexture(index, t.Result).Within({o.file, TextureLabel(d, index)});
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


} // namespace kelmora::cli
