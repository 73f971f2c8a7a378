#include "base/paths.h"

#include "base/bytes.h"
#include "base/os_file.h"
#include "base/text.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace kelmora {

namespace {

// Separators and, on Windows, the drive colon end a directory part.
bool EndsDirectory(char c) { return IsPathSeparator(c) || (kPathSeparator == '\\' && c == ':'); }

} // namespace

std::string FileNameOf(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && !EndsDirectory(path[i - 1]))
        --i;
    return path.substr(i);
}

std::string DirectoryWithSeparator(const std::string& path) {
    return path.substr(0, path.size() - FileNameOf(path).size());
}

std::string DirectoryPartOf(const std::string& file) {
    std::string dir = DirectoryWithSeparator(file);
    if (dir.size() > 1 && IsPathSeparator(dir.back()) && !EndsDirectory(dir[dir.size() - 2]))
        dir.pop_back();
    return dir;
}

bool IsRootLike(const std::string& path) {
    if (kPathSeparator == '\\')
        return path.size() < 3 || EndsDirectory(path.back());
    return path.empty() || IsPathSeparator(path.back());
}

std::string ResolveAgainst(const std::string& path, const std::string& base) {
    bool absolute = !path.empty() && (IsPathSeparator(path[0]) || (kPathSeparator == '\\' && path.size() > 1 && path[1] == ':'));
    if (absolute || base.empty())
        return path;
    return base + (IsPathSeparator(base.back()) ? "" : std::string(1, kPathSeparator)) + path;
}

void CreateDirectoryChain(const std::string& dir) {
    std::string path = dir;
    if (!path.empty() && IsPathSeparator(path.back()))
        path.pop_back();
    if (IsRootLike(path) || DirectoryExists(path))
        return;
    const std::string parent = DirectoryWithSeparator(path);
    if (!parent.empty())
        CreateDirectoryChain(parent);
    MakeDirectory(path);
}

// Calls visit for every regular file below dir, in name order; one directory's
// names are held at a time, so that a whole game costs no more than its largest folder.
void ForEachFileBelow(const std::string& dir, const std::function<void(const std::string&)>& visit) {
    namespace fs = std::filesystem;
    std::vector<fs::directory_entry> entries{fs::directory_iterator(PathFromUtf8(dir)), fs::directory_iterator()};
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& x, const fs::directory_entry& y) { return x.path() < y.path(); });
    for (const fs::directory_entry& e : entries) {
        std::error_code ec;
        // Links to directories are not followed, as a recursive listing does not.
        if (e.is_directory(ec) && !e.is_symlink(ec))
            ForEachFileBelow(PathToUtf8(e.path()), visit);
        else if (e.is_regular_file(ec))
            visit(PathToUtf8(e.path()));
    }
}

bool HasExtension(const std::string& path, const char* extension) {
    return SameNameIgnoringCase(PathToUtf8(PathFromUtf8(path).extension()), extension);
}

void ForEachDictionaryBelow(const std::string& dir, const std::function<void(const std::string&)>& visit) {
    ForEachFileBelow(dir, [&](const std::string& file) {
        if (HasExtension(file, ".txd"))
            visit(file);
    });
}

std::string NeighbourDictionary(const std::string& file, int step) {
    namespace fs = std::filesystem;
    const fs::path here = fs::absolute(PathFromUtf8(file));
    std::vector<fs::path> names;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(here.parent_path(), ec))
        if (e.is_regular_file(ec) && SameNameIgnoringCase(PathToUtf8(e.path().extension()), ".txd"))
            names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    const auto at = std::find(names.begin(), names.end(), here.filename());
    if (at == names.end())
        return {};
    const std::ptrdiff_t next = (at - names.begin()) + step;
    if (next < 0 || next >= static_cast<std::ptrdiff_t>(names.size()))
        return {};
    return PathToUtf8(here.parent_path() / names[static_cast<std::size_t>(next)]);
}

} // namespace kelmora
