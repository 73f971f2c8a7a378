#include "export/output_formats.h"

#include <array>
#include <cctype>

#include "export/image_writers.h"

namespace kelmora {

namespace {

void WriteBmpPicture(const Picture& p, const std::string& path) { WriteBmp(p, path); }
void WriteJpegPicture(const Picture& p, const std::string& path) { WriteJpeg(p, path); }

const std::array<OutputFormat, 4> kFormats = {{
    {FormatBmp, ".bmp", "bmp", "8bit Windows Bitmap (*.bmp)", true, WriteBmpPicture, nullptr},
    {FormatJpeg, ".jpg", "jpg", "Compressed JPEG (*.jpg)", true, WriteJpegPicture, nullptr},
    {FormatTga, ".tga", "tga", "32bit Targa Bitmap (*.tga)", false, nullptr, WriteTga32},
    {FormatPng, ".png", "png", "PNG Image (*.png)", false, nullptr, WritePng},
}};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::span<const OutputFormat> OutputFormats() { return kFormats; }

const OutputFormat* FindFormat(std::uint8_t id) { return id < kFormats.size() ? &kFormats[id] : nullptr; }

const OutputFormat* FindFormatByName(std::string_view name) {
    if (SameIgnoringCase(name, "jpeg"))
        return &kFormats[FormatJpeg];
    for (const OutputFormat& f : kFormats)
        if (SameIgnoringCase(name, f.Name))
            return &f;
    return nullptr;
}

} // namespace kelmora
