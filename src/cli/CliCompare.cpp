#include "cli/CliCompare.h"

#include "cli/Console.h"
#include "cli/RowOutput.h"
#include "report/ReportWriter.h"

#include <iostream>

namespace tandrel::cli {

int RunCompareCommand(const CommandLine& line, ComparisonSetup& setup, Interrupts& interrupts)
{
    StatusLine status(kStandardError, StatusLine::WantedOn(kStandardError, line.quiet));
    engine::ResultStore store;
    std::uint64_t leftOut = 0;
    const bool complete = RunComparison(setup, store, interrupts, status, nullptr, &leftOut);
    status.Clear();
    const bool unreadable = ReportUnreadableFolders(Command::Compare, store, status);
    ReportEmptyRoot(Command::Compare, store, status);

    const auto captions = engine::DefaultCategoryCaptions();
    RowOutput rows(std::cout, line.rowFormat, Command::Compare, store);
    if (rows.Active()) {
        RunSummary summary;
        for (auto category : engine::kAllCategories) {
            if (!line.summary)
                for (const engine::CompareItem& item : store.List(category))
                    rows.Row(category, item);
            summary.lists.push_back({category, store.Count(category), 0, 0});
        }
        summary.notCompared = leftOut;
        summary.patterns = &setup.patterns;
        summary.cancelled = !complete;
        rows.Summary(summary);
    } else if (line.summary) {
        for (auto category : engine::kAllCategories)
            std::cout << captions[engine::Index(category)] << ": " << store.Count(category) << kLineEnd;
        std::cout << "Not compared (filters, folders named .*): " << leftOut << kLineEnd << "Settings: "
                  << (setup.settingsFile.empty() ? "none, nothing filtered" : setup.settingsFile)
                  << (line.noFilters ? " (--no-filters)" : "") << kLineEnd;
        for (const engine::PathPattern& pattern : setup.patterns.Patterns())
            std::cout << "Pattern " << pattern.text << " (" << pattern.origin << "): "
                      << (pattern.reinclude ? "takes entries back" : std::to_string(pattern.leftOut) + " left out")
                      << kLineEnd;
    } else {
        report::ReportRequest request;
        request.format = line.format;
        request.lineEnd = kLineEnd;
        for (auto category : engine::kAllCategories) {
            const int i = engine::Index(category);
            request.include[i] = true;
            request.sectionCaptions[i] = captions[i] + " (" + std::to_string(store.Count(category)) + ")";
        }
        report::WriteReport(std::cout, store, request);
    }
    std::cout.flush();
    if (!std::cout) {
        status.Print(Message(Command::Compare, "cannot write the results"));
        return kExitTrouble;
    }
    if (!complete) {
        status.Print(Message(Command::Compare, "cancelled; the lists hold what was found so far"));
        return kExitTrouble;
    }
    if (unreadable)
        return kExitTrouble;
    return store.TotalCount() == 0 ? kExitClean : kExitDifferent;
}

} // namespace tandrel::cli
