#include <algorithm>
#include <csetjmp>
#include <new>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "base/errors.h"
#include "base/os_file.h"
#include "export/image_writers.h"
#include "base/output_buffer.h"

namespace kelmora {

namespace {

// libjpeg reports errors by calling error_exit, which must not return. We jump
// back out of the library's C frames to Compress, which holds no C++ objects, and
// raise the error only from there.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

extern "C" void OnJpegError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

extern "C" void OnJpegMessage(j_common_ptr, int) {} // warnings are not shown

// Each row is expanded to RGB into rowBuffer (3 * width + 1 bytes) just before it
// is handed over: no full-size copy of the picture is made. Every pixel is stored
// as 4 bytes from a table, the next pixel overwriting the fourth.
struct RowExpander {
    explicit RowExpander(const IndexedImage& image) : indexed(&image) {
        for (int i = 0; i < 256; ++i) {
            const Rgb& c = image.Colours[static_cast<std::size_t>(i)];
            const unsigned char b[4] = {c.Red, c.Green, c.Blue, 0};
            std::memcpy(&table[i], b, 4);
        }
    }
    explicit RowExpander(const RgbImage& image) : rgb(&image) {}

    void Expand(std::uint32_t y, unsigned char* p) const {
        if (rgb) {
            static_assert(sizeof(Rgb) == 3);
            std::memcpy(p, rgb->Row(y), 3 * static_cast<std::size_t>(rgb->Width));
            return;
        }
        const std::uint8_t* indices = indexed->Row(y);
        for (std::uint32_t x = 0; x < indexed->Width; ++x, p += 3)
            std::memcpy(p, &table[indices[x]], 4);
    }

    const IndexedImage* indexed = nullptr;
    const RgbImage* rgb = nullptr;
    std::uint32_t table[256] = {};
};

// A memory destination that starts at about the size a quality-100 picture takes,
// so the stream is seldom moved while it grows. Plain C memory: libjpeg's frames
// are left with longjmp.
struct MemoryDestination {
    jpeg_destination_mgr pub;
    unsigned char* data;
    std::size_t capacity;
    std::size_t size;
};

extern "C" void InitDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    d->pub.next_output_byte = d->data;
    d->pub.free_in_buffer = d->capacity;
}

extern "C" boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    const std::size_t grown = 2 * d->capacity;
    auto* data = static_cast<unsigned char*>(std::realloc(d->data, grown));
    if (!data) {
        cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
        cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
    }
    d->pub.next_output_byte = data + d->capacity;
    d->pub.free_in_buffer = grown - d->capacity;
    d->data = data;
    d->capacity = grown;
    return TRUE;
}

extern "C" void TermDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    d->size = d->capacity - d->pub.free_in_buffer;
}

// Returns 0, or the library's message code on failure. dest->data is malloc'ed.
int Compress(const RowExpander& image, std::uint32_t width, std::uint32_t height, unsigned char* rowBuffer,
             MemoryDestination* dest) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.emit_message = OnJpegMessage;
    if (setjmp(err.jump)) {
        int code = err.pub.msg_code;
        jpeg_destroy_compress(&cinfo);
        return code == 0 ? -1 : code;
    }
    jpeg_create_compress(&cinfo);
    dest->pub.init_destination = InitDestination;
    dest->pub.empty_output_buffer = EmptyOutputBuffer;
    dest->pub.term_destination = TermDestination;
    cinfo.dest = &dest->pub;
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        image.Expand(cinfo.next_scanline, rowBuffer);
        JSAMPROW row = rowBuffer;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

// The compressed stream, in the memory the destination allocated.
struct Stream {
    MemoryDestination dest{};
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    ~Stream() { std::free(dest.data); }
};

template <class Image>
void EncodeJpegOf(const Image& image, Stream& stream) {
    if (image.Width == 0 || image.Height == 0)
        return;
    const std::size_t pixels = static_cast<std::size_t>(image.Width) * image.Height;
    stream.dest.capacity = std::max<std::size_t>(4096, pixels * 2);
    stream.dest.data = static_cast<unsigned char*>(std::malloc(stream.dest.capacity));
    if (!stream.dest.data)
        throw std::bad_alloc();
    std::vector<unsigned char> row(static_cast<std::size_t>(image.Width) * 3 + 1);
    const int code = Compress(RowExpander(image), image.Width, image.Height, row.data(), &stream.dest);
    if (code != 0)
        throw KelmoraError(ErrorCode::JpegWriteError, {.Detail = code});
}

template <class Image>
void WriteJpegOf(const Image& image, const std::string& path) {
    Stream stream;
    EncodeJpegOf(image, stream);
    AtomicOutput file(path);
    if (stream.dest.size > 0)
        file.Write(stream.dest.data, stream.dest.size);
    file.Commit();
}

} // namespace

void WriteJpeg(const IndexedImage& image, const std::string& path) { WriteJpegOf(image, path); }
void WriteJpeg(const RgbImage& image, const std::string& path) { WriteJpegOf(image, path); }
void WriteJpeg(const Picture& picture, const std::string& path) {
    std::visit([&](const auto& image) { WriteJpegOf(image, path); }, picture);
}

JpegStream EncodeJpeg(const Picture& picture) {
    Stream stream;
    std::visit([&](const auto& image) { EncodeJpegOf(image, stream); }, picture);
    JpegStream out;
    out.Size = stream.dest.size;
    out.Data.reset(stream.dest.data);
    stream.dest.data = nullptr;
    return out;
}

} // namespace kelmora
