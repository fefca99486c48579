#include "cli/CliCompare.h"

#include "cli/Console.h"
#include "report/ReportWriter.h"

#include <iostream>

namespace tandrel::cli {

int RunCompareCommand(const CommandLine& line, const ComparisonSetup& setup, Interrupts& interrupts)
{
    StatusLine status(kStandardError, StatusLine::WantedOn(kStandardError, line.quiet));
    engine::ResultStore store;
    std::uint64_t leftOut = 0;
    const bool complete = RunComparison(setup, store, interrupts, status, nullptr, &leftOut);
    status.Clear();
    const bool unreadable = ReportUnreadableFolders(Command::Compare, store, status);

    const auto captions = engine::DefaultCategoryCaptions();
    if (line.summary) {
        for (auto category : engine::kAllCategories)
            std::cout << captions[engine::Index(category)] << ": " << store.Count(category) << kLineEnd;
        std::cout << "Not compared (filters, folders named .*): " << leftOut << kLineEnd << "Settings: "
                  << (setup.settingsFile.empty() ? "none, nothing filtered" : setup.settingsFile)
                  << (line.noFilters ? " (--no-filters)" : "") << kLineEnd;
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
