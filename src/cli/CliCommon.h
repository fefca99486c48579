#pragma once

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "settings/SettingsFile.h"

#include <string>
#include <vector>

namespace tandrel::cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;

// What every command that runs a comparison takes from its arguments.
struct ComparisonSetup {
    std::string source;
    std::string destination;
    bool includeSubdirectories = true;
    settings::SettingsState settings; // the defaults, or the settings file given
};

// Takes the options every comparing command shares ("--no-subdirs",
// "--settings FILE") out of `args` and the two folders from the end. What is
// left in `args` are the command's own options. Empty text on success,
// otherwise what is wrong with the arguments or the set-up.
std::string ParseComparisonSetup(std::vector<std::string>& args, ComparisonSetup& setup);

// Runs a whole comparison into `store`; the flag is raised first and can be
// lowered by Ctrl+C (SIGINT, SIGTERM) to stop after the entry in hand.
void RunComparison(const ComparisonSetup& setup, engine::ResultStore& store, engine::RunFlag& runFlag);

// Parses "1,2,3" into list numbers 1..5; empty text on success.
std::string ParseLists(const std::string& text, std::vector<int>& lists);

// Lowers `flag` on SIGINT and SIGTERM for as long as the process runs.
void CancelOnSignals(engine::RunFlag& flag);

} // namespace tandrel::cli
