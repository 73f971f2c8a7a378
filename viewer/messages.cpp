#include "viewer/messages.h"

#include "viewer/qt_text.h"

using namespace kelmora;

QString WalkStoppedText(const WalkReport& r) {
    return "Texture " + QString::number(r.TextureNumber) + " of " + QString::number(r.Count) + "\r\n" +
           FromFile(EscapeControls(r.NamePart)) + "\r\n\r\n" + "-<[  ERROR!  ]>-" + "\r\n\r\n" +
           "Can't jump to position " + QString::number(r.Next) + ",\r\nfile size is only " +
           QString::number(r.FileSize) + "!";
}

QString OverwriteText(const std::string& path) { return Q(path) + "\r\nalready exists! Overwrite?"; }

QString DirectoryFailureText(const std::string& reason) {
    return "Directory cannot be created!" + (reason.empty() ? QString() : " " + Q(reason));
}
