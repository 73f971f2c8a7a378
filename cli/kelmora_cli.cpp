// kelmora-cli: the dictionary engine for scripts and batch work.
#include <algorithm>
#include <csignal>
#include <new>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_set>
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

#include "archive/game_archive.h"
#include "base/byte_reader.h"
#include "base/bytes.h"
#include "base/file_identity.h"
#include "base/version.h"
#include "dictionary/dictionary.h"
#include "dictionary/colour_rules.h"
#include "dictionary/dictionary_walk.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "dictionary/raster_layout.h"
#include "dictionary/text.h"
#include "export/destination.h"
#include "export/export_run.h"
#include "export/image_writers.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "shell/file_type_registration.h"

namespace {

using namespace kelmora;
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

// The walk's report as one line.
std::string WalkFailure(const std::string& file, const WalkReport& r) {
    return file + ": texture " + std::to_string(r.TextureNumber) + " of " + std::to_string(r.Count) + " (" +
           ShownText(r.NamePart) + "): can't jump to position " + std::to_string(r.Next) + ", file size is only " +
           std::to_string(r.FileSize);
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

// Every .txd file below dir, in name order.
void DictionariesBelow(const std::string& dir, std::vector<std::string>& files) {
    std::vector<fs::path> found;
    for (const auto& e : fs::recursive_directory_iterator(PathFromUtf8(dir)))
        if (e.is_regular_file() && Lower(PathToUtf8(e.path().extension())) == ".txd")
            found.push_back(e.path());
    std::sort(found.begin(), found.end());
    for (const fs::path& p : found)
        files.push_back(PathToUtf8(p));
}

// One dictionary to work on: a file of its own, or an entry of a game archive.
struct Target {
    std::string Label;          // for messages: the file, or "ARCHIVE:NAME"
    std::string File;           // the file the bytes are in
    SourceLocation Location;
    std::string ArchiveName;    // the entry's name, for dictionaries inside an archive
    std::uint64_t Size = 0;     // the entry's size in the archive
    std::shared_ptr<const ByteSource> Shared; // the archive's data, opened once
    std::string Dest;           // extract: where its files go
    bool InArchive() const { return !ArchiveName.empty(); }
};

// An argument that is neither a directory nor a dictionary: an archive's tables
// are read here, and their problems said once.
struct ArchiveInput {
    GameArchive Archive;
    std::shared_ptr<const ByteSource> Data;
};

std::string ArchiveLabel(const GameArchive& a, const ArchiveEntry& e) { return a.DataFile + ":" + ForTerminal(e.Name); }

bool SameDictionaryName(const std::string& entryName, const std::string& wanted) {
    const std::string a = Lower(entryName), b = Lower(wanted);
    return a == b || a == b + ".txd";
}

// Opens an archive argument and reports what cannot be read of it. onlyDicts
// picks dictionaries by name; names that match none are errors.
std::vector<Target> ArchiveTargets(const std::string& path, const std::vector<std::string>& onlyDicts, bool& clean) {
    ArchiveInput in{OpenGameArchive(path), nullptr};
    for (const std::string& problem : in.Archive.Problems) {
        Fail(path + ": " + EscapeControls(problem));
        clean = false;
    }
    in.Data = std::make_shared<FileSource>(in.Archive.DataFile);
    std::vector<Target> targets;
    std::vector<bool> matched(onlyDicts.size(), false);
    for (const ArchiveEntry* e : in.Archive.Dictionaries()) {
        bool wanted = onlyDicts.empty();
        for (std::size_t i = 0; i < onlyDicts.size(); ++i)
            if (SameDictionaryName(e->Name, onlyDicts[i]))
                wanted = matched[i] = true;
        if (!wanted)
            continue;
        Target t;
        t.Label = ArchiveLabel(in.Archive, *e);
        t.File = in.Archive.DataFile;
        t.Location = in.Archive.Location(*e);
        t.ArchiveName = e->Name;
        t.Size = e->Size;
        t.Shared = std::make_shared<RangeSource>(in.Data, e->Offset, e->Size);
        targets.push_back(std::move(t));
    }
    for (std::size_t i = 0; i < onlyDicts.size(); ++i) {
        if (!matched[i]) {
            Fail(path + " has no dictionary named " + onlyDicts[i]);
            clean = false;
        }
    }
    return targets;
}

// The dictionary of a target: the archive's shared bytes, or its file opened now.
Dictionary OpenTarget(const Target& t) {
    Dictionary d = t.Shared ? Dictionary(t.Shared) : Dictionary::OpenFile(t.File);
    if (!d.IsDictionary())
        throw KelmoraError(t.Label + " is not a texture dictionary");
    return d;
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
        for (std::size_t i = 0; i < d->Entries().size(); ++i) {
            const TTexEntry& e = d->Entries()[i];
            std::size_t levels = 0;
            if (e.Depth != 0) {
                ByteReader r(d->Source());
                levels = ReadRasterLayout(r, e.DataOffset).Levels.size();
            }
            textures.push_back({{"number", i + 1},
                                {"name", Cp1252ToUtf8(e.Name)},
                                {"mask", Cp1252ToUtf8(e.Mask)},
                                {"width", e.Width},
                                {"height", e.Height},
                                {"depth", e.Depth},
                                {"levels", levels},
                                {"dataOffset", e.DataOffset},
                                {"caption", Cp1252ToUtf8(e.Caption)}});
        }
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
    // Archives list their dictionaries (name, size) unless --all or --json asks for textures.
    std::vector<std::pair<std::size_t, std::string>> archiveHeads; // first target, archive
    for (const std::string& arg : o.files) {
        switch (KindOf(arg)) {
        case InputKind::Directory: {
            std::vector<std::string> files;
            DictionariesBelow(arg, files);
            for (std::string& f : files)
                targets.push_back({f, f, {f}, {}, 0, nullptr, {}});
            break;
        }
        case InputKind::Archive: {
            std::vector<Target> inside;
            try {
                inside = ArchiveTargets(arg, {}, clean);
            } catch (const KelmoraError& e) {
                Fail(e.what());
                clean = false;
                continue;
            }
            archiveHeads.emplace_back(targets.size(), arg);
            for (Target& t : inside)
                targets.push_back(std::move(t));
            break;
        }
        case InputKind::Dictionary:
            targets.push_back({arg, arg, {arg}, {}, 0, nullptr, {}});
            break;
        }
    }

    int status = clean ? kOk : kFailed;
    json all = json::array();
    bool first = true;
    for (const Target& t : targets) {
        std::optional<Dictionary> d;
        std::string error;
        try {
            d.emplace(OpenTarget(t));
            if (!d->Complete())
                error = WalkFailure(t.Label, d->Walk().Report);
        } catch (const KelmoraError& e) {
            d.reset();
            error = e.what();
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
        if (targets.size() > 1)
            std::cout << (first ? "" : "\n") << t.Label << ":\n";
        first = false;
        if (d)
            for (const TTexEntry& e : d->Entries())
                std::cout << ForTerminal(e.Caption) << "\n";
        std::cout.flush();
        if (!error.empty())
            Fail(error);
        else if (d && d->Walk().End == WalkEnd::Empty)
            std::cerr << FileNameOf(t.Label) << " is empty!\n";
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
    std::string only;
    std::set<std::size_t> onlyLines;
    std::vector<std::string> onlyDicts;
};

// The dialog's default destination with the sub directory box checked.
std::string DefaultDestination(const std::string& file) {
    std::string dir = DirectoryPartOf(file);
    return ComposeDestDir(dir.empty() ? "." : dir, true, SubDirNameOf(file));
}

// Every dictionary of the batch with its destination, and the batch's inputs,
// known once by their identity.
struct Batch {
    std::vector<Target> Targets;
    std::shared_ptr<InputSet> Inputs = std::make_shared<InputSet>();
    bool Clean = true; // false when an argument could not be read whole
};

Batch PlanBatch(const ExtractOptions& o) {
    Batch b;
    const bool several = o.files.size() > 1;
    for (const std::string& arg : o.files) {
        switch (KindOf(arg)) {
        case InputKind::Directory: {
            std::vector<std::string> files;
            DictionariesBelow(arg, files);
            for (std::string& file : files) {
                Target t{file, file, {file}, {}, 0, nullptr, {}};
                if (o.out.empty()) {
                    t.Dest = DefaultDestination(file);
                } else {
                    const fs::path rel = PathFromUtf8(file).parent_path().lexically_relative(PathFromUtf8(arg));
                    const std::string base = PathToUtf8((PathFromUtf8(o.out) / rel).lexically_normal());
                    t.Dest = ComposeDestDir(base, true, SubDirNameOf(file));
                }
                b.Inputs->Add(file);
                b.Targets.push_back(std::move(t));
            }
            break;
        }
        case InputKind::Archive: {
            std::vector<Target> inside;
            try {
                inside = ArchiveTargets(arg, o.onlyDicts, b.Clean);
            } catch (const KelmoraError& e) {
                Fail(e.what());
                b.Clean = false;
                if (!o.keepGoing)
                    throw KelmoraError("stopped: " + arg + " cannot be read");
                continue;
            }
            // ARCHIVE's dictionaries go to OUT/<archive name>/<dictionary name>/.
            std::string base = o.out.empty() ? DirectoryPartOf(arg) : o.out;
            if (base.empty())
                base = ".";
            const std::string stem = PathToUtf8(PathFromUtf8(FileNameOf(arg)).stem());
            const std::string archiveDir = ComposeDestDir(base, true, SafeFileName(stem));
            for (Target& t : inside) {
                t.Dest = ComposeDestDir(archiveDir, true, SafeFileName(Cp1252ToUtf8(EntryStem({0, t.ArchiveName}))));
                b.Targets.push_back(std::move(t));
            }
            b.Inputs->Add(arg);
            if (!inside.empty())
                b.Inputs->Add(inside.front().File);
            break;
        }
        case InputKind::Dictionary: {
            Target t{arg, arg, {arg}, {}, 0, nullptr, {}};
            t.Dest = o.out.empty() ? DefaultDestination(arg) : ComposeDestDir(o.out, several, SubDirNameOf(arg));
            b.Inputs->Add(arg);
            b.Targets.push_back(std::move(t));
            break;
        }
        }
    }
    // Dictionaries of one batch never share a destination: a later one that would
    // gets the next free name by the same rule as files.
    std::unordered_set<std::string> taken;
    taken.reserve(b.Targets.size());
    for (Target& t : b.Targets) {
        std::string dest = t.Dest;
        for (unsigned n = 2; !taken.insert(dest).second; ++n) {
            const std::string base = t.Dest.substr(0, t.Dest.size() - 1); // without the separator
            dest = base + "~" + std::to_string(n) + kPathSeparator;
        }
        if (dest != t.Dest) {
            if (!o.quiet)
                Fail(t.Label + ": writing to " + dest + " since " + t.Dest + " is another dictionary's");
            t.Dest = dest;
        }
    }
    return b;
}

// "texture 3 (name)" for messages about one texture.
std::string TextureLabel(const Dictionary& d, std::size_t entry) {
    return "texture " + std::to_string(entry + 1) + " (" + ForTerminal(d.Walk().Entries[entry].Name) + ")";
}

std::string CutShortWarning(const std::string& label, const std::string& texture, const DecodeResult& r) {
    return "warning: " + label + ": " + texture + " is cut short: " + std::to_string(r.DataPresent) + " of " +
           std::to_string(r.DataNeeded) + " bytes of its pixels";
}

// Exports one dictionary; throws KelmoraError on failure. Returns false when a
// texture was skipped or cut short, which makes the exit status 1.
bool ExtractOne(const Target& target, const ExtractOptions& o, const ExportSettings& base) {
    const Dictionary d = OpenTarget(target);
    if (!d.Complete())
        throw KelmoraError(WalkFailure(target.Label, d.Walk().Report));
    const std::size_t listed = d.Entries().size();
    std::vector<bool> marks(listed, o.onlyLines.empty());
    for (std::size_t line : o.onlyLines) {
        if (line > listed)
            throw KelmoraError(target.Label + " has no texture " + std::to_string(line) + " (it lists " +
                               std::to_string(listed) + ")");
        marks[line - 1] = true;
    }
    std::string reason;
    if (!CreateDirectoryChain(target.Dest, &reason) || !DirectoryExists(target.Dest))
        throw KelmoraError(DirectoryFailure(reason.empty() ? "\"" + target.Dest + "\"." : reason));

    ExportSettings settings = base;
    settings.DestDir = target.Dest;
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
    cb.Refused = [&](std::size_t entry, const std::string& message) {
        Fail(target.Label + ": " + TextureLabel(d, entry) + ": " + message);
        clean = false;
    };
    cb.Cancelled = [] { return interrupted != 0; };
    if (o.keepGoing) {
        cb.DecodeFailed = [&](std::size_t entry, const DecodeResult& r) {
            Fail(target.Label + ": " + TextureLabel(d, entry) + ": " + r.Message);
            clean = false;
            return true;
        };
        cb.WriteFailed = [&](std::size_t entry, const std::string& message) {
            Fail(target.Label + ": " + TextureLabel(d, entry) + ": " + message);
            clean = false;
            return true;
        };
    }
    cb.CutShort = [&](std::size_t entry, const DecodeResult& r) {
        Fail(CutShortWarning(target.Label, TextureLabel(d, entry), r));
        clean = false;
    };
    DecodeState state;
    ExportOutcome result = RunExport(d.Source(), d.Entries(), marks, settings, state, cb);
    if (progress)
        std::cerr << "\r                              \r" << std::flush;
    if (!result.Completed)
        throw KelmoraError(target.Label + ": " + TextureLabel(d, result.FailedEntry) + ": " + result.Message);
    if (!o.quiet)
        std::cout << ExportSummary(result.Exported, listed, result.ElapsedMs, target.Dest, ".", result.Renamed,
                                   result.Cancelled)
                  << std::endl;
    if (result.Cancelled)
        throw KelmoraError("interrupted; the files written so far stay");
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

    const Batch batch = PlanBatch(o);
    settings.Inputs = batch.Inputs;
    int status = batch.Clean ? kOk : kFailed;
    std::size_t exported = 0, failed = 0;
    for (const Target& target : batch.Targets) {
        try {
            if (ExtractOne(target, o, settings)) {
                ++exported;
            } else {
                ++failed;
                status = kFailed;
            }
        } catch (const KelmoraError& e) {
            Fail(e.what());
            ++failed;
            status = kFailed;
            if (!o.keepGoing || interrupted)
                break;
        }
    }
    // A batch ends with its total on standard error.
    if (batch.Targets.size() > 1 && !o.quiet)
        std::cerr << "kelmora-cli: " << batch.Targets.size() << " dictionaries: " << exported << " exported, "
                  << failed << " failed\n";
    return status;
}

struct SaveOptions {
    std::string file;
    std::size_t index = 0;
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
    const Target target{o.file, o.file, {o.file}, {}, 0, nullptr, {}};
    const Dictionary d = OpenTarget(target);
    if (!d.Complete())
        throw KelmoraError(WalkFailure(o.file, d.Walk().Report));
    if (o.index == 0 || o.index > d.Entries().size())
        throw KelmoraError(o.file + " has no texture " + std::to_string(o.index) + " (it lists " +
                           std::to_string(d.Entries().size()) + ")");
    DecodedTexture t = d.Decode(o.index - 1, {!o.noFilter, 0});
    if (!t.Ok())
        throw KelmoraError(o.file + ": " + TextureLabel(d, o.index - 1) + ": " + t.Result.Message);
    if (t.Result.CutShort())
        Fail(CutShortWarning(o.file, TextureLabel(d, o.index - 1), t.Result));
    const bool brighten = !o.noBrighten;
    if (format->TakesPicture)
        format->WritePicture(MakePicture(t.State, o.alpha, brighten), o.out);
    else
        format->WriteState(o.out, t.State, brighten);
    return t.Result.CutShort() ? kFailed : kOk;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Kelmora: lists and exports the textures of PlayStation 2 texture dictionaries (.txd)",
                 "kelmora-cli"};
    app.set_version_flag("--version", std::string("kelmora-cli ") + kVersion);
    app.require_subcommand(1);
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

    SaveOptions sv;
    CLI::App* save = app.add_subcommand("save", "Save one texture like the viewer's single export");
    save->add_option("FILE", sv.file, "The dictionary (.txd)")->required();
    save->add_option("INDEX", sv.index, "Texture number as listed, from 1")->required();
    save->add_option("OUT", sv.out, "The image file to write")->required();
    save->add_option("-f,--format", sv.format, FormatNames() + " (default: from OUT's extension)")->transform(formats);
    save->add_flag("--alpha", sv.alpha, "BMP and JPEG: the grey alpha picture instead of the colours");
    save->add_flag("--no-filter", sv.noFilter, "Do not unswizzle");
    save->add_flag("--no-brighten", sv.noBrighten, "Keep the console's 0..128 alpha range");

    CLI::App* reg = app.add_subcommand("register-file-type", "Associate .txd files with the Kelmora viewer");

    // CLI11 would call an unknown command a missing one.
    if (argc > 1 && argv[1][0] != '-') {
        const std::string command = argv[1];
        if (command != "list" && command != "extract" && command != "save" && command != "register-file-type") {
            Fail("unknown command \"" + command + "\"; the commands are list, extract, save, register-file-type");
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

    std::signal(SIGINT, OnInterrupt);
    try {
        if (*list)
            return Finish(List(ls));
        if (*extract)
            return Finish(Extract(ex));
        if (*save)
            return Finish(Save(sv));
        if (*reg) {
            RegisterFileType();
            return kOk;
        }
    } catch (const std::bad_alloc&) {
        Fail("Out of memory");
        return kFailed;
    } catch (const std::exception& e) {
        Fail(e.what());
        return kFailed;
    }
    return kUsage;
}
