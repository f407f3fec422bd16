#pragma once
// Texts between the Qt-free layers (UTF-8 std::string) and the widgets (QString).

#include <QString>
#include <string>

namespace klangor {

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline QString Q(const char* text) { return QString::fromUtf8(text); }
inline std::string S(const QString& text) { return text.toStdString(); }

}  // namespace klangor
