#pragma once

#include <string>
#include <vector>

namespace tandrel::cli {

// tandrel-cli compare [--summary] [--format text|csv] [--no-subdirs] [--settings FILE] SOURCE DESTINATION
int RunCompareCommand(std::vector<std::string> args);

} // namespace tandrel::cli
