#pragma once
// The window's words for what the engine reports: the texts its boxes have
// always shown, made from the reports' fields.
#include <QString>
#include <exception>
#include <string>

#include "archive/game_archive.h"
#include "dictionary/dictionary_walk.h"
#include "dictionary/raster_decode.h"
#include "export/export_run.h"

// Whatever ended a command: the engine's errors in their words, running out of
// memory as "Out of memory", any other exception by its own text.
QString ErrorMessage(const std::exception& error);
// The same, as the default error box shows it: a full stop at the end.
QString ErrorBoxText(const std::exception& error);
// A refused decode or archive table entry, as the boxes say it.
QString DecodeMessage(const kelmora::DecodeResult& result);
QString ArchiveProblemMessage(const kelmora::ArchiveProblem& problem);

// What an export did, with the locale's decimal separator.
QString ExportSummaryMessage(const kelmora::ExportOutcome& outcome, std::size_t listLines, const std::string& destDir);

// A walk that stopped: the record that runs past the end of the file.
QString WalkStoppedText(const kelmora::WalkReport& report);
// What brightening does, and to which textures.
inline const QString kBrightenTip = "Doubles the PlayStation 2's alpha of 0 to 128 to the full 0 to 255. PC and Xbox "
                                    "textures keep their alpha as stored: it is 0 to 255 already.";
// The question before a file of an export is replaced.
inline const QString kOverwriteCaption = "Overwrite existing file?";
QString OverwriteText(const std::string& path);
