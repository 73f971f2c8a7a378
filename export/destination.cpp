#include "export/destination.h"

#include "base/paths.h"
#include "base/os_file.h"
#include "base/text.h"

namespace kelmora {

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

} // namespace kelmora
