// tandrel-cli: the comparison, copy and delete of Tandrel from the command line.

#include "cli/CliCompare.h"
#include "cli/CliSync.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv)
{
    using namespace tandrel::cli;
    std::setlocale(LC_ALL, "");
    CommandLine line;
    if (const auto status = ParseCommandLine(argc, argv, line))
        return *status;
    InterceptSignals();
    ComparisonSetup setup;
    if (const std::string error = PrepareComparison(line, setup); !error.empty()) {
        std::cerr << Message(line.command, error) << "\n";
        return kExitTrouble;
    }
    Interrupts& interrupts = ProcessInterrupts();
    return line.command == Command::Compare ? RunCompareCommand(line, setup, interrupts)
                                            : RunSyncCommand(line, setup, interrupts);
}
