// Windows: the association in the class registry.
#include <windows.h>
#include <shlobj.h>

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
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        key_ = key;
        return true;
    }
    bool SetDefaultValue(const std::string& text) override {
        if (!key_)
            return false;
        return RegSetValueExA(key_, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
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
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

void RegisterFileType() {
    Win32Registry registry;
    WriteWindowsAssociation(registry, ExecutablePath());
}

} // namespace kelmora
