#pragma once
// The mass export run: every marked texture of a dictionary written to one
// directory in one format, with alpha companions for BMP and JPEG.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/errors.h"
#include "base/file_identity.h"
#include "dictionary/decode_state.h"
#include "dictionary/dictionary.h"
#include "dictionary/raster_decode.h"
#include "dictionary/tex_entry.h"
#include "export/output_formats.h"

namespace kelmora {

struct ExportSettings {
    bool ExpAlphas = true;
    bool ExpOverwrite = true;
    bool ExpFilter = true;
    bool ExpBrighten = true;
    std::uint8_t ExpFormat = FormatBmp; // any other value writes nothing
    std::string DestDir;                // existing, ends with a separator
    bool ExpLevels = false;             // also mip levels 1 and up, as NAME.mipN.EXT
    // Threads that decode and compress ahead of the writing; the files, their
    // bytes and every callback are the same for any number.
    std::size_t Jobs = 1;
    // Files that are read in this run and must never be written: the dictionary
    // itself and, in a batch, every other input. Shared by the batch's runs.
    std::shared_ptr<const InputSet> Inputs;
};

// A file of the run that exists already, for the user to decide on.
struct OverwriteQuestion {
    std::string Path;
    std::size_t Entry = 0;
};

struct ExportCallbacks {
    // True for Yes. Asked only when ExpOverwrite is off and a file exists.
    std::function<bool(const OverwriteQuestion&)> AskOverwrite;
    // Before texture `entry` is decoded; done counts the marked textures so far.
    std::function<void(std::size_t done, std::size_t marked, std::size_t entry)> Progress;
    // Milliseconds from any fixed point; wraps at 32 bits.
    std::function<std::uint32_t()> Ticks;
    // A texture that cannot be decoded: true skips it and the run goes on; without
    // this callback, or when it returns false, the run ends there.
    std::function<bool(std::size_t entry, const DecodeResult&)> DecodeFailed;
    // A texture decoded although the file ends inside its pixels.
    std::function<void(std::size_t entry, const DecodeResult&)> CutShort;
    // A file that got another name than its texture's, and why: the name was taken
    // in this run, or was too long.
    std::function<void(std::size_t entry, const std::string& wanted, const std::string& written)> Renamed;
    // A texture skipped because one of its files would replace an input.
    std::function<void(std::size_t entry, const KelmoraError& error)> Refused;
    // A file that could not be written (the error names it and the reason):
    // true skips the texture and the run goes on; without this callback, or when
    // it returns false, the error ends the run as a KelmoraError.
    std::function<bool(std::size_t entry, const KelmoraError& error)> WriteFailed;
    // Asked before each texture: true stops the run there.
    std::function<bool()> Cancelled;
};

struct ExportOutcome {
    bool Completed = true;   // false when a texture could not be decoded
    std::size_t Exported = 0;
    std::size_t Failed = 0;  // textures skipped: DecodeFailed or WriteFailed let the run go on, or Refused
    std::size_t Renamed = 0; // files written under another name than their texture's
    bool Cancelled = false;
    std::uint32_t ElapsedMs = 0;
    DecodeResult Failure;    // the refused decode that ended the run when not completed
    std::size_t FailedEntry = 0; // its texture
};

// One texture decoded and, for PNG and JPEG, its files compressed, ahead of
// their writing. What a run does with it is what it would have done itself.
struct PreparedTexture {
    bool Ready = false;   // false: the run prepares the texture when it comes to it
    DecodedTexture Decoded;
    bool Encoded = false; // Main and Alpha hold the files' bytes
    std::vector<std::uint8_t> Main, Alpha;
    std::exception_ptr MainError, AlphaError; // raised where the writer would have raised them
};

// A dictionary's marked textures prepared on the calling thread, in order: a
// batch prepares its coming dictionaries on the workers while it writes the
// files of one, so that no core waits at the end of each dictionary. Stops
// early when stop says so; the textures not reached are left unprepared.
struct PreparedExport {
    std::vector<PreparedTexture> Textures; // one per marked entry
};
PreparedExport PrepareExport(const ByteSource& dictionary, std::span<const TTexEntry> entries,
                             const std::vector<bool>& marks, const ExportSettings& settings,
                             const std::function<bool()>& stop = {});

// Extension of a format, with its dot; empty for unknown formats.
std::string FormatExtension(std::uint8_t format);

// The file a texture name becomes in the destination.
std::string ExportPath(const std::string& destDir, const std::string& textureName, std::uint8_t format);

// Decodes each marked entry of the dictionary's bytes into a decode state of the
// run's own, which lives from texture to texture as a decode state does (a 4-bit
// texture's BMP keeps palette entries 16 to 255 of the textures before it).
// Errors of the writers propagate as KelmoraError unless WriteFailed takes them;
// files written before stay.
// With prepared (made by PrepareExport with the same marks and settings) the
// run takes its textures from there instead of preparing them on the workers.
ExportOutcome RunExport(const ByteSource& dictionary, std::span<const TTexEntry> entries,
                        const std::vector<bool>& marks, const ExportSettings& settings,
                        const ExportCallbacks& callbacks, PreparedExport* prepared = nullptr);

// Milliseconds of a steady clock, for the timings in messages.
std::uint32_t SteadyTicks();

} // namespace kelmora
