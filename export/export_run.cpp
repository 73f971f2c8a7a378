#include "export/export_run.h"

#include <chrono>

#include "dictionary/colour_rules.h"
#include "base/os_file.h"
#include "base/errors.h"
#include "dictionary/dictionary.h"
#include "base/text.h"
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
    const OutputFormat* f = FindFormat(format);
    return f ? std::string(f->Extension) : std::string();
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

ExportOutcome RunExport(const ByteSource& dictionary, std::span<const TTexEntry> entries,
                        const std::vector<bool>& marks, const ExportSettings& settings, DecodeState& state,
                        const ExportCallbacks& cb) {
    const auto ticks = cb.Ticks ? cb.Ticks : SteadyTicks;
    const std::uint32_t start = ticks();
    const OutputFormat* format = FindFormat(settings.ExpFormat);
    const bool indexed = format && format->TakesPicture;
    const std::string extension = FormatExtension(settings.ExpFormat);
    const InputSet* inputs = settings.Inputs.get();
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
        DecodedTexture decoded = DecodeTexture(dictionary, e, {settings.ExpFilter, 0});
        DecodeResult r = decoded.Result;
        ApplyDecoded(state, std::move(decoded));
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
        enum class Written { Yes, Declined, Refused, Failed };
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
                if (!p->empty() && (p == &mainPath || alphaWritten) && inputs && inputs->Contains(*p)) {
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
            try {
                if (indexed) {
                    format->WritePicture(MakePicture(state, false, false), mainPath);
                    if (companion)
                        format->WritePicture(MakePicture(state, true, settings.ExpBrighten), alphaPath);
                } else if (format) {
                    format->WriteState(mainPath, state, settings.ExpBrighten);
                }
            } catch (const KelmoraError& error) {
                release();
                if (!(cb.WriteFailed && cb.WriteFailed(s, error.what())))
                    throw;
                return Written::Failed;
            }
            auto said = [&](const std::string& stem, const std::string& path) {
                if (path != settings.DestDir + stem + extension) {
                    ++outcome.Renamed;
                    if (cb.Renamed)
                        cb.Renamed(s, settings.DestDir + stem + extension, path);
                }
            };
            if (format)
                said(mainStem, mainPath);
            if (alphaWritten)
                said(alphaStem, alphaPath);
            return Written::Yes;
        };
        const Written level0 = writeLevel("");
        if (level0 == Written::Refused || level0 == Written::Failed)
            ++outcome.Failed;
        if (level0 != Written::Yes)
            continue;
        if (format)
            ++outcome.Exported;
        for (std::uint32_t n = 1; settings.ExpLevels && n < r.LevelCount; ++n) {
            DecodedTexture level = DecodeTexture(dictionary, e, {settings.ExpFilter, n});
            const bool ok = level.Ok();
            ApplyDecoded(state, std::move(level));
            if (ok && writeLevel(".mip" + std::to_string(n)) == Written::Failed) {
                // Level 0 is out; the texture still counts as failed.
                ++outcome.Failed;
                break;
            }
        }
    }
    outcome.ElapsedMs = ticks() - start;
    return outcome;
}

} // namespace kelmora
