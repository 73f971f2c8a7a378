#include "archive/texture_search.h"

#include <filesystem>
#include <memory>

#include "archive/game_archive.h"
#include "base/byte_source.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "base/paths.h"
#include "base/text.h"
#include "dictionary/dictionary.h"

namespace kelmora {

bool MatchesTextureName(const std::string& pattern, const TTexEntry& texture) {
    const std::string name = Cp1252ToUtf8(texture.Name), mask = Cp1252ToUtf8(texture.Mask);
    if (pattern.find_first_of("*?") != std::string::npos)
        return GlobMatch(pattern, name) || GlobMatch(pattern, mask);
    const std::string anywhere = "*" + pattern + "*";
    return GlobMatch(anywhere, name) || GlobMatch(anywhere, mask);
}

namespace {

struct Stopped {};

void SearchOne(const std::shared_ptr<const ByteSource>& source, const std::string& file, const std::string& entry,
               const std::string& pattern, const std::function<void(TextureMatch&&)>& found) {
    const Dictionary d(source);
    if (!d.IsDictionary())
        return;
    const auto entries = d.Entries();
    // The record a walk stopped at is not whole: it is left out.
    const std::size_t whole = d.Complete() || entries.empty() ? entries.size() : entries.size() - 1;
    for (std::size_t i = 0; i < whole; ++i)
        if (MatchesTextureName(pattern, entries[i]))
            found({file, entry, i, entries[i]});
}

// The dictionaries of an archive, in the order of its table.
void SearchArchive(const std::string& path, const std::string& pattern, const std::function<void(TextureMatch&&)>& found,
                   const std::function<void(const std::exception&)>& problem, const std::function<bool()>& stop) {
    const GameArchive archive = OpenGameArchive(path);
    const auto data = std::make_shared<FileSource>(archive.DataFile);
    for (const ArchiveEntry* e : archive.Dictionaries()) {
        if (stop && stop())
            throw Stopped{};
        try {
            SearchOne(std::make_shared<RangeSource>(data, e->Offset, e->Size), path, e->Name, pattern, found);
        } catch (const KelmoraError& error) {
            problem(error);
        }
    }
}

} // namespace

void SearchTextures(const std::string& where, const std::string& pattern,
                    const std::function<void(TextureMatch&&)>& found,
                    const std::function<void(const std::exception& error)>& problem,
                    const std::function<bool()>& stop) {
    try {
        if (DirectoryExists(where)) {
            // The .txd files and the game archives (.img) below the folder, in name order.
            ForEachFileBelow(where, [&](const std::string& path) {
                if (stop && stop())
                    throw Stopped{};
                try {
                    if (HasExtension(path, ".txd"))
                        SearchOne(std::make_shared<FileSource>(path), path, "", pattern, found);
                    else if (HasExtension(path, ".img") && IsGameArchive(path))
                        SearchArchive(path, pattern, found, problem, stop);
                } catch (const KelmoraError& error) {
                    problem(error);
                }
            });
        } else
            SearchArchive(where, pattern, found, problem, stop);
    } catch (const Stopped&) {
    } catch (const std::filesystem::filesystem_error& e) {
        problem(e);
    }
}

} // namespace kelmora
