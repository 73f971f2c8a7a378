// A batch export of N generated dictionaries by kelmora-cli, as a modder exports a
// whole game: time per dictionary and the process's peak memory, for growing N.
// Both must stay flat: a batch keeps no per-dictionary copies of the batch and
// makes no per-pair checks. Each N runs five times in a fresh child process; the
// medians are reported, and the run checks that every file was written.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/dictionary_builder.h"

using namespace kelmora::testing;
namespace fs = std::filesystem;

namespace {

struct Run {
    double Seconds = 0;
    long PeakKiB = 0;
    bool Ok = false;
};

Run Extract(const std::string& in, const std::string& out, const char* format = "tga", const char* jobs = "1") {
    fs::remove_all(out);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(KELMORA_CLI, KELMORA_CLI, "extract", "-f", format, "-j", jobs, "-q", "-o", out.c_str(), in.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    Run r;
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.PeakKiB = usage.ru_maxrss;
    r.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

template <typename T> T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    // In memory by default (/dev/shm), so that the figures are the program's and not
    // the disk's writeback, which slows down by itself once tens of thousands of
    // files are dirty; --disk runs in the system's temporary directory instead.
    const bool disk = argc > 1 && std::string(argv[1]) == "--disk";
    std::string dir;
    if (!disk && fs::is_directory("/dev/shm")) {
        dir = "/dev/shm/kelmora-batchbench-" + std::to_string(getpid());
        fs::create_directory(dir);
    } else {
        dir = MakeTempDir("batchbench");
    }
    std::printf("files in %s\n", dir.c_str());
    const std::vector<std::size_t> sizes = {250, 1000, 4000};
    // Small dictionaries of three textures each, as most of a game's are.
    const std::vector<std::uint8_t> bytes = BuildDictionary({RandomTexture("road", 32, 32, 8, true, 1),
                                                             RandomTexture("sign", 32, 16, 4, true, 2),
                                                             RealTexture("lamp", 16, 16, 8, 2, 3)});
    std::printf("%8s %14s %14s %12s\n", "N", "ms/dictionary", "total s", "peak KiB");
    double firstPer = 0;
    long firstPeak = 0;
    bool ok = true;
    for (std::size_t n : sizes) {
        const std::string in = dir + "/in" + std::to_string(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::string sub = in + "/" + std::to_string(i % 50);
            fs::create_directories(sub);
            WriteFile(sub + "/d" + std::to_string(i) + ".txd", bytes);
        }
        std::vector<double> seconds;
        std::vector<long> peaks;
        for (int rep = 0; rep < 5; ++rep) {
            const Run r = Extract(in, dir + "/out");
            ok = ok && r.Ok;
            seconds.push_back(r.Seconds);
            peaks.push_back(r.PeakKiB);
        }
        std::size_t written = 0;
        for (const auto& e : fs::recursive_directory_iterator(dir + "/out"))
            written += e.is_regular_file();
        if (written != 3 * n) {
            std::printf("wrong output: %zu files for %zu dictionaries\n", written, n);
            ok = false;
        }
        const double per = Median(seconds) * 1000 / static_cast<double>(n);
        const long peak = Median(peaks);
        if (firstPer == 0) {
            firstPer = per;
            firstPeak = peak;
        }
        std::printf("%8zu %14.3f %14.3f %12ld   (x%.2f time, x%.2f memory of N=%zu)\n", n, per, Median(seconds), peak,
                    per / firstPer, static_cast<double>(peak) / static_cast<double>(firstPeak), sizes.front());
        fs::remove_all(in);
    }
    // A whole game's export as PNG against TGA, and on every core against one:
    // the two samples, as real files are (smooth pictures, mip levels, true
    // colour), 500 times each.
    {
        const std::string in = dir + "/game";
        for (std::size_t i = 0; i < 500; ++i) {
            const std::string sub = in + "/" + std::to_string(i % 50);
            fs::create_directories(sub);
            fs::copy_file(KELMORA_DEMO, sub + "/demo" + std::to_string(i) + ".txd");
            fs::copy_file(KELMORA_CONSOLE, sub + "/console" + std::to_string(i) + ".txd");
        }
        const std::string cores = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
        std::map<std::string, long> peaks;
        auto median = [&](const char* format, const char* jobs) {
            std::vector<double> seconds;
            std::vector<long> peak;
            for (int rep = 0; rep < 7; ++rep) {
                const Run r = Extract(in, dir + "/out", format, jobs);
                ok = ok && r.Ok;
                seconds.push_back(r.Seconds);
                peak.push_back(r.PeakKiB);
            }
            peaks[std::string(format) + " -j " + jobs] = Median(peak);
            return Median(seconds);
        };
        const char* all = cores.c_str();
        const double tga1 = median("tga", "1"), png1 = median("png", "1");
        const double tgaAll = median("tga", all), pngAll = median("png", all);
        std::printf("\n1,000 dictionaries (the samples), median of 7:\n");
        std::printf("  TGA -j 1 %.3f s, PNG -j 1 %.3f s, TGA -j %s %.3f s, PNG -j %s %.3f s\n", tga1, png1, all, tgaAll,
                    all, pngAll);
        std::printf("PNG against TGA, every core (the default): x%.2f (goal at most 1.5); one core: x%.2f\n",
                    pngAll / tgaAll, png1 / tga1);
        std::printf("PNG -j 1 against -j %s: x%.2f faster (goal at least 1.7 on 2 cores)\n", all, png1 / pngAll);
        std::printf("peak KiB:");
        for (const auto& [run, kib] : peaks)
            std::printf("  %s %ld", run.c_str(), kib);
        std::printf("\n");
        fs::remove_all(in);
    }
    // PC dictionaries (DXT, palettes of 256 and 32 entries, true colour, the
    // 16-bit formats) against the console's, as PNG on every core: the cost per
    // byte of input, each batch 1,000 dictionaries of its two samples.
    {
        auto game = [&](const std::string& name, const char* a, const char* b) {
            const std::string in = dir + "/" + name;
            for (std::size_t i = 0; i < 500; ++i) {
                const std::string sub = in + "/" + std::to_string(i % 50);
                fs::create_directories(sub);
                fs::copy_file(a, sub + "/a" + std::to_string(i) + ".txd");
                fs::copy_file(b, sub + "/b" + std::to_string(i) + ".txd");
            }
            return in;
        };
        const double inputMb[2] = {500.0 * static_cast<double>(fs::file_size(KELMORA_DEMO) + fs::file_size(KELMORA_CONSOLE)) / 1e6,
                                   500.0 * static_cast<double>(fs::file_size(KELMORA_D3D8) + fs::file_size(KELMORA_D3D9)) / 1e6};
        const std::string ps2 = game("ps2", KELMORA_DEMO, KELMORA_CONSOLE), pc = game("pc", KELMORA_D3D8, KELMORA_D3D9);
        const std::string cores = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
        auto median = [&](const std::string& in) {
            std::vector<double> seconds;
            for (int rep = 0; rep < 7; ++rep) {
                const Run r = Extract(in, dir + "/out", "png", cores.c_str());
                ok = ok && r.Ok;
                seconds.push_back(r.Seconds);
            }
            return Median(seconds);
        };
        const double ps2s = median(ps2), pcs = median(pc);
        std::size_t written = 0;
        for (const auto& e : fs::recursive_directory_iterator(dir + "/out"))
            written += e.is_regular_file();
        if (written != 500 * (6 + 7)) { // the PC samples' textures
            std::printf("wrong output: %zu files from the PC dictionaries\n", written);
            ok = false;
        }
        std::printf("\nPNG on every core, 1,000 dictionaries each, median of 7:\n");
        std::printf("  PS2 %.3f s for %.1f MB (%.3f s/MB), PC %.3f s for %.1f MB (%.3f s/MB)\n", ps2s, inputMb[0],
                    ps2s / inputMb[0], pcs, inputMb[1], pcs / inputMb[1]);
        std::printf("PC against PS2 per byte of input: x%.2f (goal at most 1.5)\n",
                    (pcs / inputMb[1]) / (ps2s / inputMb[0]));
        fs::remove_all(ps2);
        fs::remove_all(pc);
    }
    fs::remove_all(dir);
    if (!ok) {
        std::printf("a run failed\n");
        return 1;
    }
    return 0;
}
