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
#include "base/ordered_pool.h"

#include <exception>

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

namespace {

std::vector<std::uint8_t> JpegBytes(const Picture& picture) {
    const JpegStream jpeg = EncodeJpeg(picture);
    return {jpeg.Data.get(), jpeg.Data.get() + jpeg.Size};
}

// The work that costs, done on any thread. PNG and JPEG bytes depend on the
// texture alone; BMP and TGA take the long-lived state (a 4-bit texture's BMP
// keeps palette entries 16 to 255 of earlier decodes) and are written in order.
PreparedTexture Prepare(const ByteSource& dictionary, const TTexEntry& e, const ExportSettings& settings) {
    PreparedTexture p;
    p.Ready = true;
    try {
        p.Decoded = DecodeTexture(dictionary, e, {settings.ExpFilter, 0});
    } catch (...) {
        p.MainError = std::current_exception();
        return p;
    }
    if (!p.Decoded.Ok())
        return p;
    const DecodeState& s = p.Decoded.State;
    auto encode = [&](std::vector<std::uint8_t>& into, std::exception_ptr& error, const auto& make) {
        try {
            into = make();
        } catch (...) {
            error = std::current_exception();
        }
    };
    if (settings.ExpFormat == FormatPng) {
        p.Encoded = true;
        encode(p.Main, p.MainError, [&] { return PngFileBytes(s, settings.ExpBrighten); });
    } else if (settings.ExpFormat == FormatJpeg) {
        p.Encoded = true;
        encode(p.Main, p.MainError, [&] { return JpegBytes(MakePicture(s, false, false)); });
        if (settings.ExpAlphas && !e.AlphaName.empty())
            encode(p.Alpha, p.AlphaError, [&] { return JpegBytes(MakePicture(s, true, settings.ExpBrighten)); });
    }
    return p;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, const std::exception_ptr& error) {
    if (error)
        std::rethrow_exception(error);
    AtomicOutput file(path);
    if (!bytes.empty())
        file.Write(bytes.data(), bytes.size());
    file.Commit();
}

// The marked entries, in order.
std::vector<std::size_t> MarkedOrder(std::span<const TTexEntry> entries, const std::vector<bool>& marks) {
    std::vector<std::size_t> order;
    for (std::size_t s = 0; s < marks.size() && s < entries.size(); ++s)
        if (marks[s])
            order.push_back(s);
    return order;
}

} // namespace

PreparedExport PrepareExport(const ByteSource& dictionary, std::span<const TTexEntry> entries,
                             const std::vector<bool>& marks, const ExportSettings& settings,
                             const std::function<bool()>& stop) {
    const std::vector<std::size_t> order = MarkedOrder(entries, marks);
    PreparedExport prepared;
    prepared.Textures.resize(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (stop && stop())
            break;
        prepared.Textures[k] = Prepare(dictionary, entries[order[k]], settings);
    }
    return prepared;
}

ExportOutcome RunExport(const ByteSource& dictionary, std::span<const TTexEntry> entries,
                        const std::vector<bool>& marks, const ExportSettings& settings,
                        const ExportCallbacks& cb, PreparedExport* preparedAhead) {
    DecodeState state;
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

    std::size_t done = 0;
    const std::vector<std::size_t> order = MarkedOrder(entries, marks);
    const std::size_t marked = order.size();
    // Decoding and compressing run ahead on the workers, or were done before;
    // everything that asks, names, writes or reports stays here, in the order of
    // the textures.
    const bool given = preparedAhead && preparedAhead->Textures.size() == order.size();
    OrderedPool<PreparedTexture> ahead(given ? 0 : order.size(), given ? 1 : settings.Jobs, [&](std::size_t k) {
        return Prepare(dictionary, entries[order[k]], settings);
    });
    auto take = [&](std::size_t k) {
        if (!given)
            return ahead.Take(k);
        PreparedTexture p = std::move(preparedAhead->Textures[k]);
        return p.Ready ? std::move(p) : Prepare(dictionary, entries[order[k]], settings);
    };

    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t s = order[k];
        if (cb.Progress)
            cb.Progress(done++, marked, s);
        if (cb.Cancelled && cb.Cancelled()) {
            outcome.Cancelled = true;
            break;
        }
        const TTexEntry& e = entries[s];
        PreparedTexture prepared = take(k);
        if (!prepared.Encoded && prepared.MainError)
            std::rethrow_exception(prepared.MainError); // the decode itself failed (memory)
        DecodeResult r = prepared.Decoded.Result;
        ApplyDecoded(state, std::move(prepared.Decoded));
        if (!r.Ok() && cb.DecodeFailed && cb.DecodeFailed(s, r)) {
            ++outcome.Failed;
            continue;
        }
        if (!r.Ok()) {
            outcome.Completed = false;
            outcome.Failure = r;
            outcome.FailedEntry = s;
            outcome.ElapsedMs = ticks() - start;
            return outcome;
        }
        if (r.CutShort() && cb.CutShort)
            cb.CutShort(s, r);

        const bool companion = settings.ExpAlphas && !e.AlphaName.empty();
        enum class Written { Yes, Declined, Refused, Failed };
        // Writes one level's files under names no other file of this run has.
        auto writeLevel = [&](const std::string& suffix, bool ahead) {
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
                        cb.Refused(s, KelmoraError(ErrorCode::InputOverwrite, {.File = AbsolutePath(*p)}));
                    return Written::Refused;
                }
            }
            if (!settings.ExpOverwrite) {
                auto declined = [&](const std::string& path) {
                    if (!FileExists(path))
                        return false;
                    OverwriteQuestion q{path, s};
                    return !(cb.AskOverwrite && cb.AskOverwrite(q));
                };
                // The companion's question is asked for TGA too, although TGA writes none.
                if (declined(mainPath) || (companion && declined(alphaPath))) {
                    release();
                    return Written::Declined;
                }
            }
            try {
                if (ahead && prepared.Encoded) {
                    WriteBytes(mainPath, prepared.Main, prepared.MainError);
                    if (companion && indexed)
                        WriteBytes(alphaPath, prepared.Alpha, prepared.AlphaError);
                } else if (indexed) {
                    format->WritePicture(MakePicture(state, false, false), mainPath);
                    if (companion)
                        format->WritePicture(MakePicture(state, true, settings.ExpBrighten), alphaPath);
                } else if (format) {
                    format->WriteState(mainPath, state, settings.ExpBrighten);
                }
            } catch (const KelmoraError& error) {
                release();
                if (!(cb.WriteFailed && cb.WriteFailed(s, error)))
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
        const Written level0 = writeLevel("", true);
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
            if (ok && writeLevel(".mip" + std::to_string(n), false) == Written::Failed) {
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
