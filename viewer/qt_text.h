#pragma once
// Texts between the engine (UTF-8, and Windows-1252 inside dictionaries) and Qt.
#include <QString>
#include <string>

#include "base/text.h"

inline QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string S(const QString& q) { return q.toUtf8().toStdString(); }
// Texts from the dictionary are Windows-1252.
inline QString FromFile(const std::string& cp1252) { return Q(kelmora::Cp1252ToUtf8(cp1252)); }
