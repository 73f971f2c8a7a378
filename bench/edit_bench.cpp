// Putting textures back: the encoder against the decoder on the same texture,
// quantising a picture, and kelmora-cli import of a whole exported dictionary
// against the extract that made the folder. Each checks what it timed.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench/ratio_report.h"
#include "bench/run_process.h"
#include "dictionary/dictionary.h"
#include "dictionary/raster_encode.h"
#include "editing/texture_import.h"
#include "tests/support/dictionary_builder.h"

namespace {

using namespace kelmora;
using namespace kelmora::testing;

struct Setup {
    std::string dir = MakeTempDir("editbench");
    std::vector<std::uint8_t> big;       // one 1024 x 1024 8-bit texture, console layout
    std::string many = dir + "/many.txd"; // 40 textures of 256 x 256
    DecodeState picture;
    InputImage rgba;

    Setup() {
        big = BuildDictionary({RealTexture("big", 1024, 1024, 8, 1, 1)});
        picture = Dictionary(std::make_shared<MemorySource>(big.data(), big.size())).Decode(0).State;
        std::vector<TextureSpec> texs;
        for (std::uint32_t i = 0; i < 40; ++i)
            texs.push_back(RealTexture("t" + std::to_string(i), 256, 256, i % 2 ? 4 : 8, 1, i + 2));
        for (TextureSpec& t : texs)
            for (PaletteEntry& e : t.Palette)
                e.A = static_cast<std::uint8_t>(e.A % 129);
        WriteFile(many, BuildDictionary(texs));
        // A smooth RGBA picture, as a painted texture is.
        rgba.Width = rgba.Height = 1024;
        for (std::uint32_t y = 0; y < 1024; ++y)
            for (std::uint32_t x = 0; x < 1024; ++x)
                rgba.Rgba.push_back({static_cast<std::uint8_t>(x / 4), static_cast<std::uint8_t>(y / 4),
                                     static_cast<std::uint8_t>((x ^ y) / 8), static_cast<std::uint8_t>(x < 512 ? 255 : 128)});
    }
    ~Setup() { std::filesystem::remove_all(dir); }
};

Setup& S() {
    static Setup s;
    return s;
}

void Decode1024(benchmark::State& st) {
    const Dictionary d(std::make_shared<MemorySource>(S().big.data(), S().big.size()));
    for (auto _ : st) {
        DecodedTexture t = d.Decode(0);
        benchmark::DoNotOptimize(t.State.Pixels.data());
    }
}

void Encode1024(benchmark::State& st) {
    const Dictionary d(std::make_shared<MemorySource>(S().big.data(), S().big.size()));
    const TTexEntry e = d.Entries()[0];
    std::vector<std::uint8_t> bytes = S().big;
    for (auto _ : st) {
        EncodeRaster(bytes, e, true, S().picture);
        benchmark::DoNotOptimize(bytes.data());
    }
    if (bytes != S().big)
        st.SkipWithError("the encode changed the bytes");
}

void Quantise1024(benchmark::State& st) {
    DecodeState target;
    target.TexWidth = target.TexHeight = 1024;
    target.TexDepth = 8;
    DecodeState q;
    for (auto _ : st)
        q = PictureFromImage(S().rgba, target, {}, "bench");
    if (q.Pixels.size() != 1024u * 1024u)
        st.SkipWithError("no picture");
}

bool Run(const std::vector<std::string>& args) { return kelmora::bench::RunProcess(args) >= 0; }

void ExtractPng(benchmark::State& st) {
    for (auto _ : st)
        if (!Run({KELMORA_CLI, "extract", "-q", "-f", "png", "-o", S().dir + "/png", S().many}))
            st.SkipWithError("extract failed");
}

void Import(benchmark::State& st) {
    if (!std::filesystem::exists(S().dir + "/png"))
        Run({KELMORA_CLI, "extract", "-q", "-f", "png", "-o", S().dir + "/png", S().many});
    for (auto _ : st)
        if (!Run({KELMORA_CLI, "import", S().many, S().dir + "/png", "-o", S().dir + "/back.txd"}))
            st.SkipWithError("import failed");
    if (ReadFile(S().dir + "/back.txd") != ReadFile(S().many))
        st.SkipWithError("the round trip changed the dictionary");
}

BENCHMARK(Decode1024)->Unit(benchmark::kMillisecond);
BENCHMARK(Encode1024)->Unit(benchmark::kMillisecond);
BENCHMARK(Quantise1024)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ExtractPng)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(Import)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    return kelmora::bench::RunWithRatios(argc, argv,
                                         {{"Encode1024", "Decode1024", 1.5}, {"Import", "ExtractPng", 2.0}});
}
