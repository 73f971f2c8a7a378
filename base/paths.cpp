#include "base/paths.h"

#include "base/os_file.h"

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

bool CreateDirectoryChain(const std::string& dir, std::string* reason) {
    std::string path = dir;
    if (!path.empty() && IsPathSeparator(path.back()))
        path.pop_back();
    if (IsRootLike(path) || DirectoryExists(path))
        return true;
    std::string parent = DirectoryWithSeparator(path);
    if (!parent.empty() && !CreateDirectoryChain(parent, reason))
        return false;
    std::string why;
    if (MakeDirectory(path, &why))
        return true;
    if (reason)
        *reason = "\"" + AbsolutePath(path) + "\". " + why;
    return false;
}

} // namespace kelmora
