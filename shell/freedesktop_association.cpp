#include "shell/freedesktop_association.h"
#include "base/paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include "base/errors.h"
#include "base/os_file.h"
#include "base/atomic_output.h"

extern char** environ;

namespace kelmora {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

void EnsureDirectory(const std::string& dir) {
    CreateDirectoryChain(dir);
}

void WriteText(const std::string& path, const std::string& text) {
    AtomicOutput f(path);
    f.Write(text.data(), text.size());
    f.Commit();
}

std::string ReadText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Runs a program found on PATH with its arguments; its failure is not ours.
void RunQuietly(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}

std::string MimeXml() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"" + std::string(kTxdMimeType) + "\">\n"
           "    <comment>Halvard/Ostrel Texture Archive</comment>\n"
           "    <glob pattern=\"*.txd\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

// Characters a desktop entry's Exec key takes only inside quotes, and that the
// simplest launchers (xdg-open's generic mode splits Exec at blanks and knows no
// quotes) cannot take at all.
bool NeedsQuoting(const std::string& path) {
    for (char c : path)
        if (static_cast<unsigned char>(c) <= 32 || std::string("\"'\\><~|&;$*?#()`%=").find(c) != std::string::npos)
            return true;
    return false;
}

// The program as the Exec key names it: its path as it is when no launcher needs
// quotes for it; else a link to it in our data folder, when that path needs none;
// else the path quoted, which every launcher that follows the format reads.
std::string ExecProgram(const XdgDirs& dirs, const std::string& viewerPath) {
    if (!NeedsQuoting(viewerPath))
        return viewerPath;
    const std::string linkDir = dirs.DataHome + "/kelmora";
    const std::string link = linkDir + "/kelmora";
    if (NeedsQuoting(link))
        return QuoteExecArgument(viewerPath);
    EnsureDirectory(linkDir);
    // A new link beside the old one, renamed over it: never a moment without one.
    const std::string fresh = linkDir + "/.kelmora-link-" + std::to_string(CurrentProcessId());
    RemoveFile(fresh);
    std::error_code ec;
    std::filesystem::create_symlink(viewerPath, fresh, ec);
    std::string reason = ec ? ec.message() : std::string();
    if (!ec) {
        try {
            MoveIntoPlace(fresh, link);
            return link;
        } catch (const KelmoraError& e) {
            reason = e.Facts().Reason;
        }
    }
    RemoveFile(fresh);
    throw KelmoraError(ErrorCode::CannotCreate, {.File = link, .Reason = reason});
}

std::string DesktopEntry(const std::string& exec) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Kelmora\n"
           "GenericName=Texture Dictionary Viewer\n"
           "Comment=View and export PlayStation 2 texture dictionaries\n"
           "Exec=" + exec + " %f\n"
           "Icon=kelmora\n"
           "Terminal=false\n"
           "Categories=Graphics;Viewer;\n"
           "MimeType=" + std::string(kTxdMimeType) + ";\n";
}

} // namespace

XdgDirs XdgDirsFromEnvironment() {
    const std::string home = Env("HOME");
    XdgDirs d;
    // Relative values are invalid by the base directory rules and are ignored.
    d.DataHome = Env("XDG_DATA_HOME");
    if (d.DataHome.empty() || d.DataHome[0] != '/')
        d.DataHome = home + "/.local/share";
    d.ConfigHome = Env("XDG_CONFIG_HOME");
    if (d.ConfigHome.empty() || d.ConfigHome[0] != '/')
        d.ConfigHome = home + "/.config";
    return d;
}

std::string QuoteExecArgument(const std::string& arg) {
    // Inside the quotes ", `, $ and \ take a backslash; the file format's own
    // escaping then doubles every backslash, and % is doubled for the field codes.
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$')
            quoted += std::string("\\\\") + c;
        else if (c == '\\')
            quoted += "\\\\\\\\";
        else if (c == '%')
            quoted += "%%";
        else
            quoted += c;
    }
    return quoted + "\"";
}

std::string WithDefaultApplication(const std::string& list) {
    const std::string line = std::string(kTxdMimeType) + "=" + kDesktopFileName;
    std::istringstream in(list);
    std::string l, out;
    bool inSection = false, sectionSeen = false, written = false;
    while (std::getline(in, l)) {
        bool header = !l.empty() && l[0] == '[';
        if (header && inSection && !written) {
            out += line + "\n";
            written = true;
        }
        if (header)
            inSection = l == "[Default Applications]";
        sectionSeen |= inSection;
        if (inSection && l.rfind(std::string(kTxdMimeType) + "=", 0) == 0) {
            if (!written)
                out += line + "\n";
            written = true;
            continue;
        }
        out += l + "\n";
    }
    if (!written) {
        if (!sectionSeen) {
            if (!out.empty() && out.back() == '\n' && out.size() > 1 && out[out.size() - 2] != '\n')
                out += "\n";
            out += "[Default Applications]\n";
        }
        out += line + "\n";
    }
    return out;
}

void WriteFreedesktopAssociation(const XdgDirs& dirs, const std::string& viewerPath, bool runUpdaters) {
    const std::string mimeDir = dirs.DataHome + "/mime";
    const std::string appsDir = dirs.DataHome + "/applications";
    EnsureDirectory(mimeDir + "/packages");
    EnsureDirectory(appsDir);
    EnsureDirectory(dirs.ConfigHome);

    WriteText(mimeDir + "/packages/kelmora-txd.xml", MimeXml());
    WriteText(appsDir + "/" + kDesktopFileName, DesktopEntry(ExecProgram(dirs, viewerPath)));
    const std::string listPath = dirs.ConfigHome + "/mimeapps.list";
    WriteText(listPath, WithDefaultApplication(FileExists(listPath) ? ReadText(listPath) : std::string()));

    if (runUpdaters) {
        RunQuietly({"update-mime-database", mimeDir});
        RunQuietly({"update-desktop-database", appsDir});
    }
}

} // namespace kelmora
