#pragma once

#include <string>
#include <vector>

namespace tandrel::cli {

// tandrel-cli copy --to destination|source --lists 1,2,3,5 [--no-subdirs] [--settings FILE] SOURCE DESTINATION
// Compares the two folders, checks every row of the named lists and copies
// them list by list, as the copy buttons would. Every failure is printed and
// the run goes on. Exit 0 when every row was copied, 1 when some failed or
// the run was cancelled, 2 on a usage or set-up error.
int RunCopyCommand(std::vector<std::string> args);

// tandrel-cli delete --lists 4 [--no-subdirs] [--settings FILE] SOURCE DESTINATION
// Compares, checks every row of the named lists and deletes their column-0
// items (list 4: destination side, the others: source side).
int RunDeleteCommand(std::vector<std::string> args);

} // namespace tandrel::cli
