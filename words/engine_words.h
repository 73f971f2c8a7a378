#pragma once
// The engine's reports in words: what the window and kelmora-cli both say of an
// error, a refused decode or encode, or a damaged archive table. Each is one
// line; a front end adds what is its own (a box's line breaks, a file prefix).
#include <exception>
#include <string>

#include "archive/game_archive.h"
#include "base/errors.h"
#include "dictionary/raster_decode.h"
#include "dictionary/raster_encode.h"
#include "editing/convert.h"

namespace kelmora {

std::string ErrorText(const KelmoraError& error);
// A KelmoraError as above; any other exception (out of memory, a library's) by its own text.
std::string ErrorText(const std::exception& error);

// "Unknown palette size detected!!! (24)" and the like; empty for a decode that worked.
std::string DecodeProblem(const DecodeResult& result);
std::string EncodeProblem(const EncodeResult& result);

// "N of M texture(s) exported within S seconds to DIR.", with " (K renamed)" and
// " (cancelled)" before the final "." when they apply.
std::string ExportSummary(std::size_t exported, std::size_t listLines, std::uint32_t elapsedMs,
                          const std::string& destDir, const std::string& decimalSeparator = ".",
                          std::size_t renamed = 0, bool cancelled = false);

// "finished undoing an interrupted edit of game.img".
std::string RecoveryText(const std::string& file);

// What a conversion did to one texture, after its label: "DXT1 -> 8bit, 64 x 64
// -> 32 x 32, 2 of 7 levels dropped, colours lost". name is shown as given.
std::string ConvertNoteText(const ConvertNote& note, const std::string& name);

// "entry 7 (name) is empty; skipped" and the like, names shown safely.
std::string ArchiveProblemText(const ArchiveProblem& problem);

} // namespace kelmora
