#pragma once

#include <optional>
#include <string>

namespace tandrel::cli {

// The settings file the window reads, found as the window finds it: tdl.ini
// in the program's folder (the folder of the executables), unless the
// program is installed (`<prefix>/bin` beside `<prefix>/share/tandrel`) or
// that folder cannot be written; then tdl.ini in the per-user data folder
// of Tandrel. The path, when a regular file is there; nothing when the
// window has no settings file (it then filters nothing).
std::optional<std::string> FindWindowSettings();

} // namespace tandrel::cli
