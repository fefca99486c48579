#pragma once

#include "report/ReportWriter.h"
#include "sync/SyncOperations.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tandrel::cli {

enum class Command { Compare, Copy, Delete, Verify };

// How the rows are written on standard output.
enum class RowFormat {
    Text,      // the command's usual lines
    JsonLines, // one JSON object per row, then one summary object
    NulPaths,  // each row's path followed by a NUL byte, for xargs -0
};

// One pattern argument, in the order given: later ones decide over earlier ones.
struct PatternArgument {
    enum class Kind { Exclude, Include, ExcludeFrom } kind = Kind::Exclude;
    std::string text; // the pattern, or the file's path
};

const char* CommandName(Command command);

// Everything the arguments say, checked for form but not yet against the disk.
struct CommandLine {
    Command command = Command::Compare;
    std::string source;
    std::string destination;
    bool includeSubdirectories = true;
    std::string settingsFile; // empty: the window's settings file, if it has one
    std::string sshConfig;    // ssh's configuration file for remote sides; empty: the user's own
    bool noFilters = false;   // every entry is compared, whatever the settings say
    bool quiet = false;       // no status line
    std::vector<PatternArgument> patterns;
    bool ignoreFiles = false; // also the .tandrelignore of each root
    RowFormat rowFormat = RowFormat::Text;
    // compare
    bool summary = false;
    report::ReportFormat format = report::ReportFormat::Text;
    // copy and delete
    std::vector<int> lists;
    sync::CopyDirection direction = sync::CopyDirection::SourceToDestination;
    bool dryRun = false; // the rows are shown, nothing on disk changes
    // copy
    bool keepReplaced = false; // a replaced file goes to the trash first
    // delete
    bool trash = false; // move the items to the user's trash instead of removing them
    bool allowEmptySide = false; // delete the rows of a side found empty all the same
    std::optional<std::uint64_t> maxDelete; // refuse a run that would remove more items
};

// Reads the arguments into `line`. Returns an exit status when the program
// ends here: after --help or --version (0, text on standard output) or on a
// usage error (2, the reason on standard error).
std::optional<int> ParseCommandLine(int argc, const char* const* argv, CommandLine& line);

// Parses "1,2,3" into list numbers 1..5, each once; empty text on success.
std::string ParseLists(const std::string& text, std::vector<int>& lists);

} // namespace tandrel::cli
