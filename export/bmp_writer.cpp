#include <cstring>
#include <vector>

#include "base/os_file.h"
#include "export/image_writers.h"
#include "base/output_buffer.h"

namespace kelmora {

namespace {

void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

void WriteBmp8(const IndexedImage& image, const std::string& path) {
    AtomicOutput file(path);
    const std::uint32_t w = image.Width, h = image.Height;
    if (w == 0 || h == 0) {
        file.Commit();
        return;
    }

    const std::uint32_t stride = ((8 * w + 31) & ~31u) / 8;
    const std::uint32_t imageSize = stride * h;
    std::uint8_t header[1078] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, 1078 + imageSize);
    Put32(header + 10, 1078);
    Put32(header + 14, 40);
    Put32(header + 18, w);
    Put32(header + 22, h);
    Put16(header + 26, 1);
    Put16(header + 28, 8);
    Put32(header + 34, imageSize);
    Put32(header + 46, 256);
    for (int i = 0; i < 256; ++i) {
        header[54 + 4 * i] = image.Colours[i].Blue;
        header[54 + 4 * i + 1] = image.Colours[i].Green;
        header[54 + 4 * i + 2] = image.Colours[i].Red;
    }

    OutputBuffer out(file);
    out.Put(header, sizeof header);
    std::vector<std::uint8_t> row(stride, 0); // the padding stays zero
    for (std::uint32_t y = h; y-- > 0;) {
        std::memcpy(row.data(), image.Row(y), w);
        out.Put(row.data(), stride);
    }
    out.Flush();
    file.Commit();
}

void WriteBmp24(const RgbImage& image, const std::string& path) {
    AtomicOutput file(path);
    const std::uint32_t w = image.Width, h = image.Height;
    if (w == 0 || h == 0) {
        file.Commit();
        return;
    }

    const std::uint32_t stride = ((24 * w + 31) & ~31u) / 8;
    const std::uint32_t imageSize = stride * h;
    std::uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, 54 + imageSize);
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, w);
    Put32(header + 22, h);
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 34, imageSize);

    OutputBuffer out(file);
    out.Put(header, sizeof header);
    std::vector<std::uint8_t> row(stride, 0); // the padding stays zero
    for (std::uint32_t y = h; y-- > 0;) {
        const Rgb* src = image.Row(y);
        for (std::uint32_t x = 0; x < w; ++x) {
            row[3 * x] = src[x].Blue;
            row[3 * x + 1] = src[x].Green;
            row[3 * x + 2] = src[x].Red;
        }
        out.Put(row.data(), stride);
    }
    out.Flush();
    file.Commit();
}

void WriteBmp(const Picture& picture, const std::string& path) {
    if (const auto* indexed = std::get_if<IndexedImage>(&picture))
        WriteBmp8(*indexed, path);
    else
        WriteBmp24(std::get<RgbImage>(picture), path);
}

} // namespace kelmora
