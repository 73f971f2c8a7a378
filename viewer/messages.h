#pragma once
// The window's words for what the engine reports: the texts its boxes have
// always shown, made from the reports' fields.
#include <QString>
#include <string>

#include "dictionary/dictionary_walk.h"

// A walk that stopped: the record that runs past the end of the file.
QString WalkStoppedText(const kelmora::WalkReport& report);
// The question before a file of an export is replaced.
inline const QString kOverwriteCaption = "Overwrite existing file?";
QString OverwriteText(const std::string& path);
// A destination that could not be made, with the directory and the system's reason.
QString DirectoryFailureText(const std::string& reason);
