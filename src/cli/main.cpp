// tandrel-cli: the comparison, copy and delete of Tandrel from the command line.

#include "cli/CliCommon.h"
#include "cli/CliCompare.h"
#include "cli/CliSync.h"

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "Usage:\n"
    "  tandrel-cli compare [--summary] [--format text|csv] [OPTIONS] SOURCE DESTINATION\n"
    "      Compares the two folder trees and prints the five lists (or only their counts).\n"
    "  tandrel-cli copy --to destination|source --lists N[,N...] [OPTIONS] SOURCE DESTINATION\n"
    "      Compares, then copies every row of the named lists (1 to 5) to the given side.\n"
    "  tandrel-cli delete --lists N[,N...] [OPTIONS] SOURCE DESTINATION\n"
    "      Compares, then deletes the first-column item of every row of the named lists.\n"
    "\n"
    "OPTIONS shared by every command:\n"
    "  --no-subdirs      compare only the entries directly inside the two folders\n"
    "  --settings FILE   take the options and ignored names from a settings file (tdl.ini)\n"
    "\n"
    "Exit status: 0 success, 1 some rows failed or the run was cancelled, 2 usage or set-up error.\n";

} // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsage;
        return args.empty() ? tandrel::cli::kExitUsage : tandrel::cli::kExitOk;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "compare")
        return tandrel::cli::RunCompareCommand(args);
    if (command == "copy")
        return tandrel::cli::RunCopyCommand(args);
    if (command == "delete")
        return tandrel::cli::RunDeleteCommand(args);
    std::cerr << "tandrel-cli: unknown command '" << command << "'\n" << kUsage;
    return tandrel::cli::kExitUsage;
}
