#include "words/engine_words.h"

#include <cstdio>

#include "archive/archive_edit.h"
#include "base/text.h"

namespace kelmora {

namespace {

std::string N(std::uint64_t v) { return std::to_string(v); }
std::string Size(std::uint64_t w, std::uint64_t h) { return N(w) + " x " + N(h); }
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }
std::string Label(const ErrorFacts& f) { return TextureLabel(f.Texture, ShownText(f.Name)); }

// "the name" or "the mask name", and the name as a terminal shows it.
std::string TextureName(const ErrorFacts& f) {
    return std::string("the ") + (f.Detail == 1 ? "mask name " : "name ") + Quoted(ShownText(f.Name));
}

std::string EntryName(const ErrorFacts& f) { return "the name " + Quoted(ShownText(f.Name)); }

std::string FixedLayoutText(LayoutBlocks what) {
    switch (what) {
    case LayoutBlocks::Reshape: return "only pictures of the texture's own size and depth can be put back";
    case LayoutBlocks::Add: return "it cannot grow: no texture can be added";
    case LayoutBlocks::Remove: return "no texture can be removed";
    case LayoutBlocks::Rename: return "no texture can be renamed";
    }
    return {};
}

std::string PictureOfText(PictureOf of) {
    switch (of) {
    case PictureOf::Texture: return "the texture";
    case PictureOf::Level: return "the level";
    case PictureOf::Picture: return "its picture";
    }
    return {};
}

std::string EntryLabel(const ArchiveEntry& e) { return "entry " + N(e.Number) + " (" + ShownText(e.Name) + ")"; }

} // namespace

std::string ConvertNoteText(const ConvertNote& n, const std::string& name) {
    std::string line = TextureLabel(n.Texture, name) + ": " + n.FormatBefore + " -> " + n.FormatAfter;
    if (n.Width != n.WidthBefore || n.Height != n.HeightBefore)
        line += ", " + Size(n.WidthBefore, n.HeightBefore) + " -> " + Size(n.Width, n.Height);
    if (n.Levels < n.LevelsBefore)
        line += ", " + N(n.LevelsBefore - n.Levels) + " of " + N(n.LevelsBefore) + " levels dropped";
    if (n.Compressed)
        line += ", compressed";
    if (n.LostColours)
        line += ", colours lost";
    if (n.LostAlpha)
        line += ", alpha rounded";
    return line;
}

std::string RecoveryText(const std::string& file) { return "finished undoing an interrupted edit of " + file; }

namespace {

std::string Words(const KelmoraError& error);

} // namespace

std::string ErrorText(const KelmoraError& error) {
    // Each place once: one the words start with already is not said again.
    std::string words = Words(error), before;
    for (const std::string& place : error.Facts().Context) {
        if (place.empty())
            continue;
        if (words.compare(0, place.size() + 2, place + ": ") == 0)
            words.erase(0, place.size() + 2);
        else if (words.compare(0, place.size(), place) == 0)
            continue;
        before += place + ": ";
    }
    return before + words;
}

namespace {

std::string Words(const KelmoraError& error) {
    const ErrorFacts& f = error.Facts();
    switch (error.Code()) {
    case ErrorCode::CannotOpen: return "Cannot open file " + Quoted(f.File) + ". " + f.Reason;
    case ErrorCode::NotRegularFile: return "Not a regular file: " + f.File;
    case ErrorCode::CannotCreate: return "Cannot create file " + Quoted(f.File) + ". " + f.Reason;
    case ErrorCode::CreateOverNonRegular: return "Cannot create file " + Quoted(f.File) + ". Not a regular file";
    case ErrorCode::CannotOpenForWriting: return "Cannot open file " + Quoted(f.File) + " for writing. " + f.Reason;
    case ErrorCode::WriteToNonRegular: return "Cannot open file " + Quoted(f.File) + " for writing. Not a regular file";
    case ErrorCode::StreamWrite: return "Stream write error: " + Quoted(f.File) + ". " + f.Reason;
    case ErrorCode::ReadOnly: return f.File + " is read-only";
    case ErrorCode::NoSuchTexture:
        return (f.File.empty() ? "no texture " + N(f.Number) + " in this dictionary"
                               : f.File + " has no texture " + N(f.Number)) +
               " (it lists " + N(f.Limit) + ")";
    case ErrorCode::TexturesAlike:
        return f.File + " has " + N(f.Number) + " textures named " + EscapeControls(f.Name) + " in other cases (" +
               f.List + "); give the number";
    case ErrorCode::NoTextureNamed: return f.File + " has no texture named " + EscapeControls(f.Name);
    case ErrorCode::WalkStopped:
        return f.File + ": texture " + N(f.Texture + 1) + " of " + N(f.Count) + " (" + ShownText(f.Name) +
               "): can't jump to position " + std::to_string(static_cast<std::int64_t>(f.Number)) +
               ", file size is only " + N(f.Limit);
    case ErrorCode::SidesNotForConsole:
        return Size(f.Width, f.Height) + ": the console's sides are powers of two from 8 to 1024; --resize scales the "
                                          "texture";
    case ErrorCode::OutputExists: return f.File + " exists already; nothing was written over it";
    case ErrorCode::ArchiveExistsAlready:
        return f.File + " exists already; --create makes a new archive, nothing was written";
    case ErrorCode::StoppedUnreadable: return "stopped: " + f.File + " cannot be read";
    case ErrorCode::Interrupted: return "interrupted; the files written so far stay";
    case ErrorCode::OutputNotForArchive:
        return "-o takes one dictionary; import into " + f.File + " writes the archive itself";
    case ErrorCode::OutputNotForFolder:
        return "-o takes one dictionary; import into the folder " + f.File + " writes its dictionaries themselves";
    case ErrorCode::NoArchiveFolder:
        return f.File + " holds no folder " + EscapeControls(f.Name) + " of the archive's dictionaries";
    case ErrorCode::NotAFolder: return f.File + " is not a folder";
    case ErrorCode::ReadFailed: return "Cannot read file " + Quoted(f.File) + ". " + f.Reason;
    case ErrorCode::ReadEndsEarly:
        return "Cannot read file " + Quoted(f.File) + ". It ends at byte " + std::to_string(f.Number) +
               ", before byte " + std::to_string(f.Limit);
    case ErrorCode::FileBusy: return "another program is changing " + f.File + "; nothing was written";
    case ErrorCode::ChangedOnDisk: return f.File + " changed on disk since it was read; nothing was written";
    case ErrorCode::CannotCreateDirectory:
        return "Directory cannot be created! " + Quoted(f.File) + "." + (f.Reason.empty() ? "" : " " + f.Reason);
    case ErrorCode::NotUtf8: return Quoted(EscapeControls(f.Name)) + " is not UTF-8 text";
    case ErrorCode::CharacterNotInNames:
        return Quoted(EscapeControls(f.Name)) + " holds a character that texture names cannot";
    case ErrorCode::NotAnArchive: return f.File + " is not a game archive";
    case ErrorCode::NotAnArchiveNoTable:
        return f.File + " is not a game archive: it does not start with VER2 and has no " + EscapeControls(f.Name) + " beside it";
    case ErrorCode::NoDataFile: return f.File + " has no data file: " + EscapeControls(f.Name) + " is missing";
    case ErrorCode::ArchiveDamaged: {
        const auto* damaged = dynamic_cast<const ArchiveDamagedError*>(&error);
        return f.File + ": the archive's table is damaged" +
               (damaged ? " (" + EscapeControls(ArchiveProblemText(damaged->Problem)) + ")" : std::string()) +
               "; nothing is written into it: a rebuild copies what can be read";
    }
    case ErrorCode::EntryEmpty: return ShownText(f.Name) + ": an archive's entry cannot be empty";
    case ErrorCode::EntryTooLarge:
        return ShownText(f.Name) + ": " + N(f.Number) + " bytes are more than a version 2 entry holds (" + N(f.Limit) + ")";
    case ErrorCode::NoSuchEntry: return f.File + " has no entry named " + EscapeControls(f.Name);
    case ErrorCode::EntryExists: return f.File + " has an entry named " + ShownText(f.Name) + " already";
    case ErrorCode::EntryNameEmpty: return "an entry's name cannot be empty";
    case ErrorCode::EntryNameTooLong:
        return EntryName(f) + " is " + N(f.Name.size()) + " characters long; an archive's table holds at most " +
               N(f.Limit);
    case ErrorCode::EntryNameNotAscii: return EntryName(f) + " holds a character other than printable ASCII";
    case ErrorCode::EntryNameSeparator: return EntryName(f) + " holds a path separator";
    case ErrorCode::EntryNameBlank: return EntryName(f) + " begins or ends with a blank";
    case ErrorCode::PictureEmpty: return f.File + ": the picture is empty";
    case ErrorCode::PictureTooLarge: return f.File + ": " + Size(f.Width, f.Height) + " is too large";
    case ErrorCode::ImageCutShort: return f.File + ": the image is cut short";
    case ErrorCode::PngError: return f.File + ": PNG error: " + f.Reason;
    case ErrorCode::PaletteEntryMissing:
        return f.File + ": a pixel names palette entry " + N(f.Number) + " of " + N(f.Limit);
    case ErrorCode::ColourMissing: return f.File + ": a pixel names colour " + N(f.Number) + " of " + N(f.Limit);
    case ErrorCode::TgaNotRead: return f.File + ": only true-colour TGA files of 24 or 32 bits are read";
    case ErrorCode::BmpNotRead: return f.File + ": only uncompressed BMP files of 1, 4, 8, 24 or 32 bits are read";
    case ErrorCode::JpegError: return f.File + ": JPEG error: " + f.Reason;
    case ErrorCode::NotAnImage: return f.File + " is not an image Kelmora reads (PNG, TGA, BMP or JPEG)";
    case ErrorCode::ImageFileTooLarge: return f.File + " is too large to be an image";
    case ErrorCode::EncodeFailed: {
        EncodeResult r;
        r.Status = static_cast<EncodeStatus>(f.Detail);
        r.Depth = f.Depth;
        r.Level = f.Level;
        return Label(f) + ": " + EncodeProblem(r);
    }
    case ErrorCode::TextureUnreadable: {
        DecodeResult r;
        r.Status = static_cast<DecodeStatus>(f.Detail);
        r.Width = static_cast<std::uint32_t>(f.Width);
        r.Height = static_cast<std::uint32_t>(f.Height);
        r.DataPresent = f.Number;
        r.DataNeeded = f.Limit;
        r.Depth = f.Depth;
        r.Level = f.Level;
        r.PlatformId = static_cast<std::uint32_t>(f.Code);
        r.FormatCode = static_cast<std::uint32_t>(f.Code);
        r.Platform = static_cast<TexturePlatform>(f.Count);
        return DecodeProblem(r);
    }
    case ErrorCode::DictionaryHeaderShort: return "the dictionary is too short to hold its own header";
    case ErrorCode::FixedLayout:
        return "the dictionary's records do not carry their sizes (the fixed layout), so " +
               FixedLayoutText(static_cast<LayoutBlocks>(f.Detail));
    case ErrorCode::TextureNameEmpty: return "a texture's name cannot be empty";
    case ErrorCode::TextureNameTooLong:
        return TextureName(f) + " is " + N(f.Name.size()) + " characters long; at most " + N(f.Limit) + " fit";
    case ErrorCode::TextureNameBlankEnds:
        return TextureName(f) + " begins or ends with a blank or a control character, which readers strip";
    case ErrorCode::TextureNameControl: return TextureName(f) + " holds a control character";
    case ErrorCode::DuplicateName:
        return "texture " + N(f.Texture + 1) + " is named " + Quoted(ShownText(f.Name)) +
               " already; the game would find only one of them";
    case ErrorCode::PlatformNotEditable: {
        const std::string platform = PlatformName(static_cast<TexturePlatform>(f.Detail));
        if (f.Texture == kNoTexture)
            return "adding textures to " + platform + " dictionaries is not supported yet";
        return Label(f) + ": editing " + platform + " textures is not supported yet";
    }
    case ErrorCode::NoNameChunks: return "texture " + N(f.Texture + 1) + " has no name chunks where they belong";
    case ErrorCode::WalkChanged: return "the new dictionary does not walk as the old one did; nothing was written";
    case ErrorCode::LevelReadsBack:
        return Label(f) + ": level " + N(f.Level) + " does not read back as written; nothing was written";
    case ErrorCode::NotADictionary: return f.File + " is not a texture dictionary";
    case ErrorCode::DictionaryTooShort:
        // Detail 1: said of a dictionary read, which nothing was going to change.
        return f.File + " is too short to be a texture dictionary (" + N(f.Number) + " bytes)" +
               (f.Detail == 1 ? "" : "; nothing was changed");
    case ErrorCode::DictionaryEndsEarly:
        return f.File + ": the dictionary ends early (texture " + N(f.Number) +
               " runs past its end); nothing was changed";
    case ErrorCode::CannotQuantise: return f.File + ": cannot quantise";
    case ErrorCode::QuantiseFailed: return f.File + ": the picture cannot be quantised to " + N(f.Number) + " colours";
    case ErrorCode::RemapFailed: return f.File + ": the picture cannot be quantised";
    case ErrorCode::WrongPictureSize:
        return f.File + " is " + Size(f.Width, f.Height) + ", " + PictureOfText(static_cast<PictureOf>(f.Detail)) +
               " " + Size(f.WantWidth, f.WantHeight);
    case ErrorCode::SidesNotPowers:
        return f.File + " is " + Size(f.Width, f.Height) + ": a texture's sides must be powers of two from 8 to 1024";
    case ErrorCode::LevelCountOutOfRange:
        return "a " + Size(f.Width, f.Height) + " texture of " + N(f.Depth) + " bits holds 1 to " + N(f.Limit) +
               " levels, not " + N(f.Number);
    case ErrorCode::SidesOutOfRange:
        return f.File + " is " + Size(f.Width, f.Height) + ": a texture's sides must be 1 to " + N(f.Limit);
    case ErrorCode::FormatNotForPlatform:
        return PlatformName(static_cast<TexturePlatform>(f.Detail)) + std::string(" textures cannot be stored as ") +
               EscapeControls(f.Name);
    case ErrorCode::DepthNotForPlatform:
        return "a depth (" + N(f.Depth) + " bits) is chosen for PlayStation 2 textures only; a " +
               PlatformName(static_cast<TexturePlatform>(f.Detail)) + " texture's storage is chosen with --format";
    case ErrorCode::UnknownFormatName:
        return Quoted(EscapeControls(f.Name)) + " is not a format; use DXT1, DXT3, DXT5, 8888, 888, 565, 1555, 555, 4444, L8, A8L8, PAL8 or PAL4";
    case ErrorCode::NativeLevelsOutOfRange:
        return "a " + Size(f.Width, f.Height) + " texture holds 1 to " + N(f.Limit) + " levels, not " + N(f.Number);
    case ErrorCode::JpegWriteError: return "JPEG error #" + std::to_string(f.Detail);
    case ErrorCode::TooLargeForTga: return "Texture too large for TGA!!! (" + Size(f.Width, f.Height) + ")";
    case ErrorCode::NothingDecoded: return "No texture decoded";
    case ErrorCode::PngCompressFailed: return "PNG error: the picture cannot be compressed";
    case ErrorCode::InputOverwrite: return "Not overwriting an input of this export: " + Quoted(f.File);
    case ErrorCode::NoViewerBeside: return "No Kelmora viewer to register: there is no " + ShownText(f.Name) + " beside " + f.File;
    case ErrorCode::RegistryWrite: return "Failed to set data for ''";
    }
    return error.what();
}

} // namespace

std::string ErrorText(const std::exception& error) {
    if (const auto* e = dynamic_cast<const KelmoraError*>(&error))
        return ErrorText(*e);
    return error.what();
}

std::string DecodeProblem(const DecodeResult& r) {
    switch (r.Status) {
    case DecodeStatus::Ok: return {};
    case DecodeStatus::TooLarge: return "Texture too large!!! (" + Size(r.Width, r.Height) + ")";
    case DecodeStatus::UnsupportedDepth: return "Unknown palette size detected!!! (" + N(r.Depth) + ")";
    case DecodeStatus::NoSuchLevel: return "No level " + N(r.Level) + " in this texture";
    case DecodeStatus::DataMissing:
        return "Texture data missing!!! (" + N(r.DataPresent) + " of " + N(r.DataNeeded) + " bytes)";
    case DecodeStatus::OutOfMemory: return "Out of memory";
    case DecodeStatus::UnsupportedPlatform: return "platform " + N(r.PlatformId) + " is not supported";
    case DecodeStatus::UnsupportedFormat: {
        char code[16];
        std::snprintf(code, sizeof code, "0x%X", r.FormatCode);
        return std::string(PlatformName(r.Platform)) + " texture format " + code + " is not supported";
    }
    case DecodeStatus::NoPixels: return "The texture has no pixels (" + Size(r.Width, r.Height) + ")";
    }
    return {};
}

std::string EncodeProblem(const EncodeResult& r) {
    switch (r.Status) {
    case EncodeStatus::Ok: return {};
    case EncodeStatus::UnsupportedDepth: return "Unknown palette size detected!!! (" + N(r.Depth) + ")";
    case EncodeStatus::WrongSize: return "The picture does not fit level " + N(r.Level) + " of the texture";
    case EncodeStatus::OtherPlatform: return "The texture is not a PlayStation 2 one; it cannot be written here";
    }
    return {};
}

std::string ExportSummary(std::size_t exported, std::size_t listLines, std::uint32_t elapsedMs,
                          const std::string& destDir, const std::string& decimalSeparator, std::size_t renamed,
                          bool cancelled) {
    return N(exported) + " of " + N(listLines) + " texture(s) exported within " +
           FormatSeconds(elapsedMs, decimalSeparator) + " seconds to " + destDir +
           (renamed ? " (" + N(renamed) + " renamed)" : std::string()) + (cancelled ? " (cancelled)" : std::string()) +
           ".";
}

std::string ArchiveProblemText(const ArchiveProblem& p) {
    switch (p.Kind) {
    case ArchiveProblemKind::EndsInHeader: return "the archive ends inside its header";
    case ArchiveProblemKind::ClaimsMore:
        return "the archive claims " + N(p.Count) + " entries but its file holds " + N(p.Limit) + "; reading those";
    case ArchiveProblemKind::TrailingBytes:
        return "the table ends with " + N(p.Count) + " bytes that make no entry; ignored";
    case ArchiveProblemKind::Empty: return EntryLabel(p.Entry) + " is empty; skipped";
    case ArchiveProblemKind::StartsPastEnd:
        return EntryLabel(p.Entry) + " starts at byte " + N(p.Entry.Offset) + ", past the end of the archive's " +
               N(p.Limit) + " bytes; skipped";
    case ArchiveProblemKind::EndsPastEnd:
        return EntryLabel(p.Entry) + " ends past the end of the archive; read as far as it goes";
    case ArchiveProblemKind::Overlaps: return EntryLabel(p.Entry) + " overlaps " + EntryLabel(p.Other) + "; skipped";
    case ArchiveProblemKind::More:
        return "and " + N(p.Count) + " more damaged " + (p.Count == 1 ? "entry" : "entries");
    }
    return {};
}

} // namespace kelmora
