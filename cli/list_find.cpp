#include "cli/list_find.h"

#include <algorithm>
#include <iostream>
#include <optional>

#include <nlohmann/json.hpp>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "archive/texture_search.h"
#include "base/paths.h"
#include "base/text.h"
#include "cli/cli_common.h"
#include "cli/cli_text.h"
#include "cli/progress.h"
#include "dictionary/texture_codec.h"

namespace kelmora::cli {

namespace {

using json = nlohmann::ordered_json;

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

} // namespace

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
                footer.Label = arg;
                footer.Footer = "free: " + std::to_string(FreeBytes(OpenGameArchive(arg))) +
                                " bytes that a rebuild recovers";
                targets.push_back(std::move(footer));
            } catch (const std::runtime_error& e) {
                Fail(ErrorLine(e));
                clean = false;
            }
            break;
        case InputKind::ArchiveEntry:
            try {
                targets.push_back(EntryTarget(arg));
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
    // An archive's empty dictionaries are counted and said once, after its list.
    std::size_t empty = 0, inArchive = 0;
    for (const Target& t : targets) {
        if (!t.Footer.empty()) {
            if (!o.json && empty > 0) {
                std::cout.flush();
                Fail(t.Label + ": " + std::to_string(empty) + " of " + std::to_string(inArchive) +
                     " dictionaries are empty");
            }
            if (!o.json)
                std::cout << t.Footer << "\n";
            empty = inArchive = 0;
            continue;
        }
        const bool ofArchive = t.InArchive() && !t.ByName;
        inArchive += ofArchive;
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
        if (t.InArchive() && !o.all && !t.ByName) {
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
        else if (d && d->Walk().End == WalkEnd::Empty && ofArchive)
            ++empty;
        else if (d && d->Walk().End == WalkEnd::Empty)
            Fail(FileNameOf(t.Label) + " is empty!");
    }
    if (o.json)
        std::cout << json{{"dictionaries", std::move(all)}}.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return status;
}


// Every texture whose name or mask name matches, over dictionaries, folders and
// archives, one line each as it is found; nothing is kept but the JSON matches.
int Find(const FindOptions& o) {
    bool clean = true;
    std::size_t found = 0, searched = 0;
    json matches = json::array();
    TerminalProgress progress(!o.json);
    auto visit = [&](const Target& t) {
        progress.Show(std::to_string(++searched) + " dictionaries searched, " + std::to_string(found) + " found");
        try {
            const Dictionary d = OpenTarget(t);
            const std::string where = t.InArchive() ? t.File + "::" + ForTerminal(t.ArchiveName) : t.File;
            const std::span<const TTexEntry> entries = WholeEntries(d);
            for (std::size_t i = 0; i < entries.size(); ++i) {
                const TTexEntry& e = entries[i];
                // The window's rule: a pattern with * or ? as a glob, any other as part of a name.
                if (!MatchesTextureName(o.pattern, e))
                    continue;
                ++found;
                if (o.json) {
                    json m = JsonTexture(d, i);
                    m["path"] = t.File;
                    if (t.InArchive()) {
                        m["archive"] = t.File;
                        m["entry"] = Cp1252ToUtf8(t.ArchiveName);
                    }
                    matches.push_back(std::move(m));
                } else {
                    ClearProgressForOutput();
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
        case InputKind::ArchiveEntry:
            try {
                visit(EntryTarget(arg));
            } catch (const std::runtime_error& e) {
                Fail(ErrorLine(e));
                clean = false;
            }
            break;
        case InputKind::Dictionary:
            visit(FileTarget(arg));
            break;
        }
    }
    if (o.json)
        std::cout << json{{"matches", std::move(matches)}}.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    // As grep does: nothing found is exit status 1.
    return clean && found > 0 ? kOk : kFailed;
}

} // namespace kelmora::cli
