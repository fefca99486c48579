#include "cli/CliCompare.h"

#include "cli/CliCommon.h"
#include "report/ReportWriter.h"

#include <iostream>

namespace tandrel::cli {

int RunCompareCommand(std::vector<std::string> args)
{
    ComparisonSetup setup;
    if (const std::string error = ParseComparisonSetup(args, setup); !error.empty()) {
        std::cerr << "tandrel-cli compare: " << error << "\n";
        return kExitUsage;
    }
    bool summary = false;
    report::ReportFormat format = report::ReportFormat::Text;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--summary") {
            summary = true;
        } else if (args[i] == "--format" && i + 1 < args.size()) {
            const std::string& f = args[++i];
            if (f == "text")
                format = report::ReportFormat::Text;
            else if (f == "csv")
                format = report::ReportFormat::Csv;
            else {
                std::cerr << "tandrel-cli compare: unknown format '" << f << "' (text or csv)\n";
                return kExitUsage;
            }
        } else {
            std::cerr << "tandrel-cli compare: unknown option '" << args[i] << "'\n";
            return kExitUsage;
        }
    }

    engine::ResultStore store;
    engine::RunFlag runFlag;
    CancelOnSignals(runFlag);
    RunComparison(setup, store, runFlag);
    const bool cancelled = !runFlag.IsSet();

    const auto captions = engine::DefaultCategoryCaptions();
    if (summary) {
        for (auto category : engine::kAllCategories)
            std::cout << captions[engine::Index(category)] << ": " << store.Count(category) << "\n";
    } else {
        report::ReportRequest request;
        request.format = format;
        for (auto category : engine::kAllCategories) {
            const int i = engine::Index(category);
            request.include[i] = true;
            request.sectionCaptions[i] = captions[i] + " (" + std::to_string(store.Count(category)) + ")";
        }
        report::WriteReport(std::cout, store, request);
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "tandrel-cli compare: cannot write the results\n";
        return kExitSomeFailed;
    }
    if (cancelled) {
        std::cerr << "tandrel-cli compare: cancelled; the lists hold what was found so far\n";
        return kExitSomeFailed;
    }
    return kExitOk;
}

} // namespace tandrel::cli
