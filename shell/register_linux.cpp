// Linux and other freedesktop systems: the association in the user's XDG folders.
#include <climits>
#include <cstdlib>
#include <unistd.h>

#include "base/errors.h"
#include "base/os_file.h"
#include "shell/file_type_registration.h"
#include "shell/freedesktop_association.h"

namespace kelmora {

std::string ExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

namespace {

// The viewer registers itself; kelmora-cli registers the viewer that sits beside
// it (or in the build tree above it), and without one there is nothing to register.
std::string ViewerPath() {
    std::string self = ExecutablePath();
    std::string dir = self.substr(0, self.rfind('/') + 1);
    if (self.substr(dir.size()) == "kelmora")
        return self;
    for (const std::string& candidate : {dir + "kelmora", dir + "../kelmora"}) {
        char resolved[PATH_MAX];
        if (FileExists(candidate) && realpath(candidate.c_str(), resolved))
            return resolved;
    }
    throw KelmoraError(ErrorCode::NoViewerBeside, {.File = self, .Name = "kelmora"});
}

} // namespace

void RegisterFileType() { WriteFreedesktopAssociation(XdgDirsFromEnvironment(), ViewerPath()); }

} // namespace kelmora
