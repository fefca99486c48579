#pragma once

#include <string>
#include <vector>

namespace tandrel::cli {

// The program's arguments in UTF-8, the program's name first. On Windows
// they are read again from the wide command line, since `argv` holds them in
// the ANSI code page, where a name outside it is already lost. False when an
// argument cannot be told in UTF-8.
bool ProgramArguments(int argc, char** argv, std::vector<std::string>& arguments);

// A folder named on the command line in the form the scanner and the copy
// work with. On Windows: absolute, with backslashes ("C:/a", "a\b",
// "\\server\share" are all accepted). Elsewhere the path as given.
std::string FolderArgument(const std::string& path);

} // namespace tandrel::cli
