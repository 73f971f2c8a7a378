// kelmora-cli: the dictionary engine for scripts and batch work.
#include <algorithm>
#include <csignal>
#include <new>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#else
#include <unistd.h>
#endif

#include "base/version.h"
#include "dictionary/colour_rules.h"
#include "dictionary/dictionary_walk.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "dictionary/raster_layout.h"
#include "base/file_reader.h"
#include "dictionary/text.h"
#include "export/destination.h"
#include "export/export_run.h"
#include "export/image_writers.h"
#include "shell/file_type_registration.h"

namespace {

using namespace kelmora;
namespace fs = std::filesystem;

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

int FormatFromName(const std::string& name) {
    std::string n = Lower(name);
    if (n == "bmp")
        return FormatBmp;
    if (n == "jpg" || n == "jpeg")
        return FormatJpeg;
    if (n == "tga")
        return FormatTga;
    if (n == "png")
        return FormatPng;
    return -1;
}

// Files and directories as the commands take them: a directory stands for every
// .txd below it, in name order.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (!DirectoryExists(arg)) {
            files.push_back(arg);
            continue;
        }
        std::vector<fs::path> found;
        for (const auto& e : fs::recursive_directory_iterator(arg))
            if (e.is_regular_file() && Lower(e.path().extension().string()) == ".txd")
                found.push_back(e.path());
        std::sort(found.begin(), found.end());
        for (const fs::path& p : found)
            files.push_back(p.string());
    }
    return files;
}

// The walk of a file that must be a dictionary.
WalkResult WalkChecked(const std::string& file) {
    WalkResult walk = WalkDictionary(file);
    if (!walk.StartsAsDictionary)
        throw KelmoraError(file + " is not a texture dictionary");
    return walk;
}

std::string JsonString(const std::string& utf8) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 32 || c == 127) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// One dictionary as a JSON object.
std::string JsonDictionary(const std::string& file, const WalkResult& walk, const std::string& error) {
    std::string j = "    {\"path\": " + JsonString(file) + ", \"count\": " + std::to_string(walk.Count) +
                    ", \"complete\": " + (walk.End == WalkEnd::Stopped || !error.empty() ? "false" : "true");
    if (!error.empty())
        j += ", \"error\": " + JsonString(error);
    j += ", \"textures\": [";
    for (std::size_t i = 0; i < walk.Listed; ++i) {
        const TTexEntry& e = walk.Entries[i];
        std::size_t levels = 0;
        if (e.Depth != 0) {
            FileReader r(file);
            const RasterLayout layout = ReadRasterLayout(r, e.DataOffset);
            levels = layout.Levels.size();
        }
        j += std::string(i ? "," : "") + "\n      {\"number\": " + std::to_string(i + 1) +
             ", \"name\": " + JsonString(Cp1252ToUtf8(e.Name)) + ", \"mask\": " + JsonString(Cp1252ToUtf8(e.Mask)) +
             ", \"width\": " + std::to_string(e.Width) + ", \"height\": " + std::to_string(e.Height) +
             ", \"depth\": " + std::to_string(e.Depth) + ", \"levels\": " + std::to_string(levels) +
             ", \"dataOffset\": " + std::to_string(e.DataOffset) +
             ", \"caption\": " + JsonString(Cp1252ToUtf8(e.Caption)) + "}";
    }
    return j + (walk.Listed ? "\n    ]}" : "]}");
}

int List(const std::vector<std::string>& args, bool json) {
    const std::vector<std::string> files = ExpandInputs(args);
    int status = kOk;
    bool first = true;
    if (json)
        std::cout << "{\"dictionaries\": [";
    for (const std::string& file : files) {
        WalkResult walk;
        std::string error;
        try {
            walk = WalkChecked(file);
            if (walk.End == WalkEnd::Stopped)
                error = WalkFailure(file, walk.Report);
        } catch (const KelmoraError& e) {
            error = e.what();
        }
        if (!error.empty())
            status = kFailed;
        if (json) {
            std::cout << (first ? "\n" : ",\n") << JsonDictionary(file, walk, error);
            first = false;
            continue;
        }
        if (files.size() > 1)
            std::cout << (first ? "" : "\n") << file << ":\n";
        first = false;
        for (std::size_t i = 0; i < walk.Listed; ++i)
            std::cout << ForTerminal(walk.Entries[i].Caption) << "\n";
        std::cout.flush();
        if (!error.empty())
            Fail(error);
        else if (walk.End == WalkEnd::Empty)
            std::cerr << FileNameOf(file) << " is empty!\n";
    }
    if (json)
        std::cout << "\n]}\n";
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
};

struct Job {
    std::string file;
    std::string dest;
    std::vector<std::string> inputs; // every dictionary of the batch
};

// The dialog's default destination with the sub directory box checked.
std::string DefaultDestination(const std::string& file) {
    std::string dir = DirectoryPartOf(file);
    return ComposeDestDir(dir.empty() ? "." : dir, true, SubDirNameOf(file));
}

std::vector<Job> PlanJobs(const ExtractOptions& o) {
    std::vector<Job> jobs;
    const bool several = o.files.size() > 1;
    for (const std::string& arg : o.files) {
        if (DirectoryExists(arg)) {
            std::vector<fs::path> found;
            for (const auto& e : fs::recursive_directory_iterator(arg))
                if (e.is_regular_file() && Lower(e.path().extension().string()) == ".txd")
                    found.push_back(e.path());
            std::sort(found.begin(), found.end());
            for (const fs::path& p : found) {
                std::string file = p.string();
                if (o.out.empty()) {
                    jobs.push_back({file, DefaultDestination(file), {}});
                } else {
                    fs::path rel = p.parent_path().lexically_relative(arg);
                    std::string base = (fs::path(o.out) / rel).lexically_normal().string();
                    jobs.push_back({file, ComposeDestDir(base, true, SubDirNameOf(file)), {}});
                }
            }
        } else if (o.out.empty()) {
            jobs.push_back({arg, DefaultDestination(arg), {}});
        } else {
            jobs.push_back({arg, ComposeDestDir(o.out, several, SubDirNameOf(arg)), {}});
        }
    }
    // Dictionaries of one batch never share a destination: a later one that would
    // gets the next free name by the same rule as files.
    std::set<std::string> taken;
    std::vector<std::string> inputs;
    for (const Job& j : jobs)
        inputs.push_back(j.file);
    for (Job& j : jobs) {
        j.inputs = inputs;
        std::string dest = j.dest;
        for (unsigned n = 2; !taken.insert(dest).second; ++n) {
            std::string base = j.dest.substr(0, j.dest.size() - 1); // without the separator
            dest = base + "~" + std::to_string(n) + kPathSeparator;
        }
        if (dest != j.dest) {
            Fail(j.file + ": writing to " + dest + " since " + j.dest + " is another dictionary's");
            j.dest = dest;
        }
    }
    return jobs;
}

// "texture 3 (name)" for messages about one texture.
std::string TextureLabel(const WalkResult& walk, std::size_t entry) {
    return "texture " + std::to_string(entry + 1) + " (" + ForTerminal(walk.Entries[entry].Name) + ")";
}

// Exports one dictionary; throws KelmoraError on failure. Returns false when a
// texture was skipped or cut short, which makes the exit status 1.
bool ExtractOne(const Job& job, const ExtractOptions& o, const ExportSettings& base) {
    WalkResult walk = WalkChecked(job.file);
    if (walk.End == WalkEnd::Stopped)
        throw KelmoraError(WalkFailure(job.file, walk.Report));
    std::vector<bool> marks(walk.Entries.size(), o.onlyLines.empty());
    for (std::size_t line : o.onlyLines) {
        if (line > walk.Listed)
            throw KelmoraError(job.file + " has no texture " + std::to_string(line) + " (it lists " +
                               std::to_string(walk.Listed) + ")");
        marks[line - 1] = true;
    }
    std::string reason;
    if (!CreateDirectoryChain(job.dest, &reason) || !DirectoryExists(job.dest))
        throw KelmoraError(DirectoryFailure(reason.empty() ? "\"" + job.dest + "\"." : reason));

    ExportSettings settings = base;
    settings.DestDir = job.dest;
    settings.Inputs = job.inputs;
    ExportCallbacks cb;
    cb.AskOverwrite = [&](const OverwriteQuestion& q) {
        if (!o.quiet)
            std::cerr << "kelmora-cli: skipped texture " << q.Entry + 1 << " (" << ForTerminal(walk.Entries[q.Entry].Name)
                      << "): " << q.Path << " exists\n";
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
            Fail(job.file + ": " + TextureLabel(walk, entry) + ": written as " + written + " since " + wanted +
             " is taken in this run");
    };
    cb.Refused = [&](std::size_t entry, const std::string& message) {
        Fail(job.file + ": " + TextureLabel(walk, entry) + ": " + message);
        clean = false;
    };
    cb.Cancelled = [] { return interrupted != 0; };
    if (o.keepGoing) {
        cb.DecodeFailed = [&](std::size_t entry, const DecodeResult& r) {
            Fail(job.file + ": " + TextureLabel(walk, entry) + ": " + r.Message);
            clean = false;
            return true;
        };
    }
    cb.CutShort = [&](std::size_t entry, const DecodeResult& r) {
        Fail("warning: " + job.file + ": " + TextureLabel(walk, entry) + " is cut short: " +
             std::to_string(r.DataPresent) + " of " + std::to_string(r.DataNeeded) + " bytes of its pixels");
        clean = false;
    };
    DecodeState state;
    ExportOutcome result = RunExport(job.file, walk.Entries, marks, settings, state, cb);
    if (progress)
        std::cerr << "\r                              \r" << std::flush;
    if (!result.Completed)
        throw KelmoraError(job.file + ": " + TextureLabel(walk, result.FailedEntry) + ": " + result.Message);
    if (!o.quiet)
        std::cout << ExportSummary(result.Exported, walk.Listed, result.ElapsedMs, job.dest, ".", result.Renamed,
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
    settings.ExpFormat = static_cast<std::uint8_t>(FormatFromName(o.format));
    settings.ExpLevels = o.levels;

    int status = kOk;
    const std::vector<Job> jobs = PlanJobs(o);
    std::size_t exported = 0, failed = 0;
    // A batch ends with its total on standard error.
    auto total = [&] {
        if (jobs.size() > 1 && !o.quiet)
            std::cerr << "kelmora-cli: " << jobs.size() << " dictionaries: " << exported << " exported, " << failed
                      << " failed\n";
    };
    for (const Job& job : jobs) {
        try {
            if (ExtractOne(job, o, settings)) {
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
    total();
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
    int format = -1;
    if (!o.format.empty()) {
        format = FormatFromName(o.format);
    } else {
        std::string ext = fs::path(o.out).extension().string();
        format = ext.empty() ? -1 : FormatFromName(ext.substr(1));
    }
    if (format < 0) {
        std::cerr << "kelmora-cli: cannot tell the format of " << o.out << "; use -f bmp|jpg|tga|png\n";
        return kUsage;
    }
    WalkResult walk = WalkChecked(o.file);
    if (walk.End == WalkEnd::Stopped)
        throw KelmoraError(WalkFailure(o.file, walk.Report));
    if (o.index == 0 || o.index > walk.Listed)
        throw KelmoraError(o.file + " has no texture " + std::to_string(o.index) + " (it lists " +
                           std::to_string(walk.Listed) + ")");
    DecodeState state;
    DecodeResult r = DecodeRaster(o.file, walk.Entries[o.index - 1], !o.noFilter, state);
    if (!r.Ok())
        throw KelmoraError(o.file + ": " + TextureLabel(walk, o.index - 1) + ": " + r.Message);
    if (r.CutShort())
        Fail("warning: " + o.file + ": " + TextureLabel(walk, o.index - 1) + " is cut short: " +
             std::to_string(r.DataPresent) + " of " + std::to_string(r.DataNeeded) + " bytes of its pixels");
    const bool brighten = !o.noBrighten;
    if (format == FormatTga)
        WriteTga32(o.out, state, brighten);
    else if (format == FormatPng)
        WritePng(o.out, state, brighten);
    else if (format == FormatBmp)
        WriteBmp(MakePicture(state, o.alpha, brighten), o.out);
    else
        WriteJpeg(MakePicture(state, o.alpha, brighten), o.out);
    return r.CutShort() ? kFailed : kOk;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Kelmora: lists and exports the textures of PlayStation 2 texture dictionaries (.txd)",
                 "kelmora-cli"};
    app.set_version_flag("--version", std::string("kelmora-cli ") + kVersion);
    app.require_subcommand(1);
    auto formats = CLI::IsMember({"bmp", "jpg", "jpeg", "tga", "png"}, CLI::ignore_case);

    std::vector<std::string> listFiles;
    bool listJson = false;
    CLI::App* list = app.add_subcommand("list", "Print the texture lists of dictionaries, one caption per line");
    list->add_option("FILE", listFiles, "Dictionaries or directories (every .txd below them)")->required();
    list->add_flag("--json", listJson, "One JSON document with every dictionary's textures");

    ExtractOptions ex;
    CLI::App* extract = app.add_subcommand(
        "extract", "Export textures of one or more dictionaries (directories: every .txd below them)");
    extract->add_option("FILE", ex.files, "Dictionaries or directories")->required();
    extract->add_option("-o,--output", ex.out,
                        "Destination directory (default: a sub directory next to each dictionary, named after it)");
    extract->add_option("-f,--format", ex.format, "bmp, jpg, tga or png (default bmp)")->transform(formats);
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
    save->add_option("-f,--format", sv.format, "bmp, jpg, tga or png (default: from OUT's extension)")->transform(formats);
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
            return Finish(List(listFiles, listJson));
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
