#include "cli/convert_command.h"

#include <filesystem>
#include <iostream>
#include <vector>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/atomic_output.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/ordered_pool.h"
#include "base/os_file.h"
#include "base/paths.h"
#include "base/text.h"
#include "cli/cli_common.h"
#include "cli/cli_text.h"
#include "cli/progress.h"
#include "editing/convert.h"
#include "editing/dictionary_edit.h"
#include "words/engine_words.h"

namespace kelmora::cli {

namespace {

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

DxtQuality QualityNamed(const std::string& name) {
    const std::string q = Lower(name);
    return q == "fast" ? DxtQuality::Fast : q == "best" ? DxtQuality::Best : DxtQuality::Normal;
}

ConvertResult ConvertBytes(std::shared_ptr<const ByteSource> source, const ConvertOptions& o, const std::string& label) {
    const Dictionary d(std::move(source));
    try {
        return ConvertDictionary(d, o);
    } catch (const KelmoraError& e) {
        throw e.Within({label});
    }
}

// Says what a dictionary's conversion changed; refusals, each said within its
// dictionary and texture, end the command.
std::size_t Say(const ConvertResult& r, const std::string& dictionary, const std::string& where, bool quiet) {
    if (!r.Refused.empty()) {
        const auto placed = [&](const ConvertResult::Refusal& refusal) {
            return refusal.Error.Within({dictionary, "texture " + std::to_string(refusal.Texture + 1) + " (" +
                                                         ForTerminal(refusal.Name) + ")"});
        };
        for (std::size_t k = 0; k + 1 < r.Refused.size(); ++k)
            Fail(ErrorLine(placed(r.Refused[k])));
        throw placed(r.Refused.back());
    }
    if (!quiet)
        for (const ConvertNote& n : r.Notes)
            std::cout << where << ConvertNoteText(n, ForTerminal(n.Name)) << "\n";
    return r.Notes.size();
}

void RefuseExisting(const std::string& path) {
    if (FileExists(path) || DirectoryExists(path))
        throw KelmoraError(ErrorCode::OutputExists, {.File = path});
}

int ConvertArchive(const ConvertCommand& c, const ConvertOptions& o) {
    const GameArchive archive = OpenGameArchive(c.Input);
    // Damaged rows are left out of the entries: a copy would silently lose them.
    if (!archive.Problems.empty())
        throw KelmoraError(ErrorCode::ArchiveDamaged,
                           {.File = c.Input, .Reason = ArchiveProblemText(archive.Problems.front())});
    const bool version1 = archive.Kind == ArchiveKind::Version1;
    std::filesystem::path imgPath = PathFromUtf8(c.Output);
    const std::string img = version1 ? PathToUtf8(imgPath.replace_extension(".img")) : c.Output;
    std::vector<std::string> created = {c.Output};
    if (version1)
        created.push_back(img);
    for (const std::string& f : created)
        RefuseExisting(f);
    auto data = std::make_shared<FileSource>(archive.DataFile);
    const std::size_t count = archive.Entries.size();
    // Each dictionary converts on a worker; the archive is written in the entries' order.
    struct Done {
        std::vector<std::uint8_t> Bytes;
        ConvertResult Result;
        bool Dictionary = false;
        std::exception_ptr Failure;
    };
    OrderedPool<Done> pool(count, CoreCount(), [&](std::size_t k) {
        Done done;
        try {
            const ArchiveEntry& e = archive.Entries[k];
            const SourceLocation at = archive.Location(e);
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(at.Size));
            data->ReadExactly(at.Offset, bytes.data(), bytes.size());
            done.Dictionary = e.Name.size() >= 4 && SameNameIgnoringCase(e.Name.substr(e.Name.size() - 4), ".txd");
            if (done.Dictionary)
                done.Result = ConvertBytes(
                    std::make_shared<SharedBufferSource>(std::make_shared<std::vector<std::uint8_t>>(std::move(bytes))),
                    o, c.Input + "::" + e.Name);
            else
                done.Bytes = std::move(bytes);
        } catch (...) {
            done.Failure = std::current_exception();
        }
        return done;
    });
    for (const std::string& f : created) {
        AtomicOutput out(f);
        if (!version1) {
            static const std::uint8_t empty[8] = {'V', 'E', 'R', '2', 0, 0, 0, 0};
            out.Write(empty, sizeof empty);
        }
        out.Commit();
    }
    try {
        ArchiveEdit edit(c.Output);
        TerminalProgress progress(!c.Quiet);
        std::size_t dictionaries = 0, changed = 0;
        for (std::size_t k = 0; k < count; ++k) {
            if (Interrupted.load())
                throw KelmoraError(ErrorCode::Interrupted, {});
            Done done = pool.Take(k);
            if (done.Failure)
                std::rethrow_exception(done.Failure);
            const ArchiveEntry& e = archive.Entries[k];
            if (done.Dictionary) {
                progress.Clear();
                changed += Say(done.Result, c.Input + "::" + e.Name, ForTerminal(e.Name) + ": ", c.Quiet);
                done.Bytes = std::move(done.Result.Bytes);
                ++dictionaries;
            }
            edit.Put(e.Name, std::move(done.Bytes));
            progress.Show("entry " + std::to_string(k + 1) + " of " + std::to_string(count));
        }
        progress.Clear();
        edit.Commit();
        std::cout << Plural(dictionaries, "dictionary", "dictionaries") << " of " << c.Input << " converted to "
                  << PlatformName(o.To) << " in " << c.Output << " (" << count << " entries); "
                  << Plural(changed, "texture", "textures") << " changed more than their records.\n";
    } catch (...) {
        for (const std::string& f : created)
            RemoveFile(f);
        throw;
    }
    return kOk;
}

} // namespace

int Convert(const ConvertCommand& c) {
    ConvertOptions o;
    o.To = PlatformNamed(c.To);
    o.Compress = !c.Compress.empty();
    o.Quality = QualityNamed(c.Quality);
    o.Depth = c.Depth;
    o.Resize = c.Resize;
    o.Dither = !c.NoDither;
    o.Unswizzle = !c.NoFilter;
    if (KindOf(c.Input) == InputKind::Archive)
        return ConvertArchive(c, o);
    RefuseExisting(c.Output);
    const bool entry = KindOf(c.Input) == InputKind::ArchiveEntry;
    const Target target = entry ? EntryTarget(c.Input) : FileTarget(c.Input);
    const Dictionary source = OpenTarget(target);
    ConvertResult r;
    try {
        r = ConvertDictionary(source, o);
    } catch (const KelmoraError& e) {
        throw e.Within({target.Label});
    }
    const std::size_t changed = Say(r, target.Label, "", c.Quiet);
    SaveDictionary(c.Output, r.Bytes);
    std::cout << Plural(r.Textures, "texture", "textures") << " of " << target.Label << " converted to "
              << PlatformName(o.To) << " in " << c.Output << "; " << Plural(changed, "texture", "textures")
              << " changed more than their records.\n";
    return kOk;
}

} // namespace kelmora::cli
