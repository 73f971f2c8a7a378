#include "base/file_identity.h"

namespace kelmora {

void InputSet::Add(const std::string& path) {
    FileIdentity id;
    if (IdentityOf(path, id))
        files_.insert(id);
}

bool InputSet::Contains(const std::string& path) const {
    FileIdentity id;
    return !files_.empty() && IdentityOf(path, id) && files_.count(id) != 0;
}

} // namespace kelmora
