// The writers against plain writes and a bare libjpeg encode, the whole
// kelmora-cli extract against ImageMagick, and the export's peak memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <jpeglib.h>
#include <png.h>
#include <spng.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "bench/ratio_report.h"
#include "bench/run_process.h"
#include "dictionary/colour_rules.h"
#include "dictionary/dictionary_walk.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "export/image_writers.h"
#include "dictionary/dictionary.h"
#include "tests/support/dictionary_builder.h"


using namespace kelmora;
using namespace kelmora::testing;
using kelmora::bench::RunProcess;

namespace {

struct Setup {
    std::string dir = MakeTempDir("exbench");
    DecodeState state;
    IndexedImage image;
    Picture picture;
    std::vector<unsigned char> rgb;
    std::string big = dir + "/big.txd";

    Setup() {
        TextureSpec t = RandomTexture("big", 2048, 2048, 8, true, 11);
        // A smooth picture, as textures are, so that the encoders see realistic data.
        for (std::uint32_t y = 0; y < 2048; ++y)
            for (std::uint32_t x = 0; x < 2048; ++x)
                t.Pixels[y * 2048 + x] = static_cast<std::uint8_t>((x / 8 + y / 16) ^ (x * y / 4096));
        WriteFile(big, BuildDictionary({t}));
        state = Dictionary::OpenFile(big).Decode(0).State;
        image = MakeIndexedImage(state, false, false);
        picture = image;
        for (std::uint8_t i : image.Rows)
            rgb.insert(rgb.end(), {image.Colours[i].Red, image.Colours[i].Green, image.Colours[i].Blue});
    }
    ~Setup() { std::filesystem::remove_all(dir); }
};

Setup& S() {
    static Setup s;
    return s;
}

void PlainWrite(benchmark::State& st, std::size_t bytes) {
    std::vector<std::uint8_t> buf(bytes, 7);
    for (auto _ : st) {
        std::FILE* f = std::fopen((S().dir + "/plain.bin").c_str(), "wb");
        std::fwrite(buf.data(), 1, buf.size(), f);
        std::fclose(f);
    }
}

void PlainWriteBmpSize(benchmark::State& st) { PlainWrite(st, 1078 + 2048 * 2048); }
void PlainWriteTgaSize(benchmark::State& st) { PlainWrite(st, 18 + 4 * 2048 * 2048); }
BENCHMARK(PlainWriteBmpSize)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainWriteTgaSize)->Unit(benchmark::kMillisecond);

void Bmp(benchmark::State& st) {
    for (auto _ : st)
        WriteBmp8(S().image, S().dir + "/a.bmp");
    if (std::filesystem::file_size(S().dir + "/a.bmp") != 1078 + 2048 * 2048)
        st.SkipWithError("wrong BMP size");
}
void Tga(benchmark::State& st) {
    for (auto _ : st)
        WriteTga32(S().dir + "/a.tga", S().state, true);
    if (std::filesystem::file_size(S().dir + "/a.tga") != 18 + 4 * 2048 * 2048)
        st.SkipWithError("wrong TGA size");
}
BENCHMARK(Bmp)->Unit(benchmark::kMillisecond);
BENCHMARK(Tga)->Unit(benchmark::kMillisecond);

// libjpeg alone, with the same settings, on the same RGB rows, into memory.
void BareLibjpeg(benchmark::State& st) {
    unsigned long size = 0;
    for (auto _ : st) {
        jpeg_compress_struct c;
        jpeg_error_mgr err;
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        unsigned char* out = nullptr;
        size = 0;
        jpeg_mem_dest(&c, &out, &size);
        c.image_width = c.image_height = 2048;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 100, TRUE);
        c.dct_method = JDCT_FLOAT;
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = S().rgb.data() + static_cast<std::size_t>(c.next_scanline) * 2048 * 3;
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::free(out);
    }
    st.counters["bytes"] = static_cast<double>(size);
}
// The writer's own encode: the same stream, made from the picture's indices and
// colour table, as the bare encode writes no file either.
void JpegEncode(benchmark::State& st) {
    std::size_t size = 0;
    for (auto _ : st)
        size = EncodeJpeg(S().picture).Size;
    st.counters["bytes"] = static_cast<double>(size);
}
// The same with the 6 MB file written, for the record.
void JpegToFile(benchmark::State& st) {
    for (auto _ : st)
        WriteJpeg(S().image, S().dir + "/a.jpg");
    st.counters["bytes"] = static_cast<double>(std::filesystem::file_size(S().dir + "/a.jpg"));
}
BENCHMARK(BareLibjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegToFile)->Unit(benchmark::kMillisecond);

// libspng alone, with the writer's settings, on the same rows, the whole image in
// one call, into memory.
void BareSpng(benchmark::State& st) {
    const PngSettings p = PngSettingsFor(S().state, true);
    std::size_t size = 0;
    for (auto _ : st) {
        spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
        spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
        spng_set_option(ctx, SPNG_FILTER_CHOICE, SPNG_DISABLE_FILTERING);
        spng_ihdr ihdr{};
        ihdr.width = ihdr.height = 2048;
        ihdr.bit_depth = 8;
        ihdr.color_type = SPNG_COLOR_TYPE_INDEXED;
        spng_set_ihdr(ctx, &ihdr);
        spng_plte plte{};
        spng_trns trns{};
        plte.n_entries = trns.n_type3_entries = 256;
        for (int i = 0; i < 256; ++i) {
            plte.entries[i] = {p.Palette[i].R, p.Palette[i].G, p.Palette[i].B, 0};
            trns.type3_alpha[i] = p.Palette[i].A;
        }
        spng_set_plte(ctx, &plte);
        spng_set_trns(ctx, &trns);
        spng_encode_image(ctx, S().state.Pixels.data(), S().state.Pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
        int error = 0;
        void* out = spng_get_png_buffer(ctx, &size, &error);
        std::free(out);
        spng_ctx_free(ctx);
    }
    st.counters["bytes"] = static_cast<double>(size);
}
// libpng, the other well-kept PNG library, with the same settings, for the
// record of why the writer uses libspng.
void BareLibpng(benchmark::State& st) {
    const PngSettings p = PngSettingsFor(S().state, true);
    std::vector<unsigned char> out;
    for (auto _ : st) {
        out.clear();
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(
            png, &out,
            [](png_structp pp, png_bytep data, png_size_t n) {
                auto* v = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(pp));
                v->insert(v->end(), data, data + n);
            },
            nullptr);
        png_set_IHDR(png, info, 2048, 2048, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_color plte[256];
        png_byte trns[256];
        for (int i = 0; i < 256; ++i) {
            plte[i] = {p.Palette[i].R, p.Palette[i].G, p.Palette[i].B};
            trns[i] = p.Palette[i].A;
        }
        png_set_PLTE(png, info, plte, 256);
        png_set_tRNS(png, info, trns, 256, nullptr);
        png_set_filter(png, 0, PNG_FILTER_NONE);
        png_write_info(png, info);
        for (std::uint32_t y = 0; y < 2048; ++y)
            png_write_row(png, S().state.Pixels.data() + static_cast<std::size_t>(y) * 2048);
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
    }
    st.counters["bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BareLibpng)->Unit(benchmark::kMillisecond);

// The writer, its file included.
void Png(benchmark::State& st) {
    for (auto _ : st)
        WritePng(S().dir + "/a.png", S().state, true);
    st.counters["bytes"] = static_cast<double>(std::filesystem::file_size(S().dir + "/a.png"));
}
BENCHMARK(BareSpng)->Unit(benchmark::kMillisecond);
BENCHMARK(Png)->Unit(benchmark::kMillisecond);


void CliExtract(benchmark::State& st) {
    for (auto _ : st)
        if (RunProcess({KELMORA_CLI, "extract", "--no-alphas", "-o", S().dir + "/cli", S().big}) < 0)
            st.SkipWithError("kelmora-cli failed");
    if (std::filesystem::file_size(S().dir + "/cli/big.bmp") != 1078 + 2048 * 2048)
        st.SkipWithError("wrong BMP");
}
void ImageMagickToBmp(benchmark::State& st) {
    const std::string png = S().dir + "/big.png";
    if (!std::filesystem::exists(png)) {
        WriteBmp8(S().image, S().dir + "/src.bmp");
        RunProcess({"convert", S().dir + "/src.bmp", png});
    }
    for (auto _ : st)
        if (RunProcess({"convert", png, "-type", "Palette", "-compress", "None", "BMP3:" + S().dir + "/im.bmp"}) < 0)
            st.SkipWithError("convert failed");
}
BENCHMARK(CliExtract)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ImageMagickToBmp)->Unit(benchmark::kMillisecond)->Iterations(5);

// Peak resident size of a command in KiB, measured by GNU time: a child spawned from
// this large process would inherit its high-water mark across exec.
long PeakKiB(const std::vector<std::string>& args) {
    const std::string report = S().dir + "/peak.txt";
    std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
    timed.insert(timed.end(), args.begin(), args.end());
    if (RunProcess(timed) < 0)
        return -1;
    FILE* f = std::fopen(report.c_str(), "r");
    long kib = -1;
    if (f) {
        if (std::fscanf(f, "%ld", &kib) != 1)
            kib = -1;
        std::fclose(f);
    }
    return kib;
}

// Peak memory of exporting 50 textures of 1024 x 1024 against exporting one.
void PeakMemory(benchmark::State& st) {
    const std::string one = S().dir + "/one.txd", fifty = S().dir + "/fifty.txd";
    if (!std::filesystem::exists(fifty)) {
        std::vector<TextureSpec> texs;
        for (int i = 0; i < 50; ++i)
            texs.push_back(RandomTexture("t" + std::to_string(i), 1024, 1024, 8, true, i));
        WriteFile(fifty, BuildDictionary(texs));
        WriteFile(one, BuildDictionary({texs[0]}));
    }
    long a = 0, b = 0;
    for (auto _ : st) {
        a = PeakKiB({KELMORA_CLI, "extract", "-o", S().dir + "/m1", one});
        b = PeakKiB({KELMORA_CLI, "extract", "-o", S().dir + "/m50", fifty});
    }
    st.counters["one_KiB"] = static_cast<double>(a);
    st.counters["fifty_KiB"] = static_cast<double>(b);
    st.counters["ratio"] = a > 0 ? static_cast<double>(b) / static_cast<double>(a) : 0;
    if (a <= 0 || b <= 0)
        st.SkipWithError("kelmora-cli failed");
    else if (static_cast<double>(b) > 1.5 * static_cast<double>(a))
        st.SkipWithError("peak memory grows with the number of textures");
}
BENCHMARK(PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return kelmora::bench::RunWithRatios(argc, argv,
                                         {{"Bmp", "PlainWriteBmpSize", 2.0},
                                          {"Tga", "PlainWriteTgaSize", 2.0},
                                          {"JpegEncode", "BareLibjpeg", 1.05},
                                          {"Png", "BareSpng", 1.2},
                                          {"CliExtract", "ImageMagickToBmp", 0.2}});
}
