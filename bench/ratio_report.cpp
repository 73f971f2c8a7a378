#include "bench/ratio_report.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kelmora::bench {

namespace {

class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median")
                medians[r.run_name.function_name + (r.run_name.args.empty() ? "" : "/" + r.run_name.args)] =
                    r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

} // namespace

int RunWithRatios(int argc, char** argv, const std::vector<Ratio>& ratios, int repetitions) {
    std::vector<char*> args(argv, argv + argc);
    std::string reps = "--benchmark_repetitions=" + std::to_string(repetitions);
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.push_back(reps.data());
    args.push_back(aggregates.data());
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    int status = 0;
    std::printf("\n%-40s %-28s %10s %8s  %s\n", "benchmark", "baseline", "ratio", "goal", "");
    for (const Ratio& q : ratios) {
        auto a = reporter.medians.find(q.Name), b = reporter.medians.find(q.Baseline);
        if (a == reporter.medians.end() || b == reporter.medians.end() || b->second <= 0)
            continue;
        double ratio = a->second / b->second;
        bool ok = ratio <= q.Goal;
        status |= ok ? 0 : 1;
        std::printf("%-40s %-28s %9.2fx %7.2fx  %s\n", q.Name.c_str(), q.Baseline.c_str(), ratio, q.Goal,
                    ok ? "ok" : "MISSED");
    }
    benchmark::Shutdown();
    return status;
}

} // namespace kelmora::bench
