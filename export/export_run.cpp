#include "export/export_run.h"

#include <chrono>

#include "dictionary/colour_rules.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "dictionary/text.h"
#include "export/image_writers.h"
#include "export/safe_name.h"

namespace kelmora {

std::uint32_t SteadyTicks() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string FormatExtension(std::uint8_t format) {
    switch (format) {
    case FormatBmp: return ".bmp";
    case FormatJpeg: return ".jpg";
    case FormatTga: return ".tga";
    default: return {};
    }
}

std::string ExportPath(const std::string& destDir, const std::string& textureName, std::uint8_t format) {
    return destDir + SafeFileName(Cp1252ToUtf8(textureName)) + FormatExtension(format);
}

std::string ExportSummary(std::size_t exported, std::size_t listLines, std::uint32_t elapsedMs,
                          const std::string& destDir, const std::string& decimalSeparator) {
    return std::to_string(exported) + " of " + std::to_string(listLines) + " texture(s) exported within " +
           FormatSeconds(elapsedMs, decimalSeparator) + " seconds to " + destDir + ".";
}

ExportOutcome RunExport(const std::string& dictionary, const std::vector<TTexEntry>& entries,
                        const std::vector<bool>& marks, const ExportSettings& settings, DecodeState& state,
                        const ExportCallbacks& cb) {
    const auto ticks = cb.Ticks ? cb.Ticks : SteadyTicks;
    const std::uint32_t start = ticks();
    const std::uint8_t format = settings.ExpFormat;
    const bool indexed = format == FormatBmp || format == FormatJpeg;
    ExportOutcome outcome;

    std::size_t marked = 0, done = 0;
    for (std::size_t s = 0; s < marks.size() && s < entries.size(); ++s)
        marked += marks[s];

    for (std::size_t s = 0; s < marks.size() && s < entries.size(); ++s) {
        if (!marks[s])
            continue;
        if (cb.Progress)
            cb.Progress(done++, marked, s);
        const TTexEntry& e = entries[s];
        DecodeResult r = DecodeRaster(dictionary, e, settings.ExpFilter, state);
        if (!r.Ok() && cb.DecodeFailed && cb.DecodeFailed(s, r)) {
            ++outcome.Failed;
            continue;
        }
        if (!r.Ok()) {
            outcome.Completed = false;
            outcome.Message = r.Message;
            outcome.ElapsedMs = ticks() - start;
            return outcome;
        }

        if (r.CutShort() && cb.CutShort)
            cb.CutShort(s, r);

        const bool companion = settings.ExpAlphas && !e.AlphaName.empty();
        // Writes one level's files; false when the user declined to overwrite them.
        auto writeLevel = [&](const std::string& suffix) {
            const std::string mainPath = ExportPath(settings.DestDir, e.Name + suffix, format);
            const std::string alphaPath = ExportPath(settings.DestDir, e.AlphaName + suffix, format);
            if (!settings.ExpOverwrite) {
                auto declined = [&](const std::string& path) {
                    if (!FileExists(path))
                        return false;
                    OverwriteQuestion q{"Overwrite existing file?", path + "\r\nalready exists! Overwrite?", path, s};
                    return !(cb.AskOverwrite && cb.AskOverwrite(q));
                };
                // The companion's question is asked for TGA too, although TGA writes none.
                if (declined(mainPath) || (companion && declined(alphaPath)))
                    return false;
            }
            if (indexed) {
                auto write = [format](const Picture& p, const std::string& path) {
                    format == FormatBmp ? WriteBmp(p, path) : WriteJpeg(p, path);
                };
                write(MakePicture(state, false, false), mainPath);
                if (companion)
                    write(MakePicture(state, true, settings.ExpBrighten), alphaPath);
            } else if (format == FormatTga) {
                WriteTga32(mainPath, state, settings.ExpBrighten);
            }
            return true;
        };
        if (!writeLevel(""))
            continue;
        if (indexed || format == FormatTga)
            ++outcome.Exported;
        for (std::uint32_t n = 1; settings.ExpLevels && n < r.LevelCount; ++n) {
            if (DecodeRaster(dictionary, e, settings.ExpFilter, state, {}, n).Ok())
                writeLevel(".mip" + std::to_string(n));
        }
    }
    outcome.ElapsedMs = ticks() - start;
    return outcome;
}

} // namespace kelmora
