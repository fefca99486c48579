#pragma once

#include <string>

namespace tandrel::engine {

// True when the path names a folder that can be opened and searched. Never
// changes the process's current directory and never throws. Symbolic links to
// folders are followed here (a root may be a link); the scanner itself never
// follows links below its roots.
bool FolderExists(const std::string& path);

// Why FolderExists says false, in the system's words ("No such file or
// directory", "Not a directory", "Permission denied"); empty when it says true.
std::string FolderAccessError(const std::string& path);

} // namespace tandrel::engine
