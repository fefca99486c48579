#pragma once

#include "cli/CommandLine.h"
#include "cli/Interrupts.h"
#include "cli/StatusLine.h"
#include "engine/ContentCheck.h"
#include "engine/PathPatterns.h"
#include "engine/ResultStore.h"
#include "platform/remote/RemoteSides.h"
#include "settings/SettingsFile.h"

#include <string>
#include <vector>

namespace tandrel::cli {

// Exit statuses. compare: 0 no differences, 1 differences, 2 also when it
// was interrupted (the lists are incomplete). copy and delete: 0 every row
// done, 1 some failed or the run was interrupted. Every command: 2 on a
// usage or set-up error, when standard output cannot be written, and when
// the comparison could not read a folder (nothing in it is listed as
// missing, so nothing in it is copied or deleted as such; the other rows are
// still acted on).
inline constexpr int kExitClean = 0;
inline constexpr int kExitDifferent = 1;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitTrouble = 2;

// What a comparison needs, checked against the disk.
struct ComparisonSetup {
    std::string source;
    std::string destination;
    bool includeSubdirectories = true;
    settings::SettingsState settings; // from the settings file, or nothing filtered without one
    std::string settingsFile;         // the file read; empty when none
    engine::PathPatterns patterns;    // --exclude, --include, --exclude-from, .tandrelignore
    // The connections to remote sides (`host:path`, `sftp://host/path`),
    // made when they are checked and kept for the comparison and the copy,
    // delete or verify after it. ssh asks on the terminal for what it needs.
    platform::remote::RemoteSides remoteSides;
};


// Checks that both folders can be entered and reads the settings file: the
// one named, or else the window's (WindowSettings.h). A remote side is
// connected to and its folder looked up. Empty text on success, otherwise
// what is wrong, with the system's (or ssh's, or the server's) reason.
std::string PrepareComparison(const CommandLine& line, ComparisonSetup& setup);

// Runs a whole comparison into `store`, showing its counts on `status`. An
// interrupt stops the scan after the entry in hand. False when the
// comparison did not run to its end. `equalPairs`, when given, receives the
// file pairs that count as equal, in the order met; `leftOut` the entries
// that the filters and the rule for folders beginning with '.' left out.
bool RunComparison(ComparisonSetup& setup, engine::ResultStore& store, Interrupts& interrupts,
                   StatusLine& status, std::vector<engine::FilePair>* equalPairs = nullptr,
                   std::uint64_t* leftOut = nullptr);

// Names on standard error each folder the comparison could not read, with
// the system's reason. True when there was one.
bool ReportUnreadableFolders(Command command, const engine::ResultStore& store, StatusLine& status);

// Says on standard error that one root is empty while the other is not.
void ReportEmptyRoot(Command command, const engine::ResultStore& store, StatusLine& status);

// "tandrel-cli COMMAND: text"
std::string Message(Command command, const std::string& text);

} // namespace tandrel::cli
