#include "cli/edit_support.h"

#include <cctype>

#include "editing/native_put.h"

#include <iostream>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "base/text.h"
#include "cli/cli_text.h"
#include "editing/texture_import.h"
#include "words/engine_words.h"

namespace kelmora::cli {

std::string Label(const Dictionary& d, std::size_t i) {
    return TextureLabel(i, ShownText(d.Entries()[i].Name));
}

namespace {
ImportOptions OptionsOf(const EditOptions& o) { return {!o.NoBrighten, !o.NoDither, o.KeepPalette}; }
} // namespace


Place PlaceOf(const std::string& arg) {
    const std::size_t k = arg.find("::");
    if (k == std::string::npos)
        return {arg, ""};
    const std::string archive = arg.substr(0, k), wanted = arg.substr(k + 2);
    for (const ArchiveEntry& e : OpenGameArchive(archive).Entries)
        if (NamesEntry(e.Name, wanted))
            return {archive, e.Name};
    throw KelmoraError(ErrorCode::NoSuchEntry, {.File = archive, .Name = wanted});
}

std::vector<std::uint8_t> ReadPlace(const Place& p) {
    if (!p.InArchive())
        return ReadAllBytes(FileSource(p.File));
    const GameArchive a = OpenGameArchive(p.File);
    for (const ArchiveEntry& e : a.Entries)
        if (e.Name == p.Entry)
            return ReadAllBytes(RangeSource(std::make_shared<FileSource>(a.DataFile), e.Offset, e.Size));
    throw KelmoraError(ErrorCode::NoSuchEntry, {.File = p.File, .Name = p.Entry});
}

DictionaryEdit OpenForEdit(const EditOptions& o, Place& place) {
    place = PlaceOf(o.Dictionary);
    std::vector<std::uint8_t> bytes;
    if (place.InArchive() && o.Output.empty()) {
        place.Archive = std::make_shared<ArchiveEdit>(place.File);
        bytes = place.Archive->Read(place.Entry);
    } else if (!place.InArchive() && o.Output.empty()) {
        if (IsReadOnlyFile(place.File))
            throw KelmoraError(ErrorCode::ReadOnly, {.File = place.File});
        place.Lock = std::make_shared<FileLock>();
        if (!FileLock::TryTake(place.File, *place.Lock))
            throw KelmoraError(ErrorCode::FileBusy, {.File = place.File});
        bytes = ReadPlace(place);
        place.Stamp = StampOfRead(place.File, bytes);
    } else {
        bytes = ReadPlace(place);
    }
    CheckEditable(bytes, o.Dictionary);
    DictionaryEdit edit(std::move(bytes), !o.NoFilter);
    edit.AllowDuplicateNames(o.AllowDuplicate);
    return edit;
}

PutBackOptions PutOptionsOf(const EditOptions& o) {
    PutBackOptions p{!o.NoFilter, OptionsOf(o), o.Depth};
    if (!o.Format.empty()) {
        p.Format = NativeFormatNamed(o.Format);
        if (p.Format == NativeFormat::Unknown)
            throw KelmoraError(ErrorCode::UnknownFormatName, {.Name = o.Format});
    }
    std::string q;
    for (char c : o.Quality)
        q += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.Quality = q == "fast" ? DxtQuality::Fast : q == "best" ? DxtQuality::Best : DxtQuality::Normal;
    return p;
}

// A refusal said of the dictionary, the texture and the image (empty: none):
// "DICT: texture 6 (name): IMAGE: reason", each named once.
[[noreturn]] void Refuse(const KelmoraError& error, const std::string& dictionary, const std::string& texture,
                         const std::string& image) {
    std::vector<std::string> places = {dictionary, texture};
    if (!image.empty())
        places.push_back(image);
    throw error.Within(std::move(places));
}

void Report(std::vector<std::string>& lines, const std::string& label, const std::string& image,
            const PutOutcome& r) {
    if (!r.Changed)
        return;
    lines.push_back("replaced " + label + " from " + EscapeControls(image));
    // The shape said where more changed than the format that makes room for alpha (said below).
    if (r.Resized() || r.Before.Depth != r.After.Depth || (r.Before.Format != r.After.Format && !r.FormatForAlpha)) {
        std::string change = std::to_string(r.Before.Width) + " x " + std::to_string(r.Before.Height) + " -> " +
                             std::to_string(r.After.Width) + " x " + std::to_string(r.After.Height);
        if (r.Before.Depth != r.After.Depth)
            change += ", " + std::to_string(r.Before.Depth) + " -> " + std::to_string(r.After.Depth) + " bits";
        if (r.Before.Format != r.After.Format)
            change += ", " + r.Before.Format + " -> " + r.After.Format;
        change += ", " + std::to_string(r.After.Levels) + (r.After.Levels == 1 ? " level" : " levels");
        lines.push_back(label + ": " + change);
    }
    if (r.FormatForAlpha)
        lines.push_back(label + ": " + EscapeControls(image) + " has alpha that " + r.Before.Format +
                        " does not hold; the texture is now " + r.After.Format);
    if (r.Alpha == AlphaSource::Kept)
        lines.push_back(label + ": " + EscapeControls(image) + " has no alpha; the texture keeps its present alpha");
    else if (r.Alpha == AlphaSource::Opaque)
        lines.push_back(label + ": " + EscapeControls(image) + " has no alpha; the texture of its new size is opaque");
}

InputImage ImageWithCompanion(const std::string& image, const std::string& companion) {
    InputImage img = ReadImage(image);
    if (!img.HasAlpha && !companion.empty() && IsRegularFile(companion))
        img = WithAlphaFrom(img, ReadImage(companion), companion);
    return img;
}

bool PutBack(DictionaryEdit& edit, const std::string& dictionary, std::size_t i, const std::string& image,
             const std::string& companion, const EditOptions& o, const std::vector<std::string>& mipFiles,
             std::vector<std::string>& lines) {
    const std::string label = Label(edit.Current(), i);
    PutOutcome r;
    try {
        r = PutImage(edit, i, ImageWithCompanion(image, companion), image, PutOptionsOf(o), mipFiles);
    } catch (const KelmoraError& e) {
        Refuse(e, dictionary, label, image);
    }
    Report(lines, label, image, r);
    return r.Changed;
}

void FinishEdit(const DictionaryEdit& edit, const EditOptions& o, const Place& place, long replaced,
                const std::vector<std::string>& lines) {
    const std::string target = o.Output.empty() ? o.Dictionary : o.Output;
    // With -o the dictionary is written whatever changed; over itself only when
    // something did.
    const bool write = edit.Changed() || !o.Output.empty();
    if (write) {
        edit.Verify();
        if (!o.Output.empty()) {
            SaveDictionary(o.Output, edit.Bytes());
        } else if (!place.InArchive()) {
            SaveDictionary(place.File, edit.Bytes(), &place.Stamp, place.Lock.get());
        } else {
            place.Archive->Put(place.Entry, edit.Bytes());
            place.Archive->Commit();
        }
    }
    for (const std::string& line : lines)
        std::cout << line << "\n";
    const std::size_t count = edit.Current().Entries().size();
    if (replaced < 0)
        std::cout << count << " texture(s) in " << target << ".\n";
    else
        std::cout << replaced << " of " << count << " texture(s) replaced"
                  << (write ? " in " + target : std::string(", nothing written")) << ".\n";
}

} // namespace kelmora::cli
