#pragma once
// Runs a program for a benchmark, its standard output discarded.
#include <string>
#include <vector>

namespace kelmora::bench {

// The program's peak resident size in KiB, or -1 when it could not run or failed.
long RunProcess(const std::vector<std::string>& args);

} // namespace kelmora::bench
