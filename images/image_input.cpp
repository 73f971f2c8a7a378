#include "images/image_input.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <spng.h>

#include "base/byte_source.h"
#include "base/bytes.h"
#include "base/errors.h"

namespace kelmora {

namespace {

std::uint16_t Load16(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | b[1] << 8); }

// Guards a picture's size before anything is allocated for it.
void CheckSize(const std::string& name, std::uint64_t w, std::uint64_t h) {
    if (w == 0 || h == 0)
        throw KelmoraError(ErrorCode::PictureEmpty, {.File = name});
    if (w > kMaxImageSide || h > kMaxImageSide)
        throw KelmoraError(ErrorCode::PictureTooLarge, {.File = name, .Width = w, .Height = h});
}

[[noreturn]] void CutShort(const std::string& name) { throw KelmoraError(ErrorCode::ImageCutShort, {.File = name}); }

// ---- PNG ----

struct PngDecoder {
    spng_ctx* ctx = spng_ctx_new(0);
    ~PngDecoder() { spng_ctx_free(ctx); }
};

InputImage ReadPng(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    PngDecoder d;
    auto check = [&](int code) {
        if (code == SPNG_IO_EOF || code == SPNG_EOF || code == SPNG_EIDAT_TOO_SHORT || code == SPNG_EIDAT_STREAM)
            CutShort(name);
        if (code != 0)
            throw KelmoraError(ErrorCode::PngError, {.File = name, .Reason = spng_strerror(code)});
    };
    check(spng_set_png_buffer(d.ctx, bytes.data(), bytes.size()));
    // Chunks beyond what a texture needs are not kept in memory.
    spng_set_chunk_limits(d.ctx, 1 << 20, 1 << 22);
    spng_ihdr ihdr{};
    check(spng_get_ihdr(d.ctx, &ihdr));
    CheckSize(name, ihdr.width, ihdr.height);
    InputImage img;
    img.Width = ihdr.width;
    img.Height = ihdr.height;
    const std::size_t n = static_cast<std::size_t>(img.Width) * img.Height;
    if (ihdr.color_type == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte plte{};
        check(spng_get_plte(d.ctx, &plte));
        spng_trns trns{};
        const bool hasTrns = spng_get_trns(d.ctx, &trns) == 0;
        img.Indexed = true;
        img.HasAlpha = hasTrns;
        for (std::uint32_t i = 0; i < plte.n_entries; ++i) {
            const spng_plte_entry& e = plte.entries[i];
            img.Palette.push_back({e.red, e.green, e.blue,
                                   static_cast<std::uint8_t>(hasTrns && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255)});
        }
        // The indices as stored, unpacked from 1, 2, 4 or 8 bits.
        std::size_t size = 0;
        check(spng_decoded_image_size(d.ctx, SPNG_FMT_PNG, &size));
        std::vector<std::uint8_t> packed(size);
        check(spng_decode_image(d.ctx, packed.data(), size, SPNG_FMT_PNG, 0));
        const std::size_t rowBytes = size / img.Height;
        const unsigned bits = ihdr.bit_depth;
        img.Indices.resize(n);
        for (std::uint32_t y = 0; y < img.Height; ++y) {
            const std::uint8_t* row = packed.data() + y * rowBytes;
            for (std::uint32_t x = 0; x < img.Width; ++x) {
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                const unsigned v = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (v >= img.Palette.size())
                    throw KelmoraError(ErrorCode::PaletteEntryMissing,
                                       {.File = name, .Number = v, .Limit = img.Palette.size()});
                img.Indices[static_cast<std::size_t>(y) * img.Width + x] = static_cast<std::uint8_t>(v);
            }
        }
        return img;
    }
    img.HasAlpha = ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                   ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    img.Rgba.resize(n);
    // Grey, grey + alpha, RGB and RGBA at 8 or 16 bits all come as RGBA8; tRNS
    // becomes alpha.
    check(spng_decode_image(d.ctx, img.Rgba.data(), n * 4, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS));
    return img;
}

// ---- TGA ----

InputImage ReadTga(const std::vector<std::uint8_t>& b, const std::string& name) {
    if (b.size() < 18)
        CutShort(name);
    const std::uint8_t idLength = b[0], type = b[2], bits = b[16], descriptor = b[17];
    const bool rle = type == 10;
    if ((type != 2 && type != 10) || b[1] != 0 || (bits != 24 && bits != 32))
        throw KelmoraError(ErrorCode::TgaNotRead, {.File = name});
    const std::uint32_t w = Load16(&b[12]), h = Load16(&b[14]);
    CheckSize(name, w, h);
    InputImage img;
    img.Width = w;
    img.Height = h;
    img.HasAlpha = bits == 32;
    const std::size_t n = static_cast<std::size_t>(w) * h, px = bits / 8;
    img.Rgba.resize(n);
    std::size_t at = 18 + idLength;
    auto pixel = [&](std::size_t i) {
        if (at + px > b.size())
            CutShort(name);
        img.Rgba[i] = {b[at + 2], b[at + 1], b[at], static_cast<std::uint8_t>(px == 4 ? b[at + 3] : 255)};
        at += px;
    };
    for (std::size_t i = 0; i < n;) {
        if (!rle) {
            pixel(i++);
            continue;
        }
        if (at >= b.size())
            CutShort(name);
        const std::uint8_t head = b[at++];
        const std::size_t count = std::min<std::size_t>((head & 0x7F) + 1u, n - i);
        if (head & 0x80) {
            pixel(i);
            for (std::size_t k = 1; k < count; ++k)
                img.Rgba[i + k] = img.Rgba[i];
        } else {
            for (std::size_t k = 0; k < count; ++k)
                pixel(i + k);
        }
        i += count;
    }
    // Rows are stored bottom first unless bit 5 says top first; bit 4 mirrors them.
    if (!(descriptor & 0x20))
        for (std::uint32_t y = 0; y < h / 2; ++y)
            std::swap_ranges(img.Rgba.begin() + y * w, img.Rgba.begin() + (y + 1) * w, img.Rgba.begin() + (h - 1 - y) * w);
    if (descriptor & 0x10)
        for (std::uint32_t y = 0; y < h; ++y)
            std::reverse(img.Rgba.begin() + y * w, img.Rgba.begin() + (y + 1) * w);
    return img;
}

// ---- BMP ----

InputImage ReadBmp(const std::vector<std::uint8_t>& b, const std::string& name) {
    if (b.size() < 54)
        CutShort(name);
    const std::uint32_t offBits = LoadLE32(&b[10]), headerSize = LoadLE32(&b[14]);
    const auto width = static_cast<std::int32_t>(LoadLE32(&b[18]));
    const auto height = static_cast<std::int32_t>(LoadLE32(&b[22]));
    const std::uint16_t bits = Load16(&b[28]);
    const std::uint32_t compression = LoadLE32(&b[30]);
    std::uint32_t colours = LoadLE32(&b[46]);
    // BI_RGB, and BI_BITFIELDS for 32 bits with the usual masks.
    const bool indexed = bits == 1 || bits == 4 || bits == 8;
    if ((!indexed && bits != 24 && bits != 32) || !(compression == 0 || (compression == 3 && bits == 32)) ||
        headerSize < 40)
        throw KelmoraError(ErrorCode::BmpNotRead, {.File = name});
    const bool topDown = height < 0;
    const std::uint64_t w = width < 0 ? 0 : static_cast<std::uint64_t>(width);
    const std::uint64_t h = topDown ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(height))
                                    : static_cast<std::uint64_t>(height);
    CheckSize(name, w, h);
    InputImage img;
    img.Width = static_cast<std::uint32_t>(w);
    img.Height = static_cast<std::uint32_t>(h);
    const std::size_t stride = ((w * bits + 31) / 32) * 4;
    if (offBits > b.size() || stride * h > b.size() - offBits)
        CutShort(name);
    const std::size_t n = static_cast<std::size_t>(w * h);
    if (indexed) {
        if (colours == 0 || colours > (1u << bits))
            colours = 1u << bits;
        const std::size_t table = 14 + std::size_t{headerSize};
        if (table + 4 * std::size_t{colours} > b.size())
            CutShort(name);
        img.Indexed = true;
        for (std::uint32_t i = 0; i < colours; ++i)
            img.Palette.push_back({b[table + 4 * i + 2], b[table + 4 * i + 1], b[table + 4 * i], 255});
        img.Indices.resize(n);
    } else {
        img.Rgba.resize(n);
        img.HasAlpha = bits == 32;
    }
    for (std::uint32_t y = 0; y < img.Height; ++y) {
        const std::uint8_t* row = &b[offBits + (topDown ? y : img.Height - 1 - y) * stride];
        for (std::uint32_t x = 0; x < img.Width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * img.Width + x;
            if (indexed) {
                // Packed from the high bits down, the leftmost pixel first.
                const std::size_t bit = static_cast<std::size_t>(x) * bits;
                const unsigned v = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (v >= img.Palette.size())
                    throw KelmoraError(ErrorCode::ColourMissing, {.File = name, .Number = v, .Limit = img.Palette.size()});
                img.Indices[i] = static_cast<std::uint8_t>(v);
            } else {
                const std::uint8_t* p = row + x * (bits / 8);
                img.Rgba[i] = {p[2], p[1], p[0], static_cast<std::uint8_t>(bits == 32 ? p[3] : 255)};
            }
        }
    }
    return img;
}

// ---- JPEG ----

struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool corrupt; // a warning: corrupt data, or a stream that ends early
};

extern "C" void OnReadError(j_common_ptr cinfo) {
    auto* e = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->message);
    std::longjmp(e->jump, 1);
}
// The library goes on past a damaged or cut stream with grey filler and only warns
// (level -1): such a picture is not what the file was meant to hold.
extern "C" void OnReadMessage(j_common_ptr cinfo, int level) {
    auto* e = reinterpret_cast<JpegErrors*>(cinfo->err);
    if (level < 0 && !e->corrupt) {
        (*cinfo->err->format_message)(cinfo, e->message);
        e->corrupt = true;
    }
}

// Decompresses into rgb, which the caller sizes from the header; holds no C++
// objects across the library's calls, which may jump back here.
bool Decompress(jpeg_decompress_struct& c, JpegErrors& errors, const std::vector<std::uint8_t>& bytes,
                std::vector<std::uint8_t>& rgb, const std::string& name, std::string& failure) {
    if (setjmp(errors.jump)) {
        failure = errors.message;
        return false;
    }
    jpeg_mem_src(&c, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_RGB;
    if (c.image_width == 0 || c.image_height == 0 || c.image_width > kMaxImageSide || c.image_height > kMaxImageSide) {
        failure = std::to_string(c.image_width) + " x " + std::to_string(c.image_height) + " is too large";
        return false;
    }
    (void)name;
    rgb.resize(static_cast<std::size_t>(c.image_width) * c.image_height * 3);
    jpeg_start_decompress(&c);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(c.output_scanline) * c.image_width * 3;
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    if (errors.corrupt) {
        failure = std::string(errors.message) + "; the file is damaged or cut short";
        return false;
    }
    return true;
}

InputImage ReadJpeg(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    jpeg_decompress_struct c{};
    JpegErrors errors{};
    c.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnReadError;
    errors.pub.emit_message = OnReadMessage;
    jpeg_create_decompress(&c);
    std::vector<std::uint8_t> rgb;
    std::string failure;
    const bool ok = Decompress(c, errors, bytes, rgb, name, failure);
    const std::uint32_t w = c.image_width, h = c.image_height;
    jpeg_destroy_decompress(&c);
    if (!ok)
        throw KelmoraError(ErrorCode::JpegError, {.File = name, .Reason = failure});
    InputImage img;
    img.Width = w;
    img.Height = h;
    img.Rgba.resize(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < img.Rgba.size(); ++i)
        img.Rgba[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255};
    return img;
}

} // namespace

InputImage ReadImage(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), png, 8) == 0)
        return ReadPng(bytes, name);
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
        return ReadJpeg(bytes, name);
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return ReadBmp(bytes, name);
    // TGA has no signature: its header must describe true colour.
    if (bytes.size() >= 18 && bytes[1] == 0 && (bytes[2] == 2 || bytes[2] == 10))
        return ReadTga(bytes, name);
    throw KelmoraError(ErrorCode::NotAnImage, {.File = name});
}

InputImage ReadImage(const std::string& path) {
    const FileSource f(path);
    // An image file larger than the largest picture in its largest form is no image.
    if (f.Size() > (std::uint64_t{1} << 31))
        throw KelmoraError(ErrorCode::ImageFileTooLarge, {.File = path});
    return ReadImage(ReadAllBytes(f), path);
}

} // namespace kelmora
