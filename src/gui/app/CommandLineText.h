#pragma once

#include <QString>
#include <QStringList>

namespace tandrel::gui {

// The window program's arguments, its name first, read after QApplication
// took its own options (-platform, -style, ...) out of argv. A folder named
// on a Linux command line is bytes, which need not be UTF-8: there argv is
// converted with ToQ, so that FromQ gives the folder's bytes back exactly.
// On Windows the wide command line as Qt reads it.
QStringList CommandLineArguments(int argc, char** argv);

// The process's current folder, the base of relative folders on the command
// line; converted the same lossless way.
QString CurrentFolderText();

} // namespace tandrel::gui
