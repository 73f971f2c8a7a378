// Writing into game archives: replacing one dictionary costs the same in an
// archive ten times larger, and little more than writing that dictionary as a
// loose file; find over an archive against one read of its bytes. Each checks
// what it timed.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "archive/archive_edit.h"
#include "archive/game_archive.h"
#include "base/rollback_journal.h"
#include "archive/texture_search.h"
#include "base/byte_source.h"
#include "bench/ratio_report.h"
#include "bench/run_process.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"

namespace {

using namespace kelmora;
using namespace kelmora::testing;

// An archive of count dictionaries of about 100 KB each.
std::vector<std::uint8_t> Game(std::size_t count) {
    std::vector<std::vector<std::uint8_t>> kinds;
    for (std::uint32_t k = 0; k < 8; ++k)
        kinds.push_back(BuildDictionary({RealTexture("tex" + std::to_string(k), 256, 256, 8, 3, k + 1),
                                         RealTexture("mask" + std::to_string(k), 128, 128, 4, 1, k + 20)}));
    std::vector<ArchiveFile> files;
    for (std::size_t i = 0; i < count; ++i)
        files.push_back({"d" + std::to_string(i) + ".txd", kinds[i % kinds.size()]});
    return BuildArchiveV2(files);
}

struct Setup {
    std::string dir = MakeTempDir("archivebench");
    std::string small = dir + "/small.img", large = dir + "/large.img";
    std::string one = dir + "/d7.txd", other = dir + "/alt/d7.txd";
    Setup() {
        WriteFile(small, Game(250));   // about 25 MB
        WriteFile(large, Game(2500));  // about 250 MB
        // Two versions of one dictionary, so that every replace changes bytes.
        WriteFile(one, BuildDictionary({RealTexture("tex7", 256, 256, 8, 3, 99), RealTexture("mask7", 128, 128, 4, 1, 98)}));
        std::filesystem::create_directories(dir + "/alt");
        WriteFile(other, BuildDictionary({RealTexture("tex7", 256, 256, 8, 3, 97), RealTexture("mask7", 128, 128, 4, 1, 96)}));
    }
    ~Setup() { std::filesystem::remove_all(dir); }
};

Setup& S() {
    static Setup s;
    return s;
}

bool Run(const std::vector<std::string>& args) { return kelmora::bench::RunProcess(args) >= 0; }

void Replace(benchmark::State& st, const std::string& archive) {
    bool flip = false;
    for (auto _ : st) {
        flip = !flip;
        if (!Run({KELMORA_CLI, "pack", archive, flip ? S().one : S().other}))
            st.SkipWithError("pack failed");
    }
    const GameArchive a = OpenGameArchive(archive);
    if (!a.Problems.empty() || a.Entries.size() < 250)
        st.SkipWithError("the archive does not read back whole");
}

void ReplaceIn25MB(benchmark::State& st) { Replace(st, S().small); }

// The same replace in process, with its rollback journal and without it: what the
// journal costs (its file, its syncs, the bytes it keeps). Alternating two
// versions of one size, every other replace fills the hole the one before left,
// and the journal keeps the hole's old bytes; growing by a sector each time, the
// new bytes always go past the end, where nothing needs keeping.
void ReplaceInProcess(benchmark::State& st, bool journal, bool grow) {
    SetJournalSkippedForMeasurement(!journal);
    const std::vector<std::uint8_t> one = ReadFile(S().one), other = ReadFile(S().other);
    std::size_t round = 0;
    for (auto _ : st) {
        ++round;
        std::vector<std::uint8_t> bytes = round % 2 ? one : other;
        if (grow)
            bytes.resize(bytes.size() + round * 2048 + (journal ? 1 : 0), 0);
        ArchiveEdit edit(S().large);
        edit.Put("d7.txd", std::move(bytes));
        edit.Commit();
    }
    SetJournalSkippedForMeasurement(false);
    if (!OpenGameArchive(S().large).Problems.empty() || std::filesystem::exists(JournalPathFor(S().large)))
        st.SkipWithError("the archive does not read back whole");
}
void ReplaceJournaled250MB(benchmark::State& st) { ReplaceInProcess(st, true, false); }
void ReplaceUnjournaled250MB(benchmark::State& st) { ReplaceInProcess(st, false, false); }
void AppendJournaled250MB(benchmark::State& st) { ReplaceInProcess(st, true, true); }
void AppendUnjournaled250MB(benchmark::State& st) { ReplaceInProcess(st, false, true); }
void ReplaceIn250MB(benchmark::State& st) { Replace(st, S().large); }

// The same dictionary written as a loose file by the same program.
void UnpackOne(benchmark::State& st) {
    for (auto _ : st)
        if (!Run({KELMORA_CLI, "unpack", S().large, "d7.txd", "-o", S().dir + "/loose"}))
            st.SkipWithError("unpack failed");
    if (!std::filesystem::exists(S().dir + "/loose/d7.txd"))
        st.SkipWithError("no file");
}

void FindIn250MB(benchmark::State& st) {
    for (auto _ : st)
        if (!Run({KELMORA_CLI, "find", "mask*", S().large}))
            st.SkipWithError("find failed");
}

// The window's Find in All Dictionaries: the same search through the library, on
// archives of 250 and 2,500 dictionaries; the cost a dictionary stays the same.
void Search(benchmark::State& st, const std::string& archive, std::size_t dictionaries) {
    std::size_t found = 0;
    for (auto _ : st) {
        found = 0;
        SearchTextures(
            archive, "mask", [&](TextureMatch&&) { ++found; }, [](const std::exception&) {}, {});
    }
    if (found != dictionaries)
        st.SkipWithError("the search missed matches");
    st.counters["per dictionary (us)"] =
        benchmark::Counter(static_cast<double>(dictionaries), benchmark::Counter::kIsIterationInvariantRate |
                                                                  benchmark::Counter::kInvert);
}
void SearchIn250(benchmark::State& st) { Search(st, S().small, 250); }
void SearchIn2500(benchmark::State& st) { Search(st, S().large, 2500); }

// One read of the archive's bytes, in large blocks.
void Read250MB(benchmark::State& st) {
    std::vector<std::uint8_t> block(1 << 20);
    std::uint64_t total = 0;
    for (auto _ : st) {
        const FileSource f(S().large);
        total = 0;
        for (std::size_t got; (got = f.ReadAt(total, block.data(), block.size())) > 0;)
            total += got;
    }
    if (total != std::filesystem::file_size(S().large))
        st.SkipWithError("short read");
}

BENCHMARK(ReplaceIn25MB)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(ReplaceIn250MB)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(ReplaceJournaled250MB)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(ReplaceUnjournaled250MB)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(AppendJournaled250MB)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(AppendUnjournaled250MB)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(UnpackOne)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(FindIn250MB)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(Read250MB)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(SearchIn250)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(SearchIn2500)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    return kelmora::bench::RunWithRatios(argc, argv,
                                         {{"ReplaceIn250MB", "ReplaceIn25MB", 1.5},
                                          {"ReplaceJournaled250MB", "ReplaceUnjournaled250MB", 1.5},
                                          {"AppendJournaled250MB", "AppendUnjournaled250MB", 1.5},
                                          {"ReplaceIn250MB", "UnpackOne", 3.0},
                                          {"FindIn250MB", "Read250MB", 6.0},
                                          {"SearchIn2500", "SearchIn250", 12.0}});
}
