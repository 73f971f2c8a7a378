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

} // namespace

void SearchTextures(const std::string& where, const std::string& pattern,
                    const std::function<void(TextureMatch&&)>& found,
                    const std::function<void(const std::string& message)>& problem,
                    const std::function<bool()>& stop) {
    if (!DirectoryExists(where)) {
        const GameArchive archive = OpenGameArchive(where);
        const auto data = std::make_shared<FileSource>(archive.DataFile);
        for (const ArchiveEntry* e : archive.Dictionaries()) {
            if (stop && stop())
                return;
            try {
                SearchOne(std::make_shared<RangeSource>(data, e->Offset, e->Size), where, e->Name, pattern, found);
            } catch (const KelmoraError& error) {
                problem(error.what());
            }
        }
        return;
    }
    try {
        ForEachDictionaryBelow(where, [&](const std::string& file) {
            if (stop && stop())
                throw Stopped{};
            try {
                SearchOne(std::make_shared<FileSource>(file), file, "", pattern, found);
            } catch (const KelmoraError& error) {
                problem(error.what());
            }
        });
    } catch (const Stopped&) {
    } catch (const std::filesystem::filesystem_error& e) {
        problem(e.what());
    }
}

} // namespace kelmora
