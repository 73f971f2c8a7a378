#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

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

// Each row is expanded to RGB into rowBuffer (3 * width bytes) just before it is
// handed over: no full-size copy of the picture is made.
void ExpandRow(const IndexedImage& image, std::uint32_t y, unsigned char* p) {
    const std::uint8_t* indices = image.Row(y);
    for (std::uint32_t x = 0; x < image.Width; ++x) {
        const Rgb& c = image.Colours[indices[x]];
        p[0] = c.Red;
        p[1] = c.Green;
        p[2] = c.Blue;
        p += 3;
    }
}

void ExpandRow(const RgbImage& image, std::uint32_t y, unsigned char* p) {
    static_assert(sizeof(Rgb) == 3);
    std::memcpy(p, image.Row(y), 3 * static_cast<std::size_t>(image.Width));
}

// Returns 0, or the library's message code on failure. *out is malloc'ed.
template <class Image>
int Compress(const Image& image, unsigned char* rowBuffer, unsigned char** out, unsigned long* outSize) {
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
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = image.Width;
    cinfo.image_height = image.Height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        ExpandRow(image, cinfo.next_scanline, rowBuffer);
        JSAMPROW row = rowBuffer;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

struct MallocBuffer {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    ~MallocBuffer() { std::free(data); }
};

template <class Image>
void WriteJpegOf(const Image& image, const std::string& path) {
    MallocBuffer stream;
    if (image.Width > 0 && image.Height > 0) {
        std::vector<unsigned char> row(static_cast<std::size_t>(image.Width) * 3);
        int code = Compress(image, row.data(), &stream.data, &stream.size);
        if (code != 0)
            throw KelmoraError("JPEG error #" + std::to_string(code));
    }
    AtomicOutput file(path);
    if (stream.size > 0)
        file.Write(stream.data, stream.size);
    file.Commit();
}

} // namespace

void WriteJpeg(const IndexedImage& image, const std::string& path) { WriteJpegOf(image, path); }
void WriteJpeg(const RgbImage& image, const std::string& path) { WriteJpegOf(image, path); }
void WriteJpeg(const Picture& picture, const std::string& path) {
    std::visit([&](const auto& image) { WriteJpegOf(image, path); }, picture);
}

} // namespace kelmora
