#pragma once

#include "report/ReportWriter.h"
#include "sync/SyncOperations.h"

#include <optional>
#include <string>
#include <vector>

namespace tandrel::cli {

enum class Command { Compare, Copy, Delete, Verify };

const char* CommandName(Command command);

// Everything the arguments say, checked for form but not yet against the disk.
struct CommandLine {
    Command command = Command::Compare;
    std::string source;
    std::string destination;
    bool includeSubdirectories = true;
    std::string settingsFile; // empty: the window's settings file, if it has one
    bool noFilters = false;   // every entry is compared, whatever the settings say
    bool quiet = false;       // no status line
    // compare
    bool summary = false;
    report::ReportFormat format = report::ReportFormat::Text;
    // copy and delete
    std::vector<int> lists;
    sync::CopyDirection direction = sync::CopyDirection::SourceToDestination;
    // delete
    bool trash = false; // move the items to the user's trash instead of removing them
};

// Reads the arguments into `line`. Returns an exit status when the program
// ends here: after --help or --version (0, text on standard output) or on a
// usage error (2, the reason on standard error).
std::optional<int> ParseCommandLine(int argc, const char* const* argv, CommandLine& line);

// Parses "1,2,3" into list numbers 1..5, each once; empty text on success.
std::string ParseLists(const std::string& text, std::vector<int>& lists);

} // namespace tandrel::cli
