#include "cli/CliSync.h"

#include "cli/CliCommon.h"
#include "sync/SyncOperations.h"

#include <iostream>

namespace tandrel::cli {

namespace {

enum class Action { Copy, Delete };

// Failures go to standard error as they happen; nothing waits for an answer.
class CliSyncObserver : public sync::SyncObserver {
public:
    explicit CliSyncObserver(const char* command) : m_command(command) {}
    void RowFailed(engine::ResultCategory, std::size_t, const std::string& text) override
    {
        std::cerr << "tandrel-cli " << m_command << ": " << text << "\n";
    }

private:
    const char* m_command;
};

int RunSyncCommand(std::vector<std::string> args, Action action)
{
    const char* command = action == Action::Copy ? "copy" : "delete";
    auto usage = [command](const std::string& text) {
        std::cerr << "tandrel-cli " << command << ": " << text << "\n";
        return kExitUsage;
    };

    ComparisonSetup setup;
    if (const std::string error = ParseComparisonSetup(args, setup); !error.empty())
        return usage(error);

    std::vector<int> lists;
    bool listsGiven = false;
    bool directionGiven = false;
    auto direction = sync::CopyDirection::SourceToDestination;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--lists" && i + 1 < args.size()) {
            if (const std::string error = ParseLists(args[++i], lists); !error.empty())
                return usage(error);
            listsGiven = true;
        } else if (action == Action::Copy && args[i] == "--to" && i + 1 < args.size()) {
            const std::string& side = args[++i];
            if (side == "destination")
                direction = sync::CopyDirection::SourceToDestination;
            else if (side == "source")
                direction = sync::CopyDirection::DestinationToSource;
            else
                return usage("--to takes 'destination' or 'source', not '" + side + "'");
            directionGiven = true;
        } else {
            return usage("unknown option '" + args[i] + "'");
        }
    }
    if (!listsGiven)
        return usage("--lists is required (list numbers 1 to 5, e.g. --lists 1,2,3,5)");
    if (action == Action::Copy) {
        if (!directionGiven)
            return usage("--to destination or --to source is required");
        for (int list : lists) {
            if (!sync::DirectionOffered(static_cast<engine::ResultCategory>(list), direction))
                return usage(direction == sync::CopyDirection::SourceToDestination
                                 ? "list 4 holds items missing in the source; it cannot be copied to the destination"
                                 : "list 3 holds items missing in the destination; it cannot be copied to the source");
        }
    }

    engine::ResultStore store;
    engine::RunFlag runFlag;
    CancelOnSignals(runFlag);
    RunComparison(setup, store, runFlag);
    if (!runFlag.IsSet()) {
        std::cerr << "tandrel-cli " << command << ": cancelled during the comparison; nothing was changed\n";
        return kExitSomeFailed;
    }

    // The command line never stops at a failure: each is reported and the run goes on.
    settings::CompareOptions options = setup.settings.options;
    options.IgnoreError = true;
    CliSyncObserver observer(command);
    double progressFraction = 0.0;
    const auto captions = engine::DefaultCategoryCaptions();
    bool allDone = true;
    for (int list : lists) {
        const auto category = static_cast<engine::ResultCategory>(list);
        for (auto& row : store.List(category))
            row.checked = true;
        const sync::SyncOutcome outcome =
            action == Action::Copy
                ? sync::CopyCheckedRows(store, category, direction, options, runFlag, progressFraction, observer)
                : sync::DeleteCheckedRows(store, category, options, runFlag, progressFraction, observer);
        store.RemoveProcessedRows(category);
        std::cout << captions[list] << ": " << outcome.succeeded << " of " << outcome.total
                  << (action == Action::Copy ? " copied" : " deleted");
        if (outcome.failed > 0)
            std::cout << ", " << outcome.failed << " failed";
        std::cout << "\n";
        if (outcome.failed > 0 || outcome.succeeded < outcome.total)
            allDone = false;
        if (outcome.cancelled || !runFlag.IsSet()) {
            std::cerr << "tandrel-cli " << command << ": cancelled; rows not reached were left as they are\n";
            return kExitSomeFailed;
        }
    }
    std::cout.flush();
    return allDone ? kExitOk : kExitSomeFailed;
}

} // namespace

int RunCopyCommand(std::vector<std::string> args)
{
    return RunSyncCommand(std::move(args), Action::Copy);
}

int RunDeleteCommand(std::vector<std::string> args)
{
    return RunSyncCommand(std::move(args), Action::Delete);
}

} // namespace tandrel::cli
