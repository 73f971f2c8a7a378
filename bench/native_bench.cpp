// PC and Xbox textures put back and converted: the PNG round trip (extract, then
// import unedited) of a batch of Direct3D 9 dictionaries against the same of
// console dictionaries of as many texels; converting an archive of console
// dictionaries to Direct3D 9 DXT on every core against exporting it as PNG; and
// what each DXT quality costs and how near it comes (PSNR). Each checks what it timed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "bench/ratio_report.h"
#include "bench/run_process.h"
#include "dictionary/dictionary.h"
#include "dictionary/native_codec.h"
#include "dictionary/native_encode.h"
#include "tests/support/archive_builder.h"
#include "tests/support/dictionary_builder.h"
#include "tests/support/native_builder.h"

namespace {

using namespace kelmora;
using namespace kelmora::testing;

constexpr int kDictionaries = 24;

bool Run(const std::vector<std::string>& args) { return kelmora::bench::RunProcess(args) >= 0; }

// A painted-looking picture: smooth colour and alpha with a little grain.
std::vector<PaletteEntry> Painted(std::uint32_t w, std::uint32_t h, std::uint32_t seed) {
    std::vector<PaletteEntry> out;
    std::uint32_t r = seed * 2654435761u + 7;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            r = r * 1664525u + 1013904223u;
            const int grain = static_cast<int>(r >> 29) - 4;
            auto c = [&](double v) { return static_cast<std::uint8_t>(std::clamp(v + grain, 0.0, 255.0)); };
            out.push_back({c(128 + 100 * std::sin(x * 0.05 + seed)), c(128 + 100 * std::cos(y * 0.04)),
                           c((x + y) * 255.0 / (w + h)), c(255 - 160.0 * x / w)});
        }
    return out;
}

struct Setup {
    std::string dir = MakeTempDir("nativebench");
    std::string pc = dir + "/pc", ps2 = dir + "/ps2", archive = dir + "/ps2.img";

    Setup() {
        std::filesystem::create_directories(pc);
        std::filesystem::create_directories(ps2);
        std::vector<ArchiveFile> entries;
        for (int i = 0; i < kDictionaries; ++i) {
            // Four 128 x 128 textures each side, with levels where the platform has them.
            std::vector<NativeSpec> n;
            const char* const formats[] = {"DXT1", "DXT5", "DXT1", "8888"};
            for (std::uint32_t k = 0; k < 4; ++k) {
                NativeSpec s = RandomNative(9, formats[k], 128, 128, k == 3 ? 1 : 8, i * 4 + k + 1);
                if (IsDxtFormat(s.Format))
                    for (std::uint32_t lv = 0; lv < s.Levels; ++lv) {
                        const std::uint32_t side = std::max(1u, 128u >> lv);
                        s.LevelBytes[lv] = EncodeDxtSimple(s.Format, Painted(side, side, k), side, side);
                    }
                n.push_back(s);
            }
            WriteFile(pc + "/pc" + std::to_string(i) + ".txd", BuildNativeDictionary(n));
            std::vector<TextureSpec> t;
            for (std::uint32_t k = 0; k < 4; ++k) {
                TextureSpec s = RealTexture("t" + std::to_string(k), 128, 128, k == 3 ? 4 : 8, k == 3 ? 1 : 4, i * 4 + k);
                for (PaletteEntry& e : s.Palette)
                    e.A = static_cast<std::uint8_t>(e.A % 129);
                t.push_back(s);
            }
            const auto bytes = BuildDictionary(t);
            WriteFile(ps2 + "/ps2" + std::to_string(i) + ".txd", bytes);
            entries.push_back({"d" + std::to_string(i) + ".txd", bytes});
        }
        WriteFile(archive, BuildArchiveV2(entries));
    }
    ~Setup() { std::filesystem::remove_all(dir); }
};

Setup& S() {
    static Setup s;
    return s;
}

// Extract as PNG, import unedited into the folder itself: every picture is
// compared with its texture, and no dictionary may change.
void RoundTrip(benchmark::State& st, const std::string& folder) {
    const std::string out = S().dir + "/png";
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> before;
    for (const auto& f : std::filesystem::directory_iterator(folder))
        before.emplace_back(f.path().string(), ReadFile(f.path().string()));
    for (auto _ : st) {
        std::filesystem::remove_all(out);
        if (!Run({KELMORA_CLI, "extract", "-q", "-f", "png", "-o", out, folder}) ||
            !Run({KELMORA_CLI, "import", folder, out}))
            st.SkipWithError("the round trip failed");
    }
    for (const auto& [path, bytes] : before)
        if (ReadFile(path) != bytes)
            st.SkipWithError("the round trip changed a dictionary");
}
void RoundTripPc(benchmark::State& st) { RoundTrip(st, S().pc); }
void RoundTripConsole(benchmark::State& st) { RoundTrip(st, S().ps2); }

void ExportArchivePng(benchmark::State& st) {
    for (auto _ : st) {
        std::filesystem::remove_all(S().dir + "/x");
        if (!Run({KELMORA_CLI, "extract", "-q", "-f", "png", "-o", S().dir + "/x", S().archive}))
            st.SkipWithError("extract failed");
    }
}

void ConvertArchive(benchmark::State& st, const char* quality) {
    const std::string out = S().dir + "/d3d9.img";
    for (auto _ : st) {
        std::filesystem::remove(out);
        if (!Run({KELMORA_CLI, "convert", "-q", "--to", "d3d9", "--compress", "dxt", "--dxt-quality", quality,
                  S().archive, "-o", out}))
            st.SkipWithError("convert failed");
    }
    if (!Run({KELMORA_CLI, "list", "--all", out}))
        st.SkipWithError("the converted archive does not list");
}
void ConvertToDxtNormal(benchmark::State& st) { ConvertArchive(st, "normal"); }
void ConvertToDxtFast(benchmark::State& st) { ConvertArchive(st, "fast"); }

// One 256 x 256 painted picture with alpha encoded as DXT5 at a quality: its
// time, and the PSNR of its decode against the picture.
void EncodeDxt(benchmark::State& st, DxtQuality q) {
    const std::vector<PaletteEntry> picture = Painted(256, 256, 3);
    std::vector<std::uint8_t> blocks;
    for (auto _ : st) {
        blocks = EncodeNativeTexels(NativeFormat::Dxt5, picture.data(), 256, 256, 0, q, false);
        benchmark::DoNotOptimize(blocks.data());
    }
    std::vector<PaletteEntry> back(picture.size());
    DecodeNativeTexels(NativeFormat::Dxt5, blocks.data(), 256, 256, PlainPitch(NativeFormat::Dxt5, 256), back.data());
    double sum = 0;
    for (std::size_t i = 0; i < back.size(); ++i) {
        const int d[4] = {back[i].R - picture[i].R, back[i].G - picture[i].G, back[i].B - picture[i].B,
                          back[i].A - picture[i].A};
        for (int v : d)
            sum += v * v;
    }
    const double mse = sum / (4.0 * static_cast<double>(back.size()));
    st.counters["PSNR_dB"] = 10 * std::log10(255.0 * 255.0 / mse);
    if (st.counters["PSNR_dB"] < 30)
        st.SkipWithError("the encode is far from the picture");
}
void DxtFast(benchmark::State& st) { EncodeDxt(st, DxtQuality::Fast); }
void DxtNormal(benchmark::State& st) { EncodeDxt(st, DxtQuality::Normal); }
void DxtBest(benchmark::State& st) { EncodeDxt(st, DxtQuality::Best); }

BENCHMARK(RoundTripConsole)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(RoundTripPc)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ExportArchivePng)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ConvertToDxtNormal)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(ConvertToDxtFast)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(DxtFast)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(DxtNormal)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(DxtBest)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return kelmora::bench::RunWithRatios(argc, argv,
                                         {{"RoundTripPc", "RoundTripConsole", 1.5},
                                          {"ConvertToDxtNormal", "ExportArchivePng", 5.0},
                                          {"ConvertToDxtFast", "ExportArchivePng", 5.0}},
                                         3);
}
