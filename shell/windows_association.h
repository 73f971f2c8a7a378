#pragma once
// The association as the Windows class registry holds it: four keys under
// HKEY_CLASSES_ROOT, each written as its default value and closed before the next.
#include <string>

namespace kelmora {

// The registry and shell operations the association needs.
class RegistryOps {
public:
    virtual ~RegistryOps() = default;
    // Opens the key below HKEY_CLASSES_ROOT, creating it when missing. On failure
    // no key is open.
    virtual bool OpenKey(const std::string& subKey) = 0;
    // Writes the open key's default value as a string; false when that fails,
    // also when no key is open.
    virtual bool SetDefaultValue(const std::string& text) = 0;
    // Closes the open key, if any.
    virtual void CloseKey() = 0;
    // Tells the shell that file associations changed.
    virtual void NotifyAssociationChanged() = 0;
};

// The command value for an executable: the path in double quotes, so that a path
// with blanks cannot be taken for a shorter program, then the quoted placeholder.
std::string OpenCommandFor(const std::string& exePath);

// Writes the four keys in order; a failed write raises "Failed to set data for ''"
// and leaves the rest unwritten and the shell unnotified.
void WriteWindowsAssociation(RegistryOps& ops, const std::string& exePath);

} // namespace kelmora
