#include <cstring>
#include <vector>

#include "base/output_buffer.h"
#include "export/image_writers.h"

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

// Writes an uncompressed bitmap: the file and information headers, the colour
// table (256 entries, or none), then the rows bottom-up, each made by fillRow into
// a buffer whose padding stays zero. A picture without pixels leaves an empty file.
template <class FillRow>
void WriteBitmap(const std::string& path, std::uint32_t w, std::uint32_t h, std::uint16_t bits,
              const std::array<Rgb, 256>* colours, FillRow fillRow) {
    AtomicOutput file(path);
    if (w == 0 || h == 0) {
        file.Commit();
        return;
    }
    const std::uint32_t stride = ((bits * w + 31) & ~31u) / 8;
    const std::uint32_t imageSize = stride * h;
    const std::uint32_t offBits = 54 + (colours ? 1024 : 0);
    std::vector<std::uint8_t> header(offBits, 0);
    header[0] = 'B';
    header[1] = 'M';
    Put32(&header[2], offBits + imageSize);
    Put32(&header[10], offBits);
    Put32(&header[14], 40);
    Put32(&header[18], w);
    Put32(&header[22], h);
    Put16(&header[26], 1);
    Put16(&header[28], bits);
    Put32(&header[34], imageSize);
    if (colours) {
        Put32(&header[46], 256);
        for (int i = 0; i < 256; ++i) {
            header[54 + 4 * i] = (*colours)[i].Blue;
            header[54 + 4 * i + 1] = (*colours)[i].Green;
            header[54 + 4 * i + 2] = (*colours)[i].Red;
        }
    }
    OutputBuffer out(file);
    out.Put(header.data(), header.size());
    std::vector<std::uint8_t> row(stride, 0);
    for (std::uint32_t y = h; y-- > 0;) {
        fillRow(y, row.data());
        out.Put(row.data(), stride);
    }
    out.Flush();
    file.Commit();
}

} // namespace

void WriteBmp8(const IndexedImage& image, const std::string& path) {
    WriteBitmap(path, image.Width, image.Height, 8, &image.Colours,
             [&](std::uint32_t y, std::uint8_t* row) { std::memcpy(row, image.Row(y), image.Width); });
}

void WriteBmp24(const RgbImage& image, const std::string& path) {
    WriteBitmap(path, image.Width, image.Height, 24, nullptr, [&](std::uint32_t y, std::uint8_t* row) {
        const Rgb* src = image.Row(y);
        for (std::uint32_t x = 0; x < image.Width; ++x) {
            row[3 * x] = src[x].Blue;
            row[3 * x + 1] = src[x].Green;
            row[3 * x + 2] = src[x].Red;
        }
    });
}

void WriteBmp(const Picture& picture, const std::string& path) {
    if (const auto* indexed = std::get_if<IndexedImage>(&picture))
        WriteBmp8(*indexed, path);
    else
        WriteBmp24(std::get<RgbImage>(picture), path);
}

} // namespace kelmora
