#pragma once

#include "cli/CliCommon.h"

namespace tandrel::cli {

// tandrel-cli verify: compares as compare does, then reads both files of
// every pair that counts as equal and prints each pair whose contents differ,
// with the offset of the first differing byte; files that cannot be read are
// reported on standard error. Exit 0 when every pair has the same content, 1
// when some differ, 2 when a file could not be read, the output could not be
// written or the run was interrupted.
int RunVerifyCommand(const CommandLine& line, ComparisonSetup& setup, Interrupts& interrupts);

} // namespace tandrel::cli
