#pragma once

#include <string>
#include <vector>

namespace tandrel::cli {

// Splits a Windows command line as the C runtime does (quotes, backslashes
// before quotes) and turns each argument into UTF-8. False when the line
// cannot be split or an argument is not valid UTF-16. "/?" becomes --help.
bool ArgumentsFromCommandLine(const wchar_t* commandLine, std::vector<std::string>& arguments);

} // namespace tandrel::cli
