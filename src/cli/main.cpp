// tandrel-cli: the comparison, copy and delete of Tandrel from the command line,
// and the content check of the files that compare as equal.

#include "cli/CliCompare.h"
#include "cli/CliSync.h"
#include "cli/CliVerify.h"
#include "cli/Console.h"
#include "cli/ProgramArguments.h"
#include "cli/StandardOutput.h"
#include "platform/DescriptorLimit.h"

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace tandrel::cli;
    std::setlocale(LC_ALL, "");
    tandrel::platform::RaiseDescriptorLimit();
    ConsoleOutput console;
    StandardOutput output;
    std::vector<std::string> arguments;
    if (!ProgramArguments(argc, argv, arguments)) {
        std::cerr << "tandrel-cli: an argument is not valid Unicode text\n";
        return kExitTrouble;
    }
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    CommandLine line;
    if (const auto status = ParseCommandLine(static_cast<int>(pointers.size()), pointers.data(), line))
        return *status;
    InterceptSignals();
    ComparisonSetup setup;
    if (const std::string error = PrepareComparison(line, setup); !error.empty()) {
        std::cerr << Message(line.command, error) << "\n";
        return kExitTrouble;
    }
    Interrupts& interrupts = ProcessInterrupts();
    switch (line.command) {
    case Command::Compare:
        return RunCompareCommand(line, setup, interrupts);
    case Command::Verify:
        return RunVerifyCommand(line, setup, interrupts);
    default:
        return RunSyncCommand(line, setup, interrupts);
    }
}
