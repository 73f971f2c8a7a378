#pragma once
// Runs the registered benchmarks with repetitions, then prints each measured
// median as a ratio to its baseline from the same run, against its goal.
#include <string>
#include <vector>

namespace kelmora::bench {

struct Ratio {
    std::string Name;     // benchmark name
    std::string Baseline; // benchmark name of the baseline
    double Goal;          // the ratio Name / Baseline must not exceed this
};

// Returns 0 when every ratio meets its goal, 1 otherwise. Each benchmark runs
// `repetitions` times and only the aggregates are shown.
int RunWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios, int repetitions = 5);

} // namespace kelmora::bench
