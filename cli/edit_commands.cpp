#include "cli/edit_commands.h"
#include "cli/edit_support.h"
#include "cli/progress.h"
#include "base/paths.h"
#include "cli/cli_text.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>
#include <vector>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/ordered_pool.h"
#include "base/os_file.h"
#include "base/text.h"
#include "editing/dictionary_edit.h"
#include "editing/put_back.h"
#include "dictionary/record_layout.h"
#include "editing/texture_import.h"
#include "export/destination.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "export/unique_names.h"

namespace kelmora::cli {

void Note(const std::string& line) {
    ClearProgressLine();
    std::cerr << "kelmora-cli: " << line << "\n";
}

namespace {

} // namespace

std::size_t FindTexture(const Dictionary& d, const std::string& file, const std::string& texture) {
    std::size_t index = d.Entries().size();
    if (!texture.empty() && texture.find_first_not_of("0123456789") == std::string::npos && texture.size() < 10) {
        const std::size_t n = std::stoul(texture);
        if (n == 0 || n > d.Entries().size())
            throw KelmoraError(ErrorCode::NoSuchTexture, {.File = file, .Number = n, .Limit = d.Entries().size()});
        index = n - 1;
    } else {
        // The name as stored first; else the one name that differs only in case,
        // the rule the duplicate check and find go by.
        std::vector<std::size_t> alike;
        for (std::size_t i = 0; i < d.Entries().size() && index == d.Entries().size(); ++i) {
            const std::string name = Cp1252ToUtf8(d.Entries()[i].Name);
            if (name == texture)
                index = i;
            else if (SameNameIgnoringCase(name, texture))
                alike.push_back(i);
        }
        if (index == d.Entries().size() && alike.size() == 1)
            index = alike[0];
        if (index == d.Entries().size() && alike.size() > 1) {
            std::string numbers;
            for (std::size_t i : alike)
                numbers += (numbers.empty() ? "" : ", ") + std::to_string(i + 1);
            throw KelmoraError(ErrorCode::TexturesAlike,
                               {.File = file, .Name = texture, .Number = alike.size(), .List = numbers});
        }
        if (index == d.Entries().size())
            throw KelmoraError(ErrorCode::NoTextureNamed, {.File = file, .Name = texture});
    }
    return index;
}

int Replace(const EditOptions& o, const std::string& texture, const std::string& image) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::size_t index = FindTexture(edit.Current(), o.Dictionary, texture);
    std::vector<std::string> lines;
    const bool replaced = PutBack(edit, o.Dictionary, index, image, "", o, {}, lines);
    FinishEdit(edit, o, place, replaced ? 1 : 0, lines);
    return 0;
}

int Add(const EditOptions& o, const std::string& image, const std::string& name, const std::string& mask,
        std::uint32_t levels) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::string label = "new texture (" + EscapeControls(name) + ")";
    try {
        AddImage(edit, ReadImage(image), image, Utf8ToCp1252(name), Utf8ToCp1252(mask), levels, PutOptionsOf(o));
    } catch (const KelmoraError& e) {
        // Image failures name the image themselves; the others are about the name or levels.
        Refuse(e, o.Dictionary, label, "");
    }
    const std::string line = "added " + Label(edit.Current(), edit.Current().Entries().size() - 1) + " from " +
                             EscapeControls(image);
    FinishEdit(edit, o, place, -1, {line});
    return 0;
}

int Remove(const EditOptions& o, const std::string& texture) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::size_t index = FindTexture(edit.Current(), o.Dictionary, texture);
    const std::string label = Label(edit.Current(), index);
    try {
        edit.Remove(index);
    } catch (const KelmoraError& e) {
        Refuse(e, o.Dictionary, label, "");
    }
    FinishEdit(edit, o, place, -1, {"removed " + label});
    return 0;
}

int Rename(const EditOptions& o, const std::string& texture, const std::string& name, const std::string* mask) {
    Place place;
    DictionaryEdit edit = OpenForEdit(o, place);
    const std::size_t index = FindTexture(edit.Current(), o.Dictionary, texture);
    const std::string label = Label(edit.Current(), index);
    try {
        edit.Rename(index, Utf8ToCp1252(name), mask ? Utf8ToCp1252(*mask) : edit.Current().Entries()[index].Mask);
    } catch (const KelmoraError& e) {
        Refuse(e, o.Dictionary, label, "");
    }
    FinishEdit(edit, o, place, -1, {"renamed " + label + " to " + EscapeControls(name)});
    return 0;
}

} // namespace kelmora::cli
