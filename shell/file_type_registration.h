#pragma once
// Associates ".txd" files with the viewer, with the platform's own means.
#include <string>

namespace kelmora {

// Registers the association for the running program; throws KelmoraError on failure.
void RegisterFileType();

// The full path of the running executable.
std::string ExecutablePath();

} // namespace kelmora
