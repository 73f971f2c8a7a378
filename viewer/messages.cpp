#include "viewer/messages.h"

#include <QLocale>
#include <new>

#include "viewer/dialog_services.h"
#include "viewer/qt_text.h"
#include "words/engine_words.h"

using namespace kelmora;

QString ErrorMessage(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return "Out of memory";
    return Q(ErrorText(error));
}

QString ErrorBoxText(const std::exception& error) { return Q(DefaultErrorText(S(ErrorMessage(error)))); }

QString DecodeMessage(const DecodeResult& result) { return Q(DecodeProblem(result)); }

QString ArchiveProblemMessage(const ArchiveProblem& problem) { return Q(EscapeControls(ArchiveProblemText(problem))); }

QString ExportSummaryMessage(const ExportOutcome& r, std::size_t listLines, const std::string& destDir) {
    return Q(ExportSummary(r.Exported, listLines, r.ElapsedMs, destDir, S(QLocale().decimalPoint()), r.Renamed,
                           r.Cancelled));
}

QString WalkStoppedText(const WalkReport& r) {
    return "Texture " + QString::number(r.TextureNumber) + " of " + QString::number(r.Count) + "\r\n" +
           FromFile(EscapeControls(r.NamePart)) + "\r\n\r\n" + "-<[  ERROR!  ]>-" + "\r\n\r\n" +
           "Can't jump to position " + QString::number(r.Next) + ",\r\nfile size is only " +
           QString::number(r.FileSize) + "!";
}

QString OverwriteText(const std::string& path) { return Q(path) + "\r\nalready exists! Overwrite?"; }

