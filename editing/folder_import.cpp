#include "editing/folder_import.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/bytes.h"
#include "base/errors.h"
#include "base/os_file.h"
#include "base/paths.h"
#include "base/text.h"
#include "editing/texture_import.h"
#include "export/destination.h"
#include "export/output_formats.h"
#include "export/safe_name.h"
#include "export/unique_names.h"
#include "images/image_input.h"

namespace kelmora {

namespace {

namespace fs = std::filesystem;

bool IsImageName(const std::string& name) {
    const std::string ext = PathToUtf8(PathFromUtf8(name).extension());
    return !ext.empty() && FindFormatByName(ext.substr(1)) != nullptr;
}

std::string WithSeparator(const std::string& folder) {
    return folder + (IsPathSeparator(folder.back()) ? "" : std::string(1, kPathSeparator));
}

} // namespace

std::size_t FolderImport::Replaced() const {
    return static_cast<std::size_t>(
        std::count_if(Puts.begin(), Puts.end(), [](const FolderPut& p) { return p.Outcome.Changed; }));
}

FolderImport ImportFolder(DictionaryEdit& edit, const std::string& dictionary, const std::string& dir,
                          const PutBackOptions& options) {
    const Dictionary& d = edit.Current();
    const std::size_t count = d.Entries().size();
    // The names extract gives, format by format: the same claims in the same order,
    // so that repeated names find their "~2" files; alpha companions claim theirs.
    std::vector<std::string> chosen(count), companions(count);
    std::set<std::string> used;
    for (const OutputFormat& f : OutputFormats()) {
        RunNames names;
        for (std::size_t i = 0; i < count; ++i) {
            const TTexEntry& e = d.Entries()[i];
            const std::string main = names.Claim(dir, SafeFileName(Cp1252ToUtf8(e.Name)), std::string(f.Extension));
            const std::string alpha = names.Claim(dir, SafeFileName(Cp1252ToUtf8(e.AlphaName)), std::string(f.Extension));
            // Only the formats without alpha of their own have companions.
            if (f.TakesPicture)
                used.insert(alpha);
            if (chosen[i].empty() && IsRegularFile(main)) {
                chosen[i] = main;
                if (f.TakesPicture)
                    companions[i] = alpha;
            }
        }
    }
    FolderImport done;
    for (std::size_t i = 0; i < count; ++i) {
        if (chosen[i].empty())
            continue;
        used.insert(chosen[i]);
        const std::string stem = dir + SafeFileName(Cp1252ToUtf8(edit.Current().Entries()[i].Name));
        const std::string alphaStem = dir + SafeFileName(Cp1252ToUtf8(edit.Current().Entries()[i].AlphaName));
        const std::string ext = PathToUtf8(PathFromUtf8(chosen[i]).extension());
        std::vector<std::string> mips(16);
        for (std::size_t n = 1; n < mips.size(); ++n) {
            const std::string m = stem + ".mip" + std::to_string(n) + ext;
            if (IsRegularFile(m)) {
                mips[n] = m;
                used.insert(m);
            }
            if (!companions[i].empty())
                used.insert(alphaStem + ".mip" + std::to_string(n) + ext);
        }
        FolderPut put{TextureLabel(i, ShownText(edit.Current().Entries()[i].Name)), chosen[i], {}};
        try {
            InputImage image = ReadImage(chosen[i]);
            if (!image.HasAlpha && !companions[i].empty() && IsRegularFile(companions[i]))
                image = WithAlphaFrom(image, ReadImage(companions[i]), companions[i]);
            put.Outcome = PutImage(edit, i, image, chosen[i], options, mips);
        } catch (const KelmoraError& e) {
            throw e.Within({dictionary, put.Label, chosen[i]});
        }
        done.Puts.push_back(std::move(put));
    }
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(dir))) {
        const std::string path = dir + PathToUtf8(entry.path().filename());
        if (entry.is_regular_file() && IsImageName(path) && !used.count(path))
            done.Unmatched.push_back(path);
    }
    std::sort(done.Unmatched.begin(), done.Unmatched.end());
    return done;
}

std::string ArchiveFolderOf(const std::string& archive, const std::string& folder) {
    const std::string stem = SafeFileName(PathToUtf8(PathFromUtf8(FileNameOf(archive)).stem()));
    const std::string inside = ComposeDestDir(folder, true, stem);
    if (DirectoryExists(inside))
        return inside;
    std::string given = folder;
    while (given.size() > 1 && IsPathSeparator(given.back()))
        given.pop_back();
    if (!SameNameIgnoringCase(FileNameOf(given), stem))
        throw KelmoraError(ErrorCode::NoArchiveFolder, {.File = folder, .Name = stem});
    return WithSeparator(folder);
}

std::string DictionaryFolderOf(const std::string& archiveFolder, const ArchiveEntry& entry) {
    return ComposeDestDir(archiveFolder, true, SafeFileName(Cp1252ToUtf8(EntryStem(entry))));
}

FolderPutBack PutBackFolder(const std::string& label, const std::string& dir, const PutBackOptions& options,
                            const std::function<std::vector<std::uint8_t>()>& read) {
    FolderPutBack done;
    try {
        if (!DirectoryExists(dir))
            return done;
        std::vector<std::uint8_t> bytes = read();
        CheckEditable(bytes, label);
        DictionaryEdit edit(std::move(bytes), options.Unswizzle);
        done.Import = ImportFolder(edit, label, dir, options);
        if (!edit.Changed())
            return done;
        edit.Verify();
        done.Changed = true;
        done.Bytes = edit.Bytes();
    } catch (...) {
        done.Error = std::current_exception();
    }
    return done;
}

} // namespace kelmora
