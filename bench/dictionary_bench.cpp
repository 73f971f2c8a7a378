// The walk against one plain read of the same file, and the decode against a
// read of the same pixel bytes from the page cache. Each benchmark checks what it produced.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "bench/ratio_report.h"
#include "dictionary/dictionary.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "tests/support/dictionary_builder.h"

using namespace kelmora;
using namespace kelmora::testing;

namespace {

struct Files {
    std::string dir = MakeTempDir("bench");
    std::string many = dir + "/many.txd";
    std::string big8 = dir + "/big8.txd";
    std::string big4 = dir + "/big4.txd";
    TextureSpec t8 = RandomTexture("big8", 2048, 2048, 8, true, 1);
    TextureSpec t4 = RandomTexture("big4", 2048, 2048, 4, true, 2);
    // The same sizes in the layout console files have, and a mip-mapped texture
    // with its single-level twin.
    std::string real8 = dir + "/real8.txd";
    std::string real4 = dir + "/real4.txd";
    std::string mips = dir + "/mips.txd";
    std::string noMips = dir + "/nomips.txd";
    TextureSpec r8 = RealTexture("real8", 2048, 2048, 8, 1, 3);
    TextureSpec r4 = RealTexture("real4", 2048, 2048, 4, 1, 4);
    TextureSpec m7 = RealTexture("mips", 1024, 1024, 8, 7, 5);

    Files() {
        std::vector<TextureSpec> small;
        for (int i = 0; i < 10000; ++i)
            small.push_back(RandomTexture("tex" + std::to_string(i), 16, 8, i % 2 ? 4 : 8, true, i));
        WriteFile(many, BuildDictionary(small));
        WriteFile(big8, BuildDictionary({t8}));
        WriteFile(big4, BuildDictionary({t4}));
        WriteFile(real8, BuildDictionary({r8}));
        WriteFile(real4, BuildDictionary({r4}));
        WriteFile(mips, BuildDictionary({m7}));
        TextureSpec one = m7;
        one.MipPixels.clear();
        WriteFile(noMips, BuildDictionary({one}));
    }
    ~Files() { std::filesystem::remove_all(dir); }
};

Files& F() {
    static Files f;
    return f;
}

void PlainRead(benchmark::State& st) {
    std::vector<std::uint8_t> buf;
    for (auto _ : st) {
        OsFile f = OsFile::OpenRead(F().many);
        buf.resize(f.Size());
        benchmark::DoNotOptimize(f.ReadAt(0, buf.data(), buf.size()));
    }
}
BENCHMARK(PlainRead)->Unit(benchmark::kMillisecond);

void Walk(benchmark::State& st) {
    for (auto _ : st) {
        const Dictionary d = Dictionary::OpenFile(F().many);
        const WalkResult& w = d.Walk();
        if (w.End != WalkEnd::Complete || w.Listed != 10000 || w.Entries[9999].Name != "tex9999")
            st.SkipWithError("wrong walk");
    }
}
BENCHMARK(Walk)->Unit(benchmark::kMillisecond);

// The decode's own input: the texture's 4 MiB of pixel bytes read from the page
// cache into the grid's memory. A memcpy of 4 MiB would measure this machine's
// last-level cache (260 MiB here), not the work any decoder must do.
void PageCacheRead(benchmark::State& st) {
    const TTexEntry e = Dictionary::OpenFile(F().big8).Entries()[0];
    std::vector<std::uint8_t> grid(2048 * 2048);
    for (auto _ : st) {
        OsFile f = OsFile::OpenRead(F().big8);
        if (f.ReadAt(e.DataOffset + 156, grid.data(), grid.size()) != grid.size())
            st.SkipWithError("short read");
        benchmark::DoNotOptimize(grid.data());
    }
}
BENCHMARK(PageCacheRead)->Unit(benchmark::kMillisecond);

void DecodeBig(benchmark::State& st, const std::string& path, const TextureSpec& want, bool unswizzle) {
    TTexEntry e = Dictionary::OpenFile(path).Entries()[0];
    DecodeState s;
    for (auto _ : st) {
        // As the window does for every display: the file opened, the picture a new value.
        DecodedTexture d = DecodeTexture(FileSource(path), e, {unswizzle, 0});
        benchmark::DoNotOptimize(d.State.Pixels.data());
        if (!d.Ok())
            st.SkipWithError("decode failed");
        s = std::move(d.State);
    }
    // Without the unswizzle the file's order comes back, which differs from the
    // picture; with it, the picture itself.
    if (unswizzle && s.Pixels != want.Pixels)
        st.SkipWithError("wrong pixels");
}

void Decode8Unswizzled(benchmark::State& st) { DecodeBig(st, F().big8, F().t8, true); }
void Decode8Plain(benchmark::State& st) { DecodeBig(st, F().big8, F().t8, false); }
void Decode4Unswizzled(benchmark::State& st) { DecodeBig(st, F().big4, F().t4, true); }
BENCHMARK(Decode8Unswizzled)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode8Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode4Unswizzled)->Unit(benchmark::kMillisecond);

void Decode8Real(benchmark::State& st) { DecodeBig(st, F().real8, F().r8, true); }
void Decode4Real(benchmark::State& st) { DecodeBig(st, F().real4, F().r4, true); }
void DecodeMipsLevel0(benchmark::State& st) { DecodeBig(st, F().mips, F().m7, true); }
void DecodeNoMips(benchmark::State& st) { DecodeBig(st, F().noMips, F().m7, true); }
BENCHMARK(Decode8Real)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode4Real)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeMipsLevel0)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeNoMips)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return kelmora::bench::RunWithRatios(argc, argv,
                                         {{"Walk", "PlainRead", 3.0},
                                          {"Decode8Unswizzled", "PageCacheRead", 8.0},
                                          {"Decode8Plain", "PageCacheRead", 8.0},
                                          {"Decode4Unswizzled", "PageCacheRead", 8.0},
                                          {"Decode8Real", "Decode8Unswizzled", 1.2},
                                          {"Decode4Real", "Decode4Unswizzled", 1.2},
                                          {"DecodeMipsLevel0", "DecodeNoMips", 1.3}}, 9);
}
