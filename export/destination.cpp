#include "export/destination.h"

#include "base/os_file.h"
#include "base/text.h"

namespace kelmora {

namespace {

// Separators and, on Windows, the drive colon end a directory part.
bool EndsDirectory(char c) { return IsPathSeparator(c) || (kPathSeparator == '\\' && c == ':'); }

// The part up to and including the last separator or drive colon.
std::string DirectoryWithSeparator(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && !EndsDirectory(path[i - 1]))
        --i;
    return path.substr(0, i);
}

} // namespace

std::string DirectoryPartOf(const std::string& file) {
    std::string dir = DirectoryWithSeparator(file);
    if (dir.size() > 1 && IsPathSeparator(dir.back()) && !EndsDirectory(dir[dir.size() - 2]))
        dir.pop_back();
    return dir;
}

std::string SubDirNameOf(const std::string& file) {
    std::string name = file.substr(DirectoryWithSeparator(file).size());
    std::size_t dot = name.find('.');
    return dot == std::string::npos ? std::string() : name.substr(0, dot);
}

std::string ComposeDestDir(const std::string& text, bool withSubDir, const std::string& subDirName) {
    std::string dest = Trim(text);
    if (dest.empty() || !IsPathSeparator(dest.back()))
        dest += kPathSeparator;
    if (withSubDir)
        dest += subDirName + kPathSeparator;
    return dest;
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

std::string DirectoryFailure(const std::string& reason) {
    return "Directory cannot be created!" + (reason.empty() ? std::string() : " " + reason);
}

} // namespace kelmora
