#include "shell/windows_association.h"

#include <utility>

#include "base/errors.h"

namespace kelmora {

std::string OpenCommandFor(const std::string& exePath) { return "\"" + exePath + "\" \"%1\""; }

void WriteWindowsAssociation(RegistryOps& ops, const std::string& exePath) {
    const std::pair<std::string, std::string> rows[] = {
        {".txd", "txdfile"},
        {"txdfile", "Halvard/Ostrel Texture Archive"},
        {"txdfile\\shell", "Open"},
        {"txdfile\\shell\\Open\\command", OpenCommandFor(exePath)},
    };
    for (const auto& [key, value] : rows) {
        ops.OpenKey(key); // a failure shows in the write that follows
        bool written = ops.SetDefaultValue(value);
        ops.CloseKey();
        if (!written)
            throw KelmoraError(ErrorCode::RegistryWrite, {});
    }
    ops.NotifyAssociationChanged();
}

} // namespace kelmora
