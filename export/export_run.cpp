#include "export/export_run.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "dictionary/colour_rules.h"
#include "base/os_file.h"
#include "dictionary/raster_decode.h"
#include "dictionary/text.h"
#include "export/image_writers.h"
#include "export/safe_name.h"
#include "export/unique_names.h"
#include "base/atomic_output.h"
#include "base/bytes.h"

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
    case FormatPng: return ".png";
    default: return {};
    }
}

std::string ExportPath(const std::string& destDir, const std::string& textureName, std::uint8_t format) {
    return destDir + SafeFileName(Cp1252ToUtf8(textureName)) + FormatExtension(format);
}

std::string ExportSummary(std::size_t exported, std::size_t listLines, std::uint32_t elapsedMs,
                          const std::string& destDir, const std::string& decimalSeparator, std::size_t renamed,
                          bool cancelled) {
    return std::to_string(exported) + " of " + std::to_string(listLines) + " texture(s) exported within " +
           FormatSeconds(elapsedMs, decimalSeparator) + " seconds to " + destDir +
           (renamed ? " (" + std::to_string(renamed) + " renamed)" : std::string()) +
           (cancelled ? " (cancelled)" : std::string()) + ".";
}

namespace {

namespace fs = std::filesystem;

// Whether writing path would replace one of the inputs, under any of its names.
bool IsInput(const std::string& path, const std::vector<std::string>& inputs) {
    std::error_code ec;
    const fs::path p = PathFromUtf8(path);
    const fs::path normal = fs::absolute(p, ec).lexically_normal();
    for (const std::string& in : inputs) {
        const fs::path q = PathFromUtf8(in);
        if (fs::equivalent(p, q, ec) || fs::absolute(q, ec).lexically_normal() == normal)
            return true;
    }
    return false;
}

} // namespace

ExportOutcome RunExport(const std::string& dictionary, const std::vector<TTexEntry>& entries,
                        const std::vector<bool>& marks, const ExportSettings& settings, DecodeState& state,
                        const ExportCallbacks& cb) {
    const auto ticks = cb.Ticks ? cb.Ticks : SteadyTicks;
    const std::uint32_t start = ticks();
    const std::uint8_t format = settings.ExpFormat;
    const bool indexed = format == FormatBmp || format == FormatJpeg;
    const std::string extension = FormatExtension(format);
    std::vector<std::string> inputs = settings.Inputs;
    inputs.push_back(dictionary);
    ExportOutcome outcome;
    RunNames names;
    // What an earlier run left when it was killed goes first.
    RemoveStaleTemporaries(settings.DestDir);

    std::size_t marked = 0, done = 0;
    for (std::size_t s = 0; s < marks.size() && s < entries.size(); ++s)
        marked += marks[s];

    for (std::size_t s = 0; s < marks.size() && s < entries.size(); ++s) {
        if (!marks[s])
            continue;
        if (cb.Progress)
            cb.Progress(done++, marked, s);
        if (cb.Cancelled && cb.Cancelled()) {
            outcome.Cancelled = true;
            break;
        }
        const TTexEntry& e = entries[s];
        DecodeResult r = DecodeRaster(dictionary, e, settings.ExpFilter, state);
        if (!r.Ok() && cb.DecodeFailed && cb.DecodeFailed(s, r)) {
            ++outcome.Failed;
            continue;
        }
        if (!r.Ok()) {
            outcome.Completed = false;
            outcome.Message = r.Message;
            outcome.FailedEntry = s;
            outcome.ElapsedMs = ticks() - start;
            return outcome;
        }
        if (r.CutShort() && cb.CutShort)
            cb.CutShort(s, r);

        const bool companion = settings.ExpAlphas && !e.AlphaName.empty();
        enum class Written { Yes, Declined, Refused };
        // Writes one level's files under names no other file of this run has.
        auto writeLevel = [&](const std::string& suffix) {
            const std::string mainStem = SafeFileName(Cp1252ToUtf8(e.Name)) + suffix;
            const std::string alphaStem = SafeFileName(Cp1252ToUtf8(e.AlphaName)) + suffix;
            const std::string mainPath = names.Claim(settings.DestDir, mainStem, extension);
            // TGA and PNG write no companion, but its name is still checked as the window always has.
            const std::string alphaPath = companion ? names.Claim(settings.DestDir, alphaStem, extension) : "";
            const bool alphaWritten = companion && indexed;
            auto release = [&] {
                names.Release(mainPath);
                if (companion)
                    names.Release(alphaPath);
            };
            for (const std::string* p : {&mainPath, &alphaPath}) {
                if (!p->empty() && (p == &mainPath || alphaWritten) && IsInput(*p, inputs)) {
                    release();
                    if (cb.Refused)
                        cb.Refused(s, "Not overwriting an input of this export: \"" + AbsolutePath(*p) + "\"");
                    return Written::Refused;
                }
            }
            if (!settings.ExpOverwrite) {
                auto declined = [&](const std::string& path) {
                    if (!FileExists(path))
                        return false;
                    OverwriteQuestion q{"Overwrite existing file?", path + "\r\nalready exists! Overwrite?", path, s};
                    return !(cb.AskOverwrite && cb.AskOverwrite(q));
                };
                // The companion's question is asked for TGA too, although TGA writes none.
                if (declined(mainPath) || (companion && declined(alphaPath))) {
                    release();
                    return Written::Declined;
                }
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
            } else if (format == FormatPng) {
                WritePng(mainPath, state, settings.ExpBrighten);
            }
            auto said = [&](const std::string& stem, const std::string& path) {
                if (path != settings.DestDir + stem + extension) {
                    ++outcome.Renamed;
                    if (cb.Renamed)
                        cb.Renamed(s, settings.DestDir + stem + extension, path);
                }
            };
            if (indexed || format == FormatTga || format == FormatPng)
                said(mainStem, mainPath);
            if (alphaWritten)
                said(alphaStem, alphaPath);
            return Written::Yes;
        };
        const Written level0 = writeLevel("");
        if (level0 == Written::Refused)
            ++outcome.Failed;
        if (level0 != Written::Yes)
            continue;
        if (indexed || format == FormatTga || format == FormatPng)
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
