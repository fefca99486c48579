#pragma once

#include <QDir>
#include <QString>

#include <string>

namespace tandrel::test {

// A path as the windows show it: written with the system's separators
// ("C:\\Temp\\src" on Windows, unchanged on Linux).
inline QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }
inline QString Shown(const std::string& path) { return Shown(QString::fromStdString(path)); }

// The root of the system's folders as the windows show it: "/" or "C:\\".
inline QString ShownRoot() { return Shown(QDir::rootPath()); }

} // namespace tandrel::test
