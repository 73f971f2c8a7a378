// Windows: the association in the class registry.
#include <windows.h>
#include <shlobj.h>

#include "base/errors.h"
#include "base/os_file.h"
#include "shell/file_type_registration.h"
#include "shell/windows_association.h"

namespace kelmora {

namespace {

class Win32Registry : public RegistryOps {
public:
    ~Win32Registry() override { CloseKey(); }
    bool OpenKey(const std::string& subKey) override {
        CloseKey();
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, WideFromUtf8(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        key_ = key;
        return true;
    }
    bool SetDefaultValue(const std::string& text) override {
        if (!key_)
            return false;
        // The wide form, so that a program path outside the system code page stays whole.
        const std::wstring wide = WideFromUtf8(text);
        return RegSetValueExW(key_, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                              static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    void CloseKey() override {
        if (key_)
            RegCloseKey(key_);
        key_ = nullptr;
    }
    void NotifyAssociationChanged() override { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

private:
    HKEY key_ = nullptr;
};

} // namespace

std::string ExecutablePath() {
    // Long paths exceed MAX_PATH; the buffer grows until the whole path fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return Utf8FromWide(path);
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

namespace {

// The viewer registers itself; kelmora-cli.exe registers the kelmora.exe beside it,
// and without one there is nothing to register.
std::string ViewerPath() {
    const std::string self = ExecutablePath();
    std::size_t cut = self.size();
    while (cut > 0 && self[cut - 1] != '\\' && self[cut - 1] != '/')
        --cut;
    std::string leaf = self.substr(cut);
    for (char& c : leaf)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (leaf == "kelmora.exe")
        return self;
    const std::string viewer = self.substr(0, cut) + "kelmora.exe";
    if (!IsRegularFile(viewer))
        throw KelmoraError(ErrorCode::NoViewerBeside, {.File = self, .Name = "kelmora.exe"});
    return viewer;
}

} // namespace

void RegisterFileType() {
    const std::string viewer = ViewerPath();
    Win32Registry registry;
    WriteWindowsAssociation(registry, viewer);
}

} // namespace kelmora
