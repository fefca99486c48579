#pragma once

#include "cli/CliCommon.h"

namespace tandrel::cli {

// tandrel-cli compare: prints the five lists in the report format, or with
// --summary their counts. Exit 0 when every list is empty, 1 when the trees
// differ, 2 when the comparison was interrupted or its output could not be
// written.
int RunCompareCommand(const CommandLine& line, ComparisonSetup& setup, Interrupts& interrupts);

} // namespace tandrel::cli
