#pragma once
// The output formats, in one table that the export run, the window's dialogs and
// kelmora-cli all read: the index is the format's number everywhere (the mass
// extract dialog's list, the save dialog's filter index minus one, ExpFormat).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "dictionary/decode_state.h"
#include "dictionary/picture.h"

namespace kelmora {

enum ExportFormat : std::uint8_t { FormatBmp = 0, FormatJpeg = 1, FormatTga = 2, FormatPng = 3 };

struct OutputFormat {
    ExportFormat Id;
    std::string_view Extension;    // with its dot
    std::string_view Name;         // as kelmora-cli takes it
    std::string_view DialogFilter; // the dialogs' text
    // BMP and JPEG hold one picture, colour or alpha, and get alpha companions;
    // TGA and PNG hold colour and alpha together and are written from the decode state.
    bool TakesPicture;
    void (*WritePicture)(const Picture& picture, const std::string& path);
    void (*WriteState)(const std::string& path, const DecodeState& state, bool brighten);

    // Writes what this format holds: the picture, or the decode state.
    void Write(const std::string& path, const DecodeState& state, const Picture& picture, bool brighten) const {
        TakesPicture ? WritePicture(picture, path) : WriteState(path, state, brighten);
    }
};

std::span<const OutputFormat> OutputFormats();
// Null for numbers that name no format.
const OutputFormat* FindFormat(std::uint8_t id);
// By name or extension, without the dot, any case ("jpeg" is JPEG too); null when unknown.
const OutputFormat* FindFormatByName(std::string_view name);

} // namespace kelmora
