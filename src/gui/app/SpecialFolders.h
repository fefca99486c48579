#pragma once

#include <QString>

namespace tandrel::gui {

// The folder of the user's desktop that a shell special-folder number
// (CSIDL) names, or empty where this system has none: on Windows the shell's
// own folder, on Linux its XDG counterpart.
QString SpecialFolderPath(int csidl);

} // namespace tandrel::gui
