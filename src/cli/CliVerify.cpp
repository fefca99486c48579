#include "cli/CliVerify.h"

#include "cli/Console.h"
#include "cli/RowOutput.h"
#include "engine/RemoteContent.h"
#include "platform/remote/RemoteSides.h"

#include <chrono>
#include <iostream>

namespace tandrel::cli {

namespace {

// Differing pairs go to standard output as they are found, unreadable files
// to standard error; the status line shows the bytes read and the rate.
class VerifyProgress : public engine::ContentCheckObserver {
public:
    VerifyProgress(StatusLine& status, RowOutput& rows) : m_status(status), m_rows(rows) {}

    void Found(const engine::FilePair& pair, const engine::ContentFinding& finding) override
    {
        if (m_rows.Active()) {
            if (finding.verdict == engine::ContentVerdict::Unreadable)
                m_status.Print(Message(Command::Verify, finding.error));
            m_status.Clear();
            m_rows.Pair(pair, finding);
            std::cout.flush();
            return;
        }
        if (finding.verdict == engine::ContentVerdict::Unreadable) {
            m_status.Print(Message(Command::Verify, finding.error));
            return;
        }
        m_status.Clear();
        std::cout << "'" << pair.source << "' and '" << pair.destination << "' differ at offset " << finding.offset
                  << kLineEnd << std::flush;
    }

    void Progress(std::uint64_t bytesDone, std::uint64_t bytesTotal) override
    {
        // The first report is shown at once, whatever the comparison drew just before.
        if (m_drawn && !m_status.Due())
            return;
        m_drawn = true;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        const auto rate = seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(bytesDone) / seconds) : 0;
        m_status.Draw(FormatVerifyStatus({bytesDone, bytesTotal, rate}, m_status.Width()));
    }

private:
    StatusLine& m_status;
    RowOutput& m_rows;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

void WriteVerifyLine(const engine::ContentCheckSummary& summary, std::size_t pairs, const engine::ResultStore& store)
{
    std::cout << summary.checked << " of " << pairs << " equal pairs read (" << ByteCountText(summary.bytesDone)
              << "): " << summary.different << " differ, " << summary.unreadable << " cannot be read";
    if (const std::size_t rows = store.TotalCount(); rows > 0)
        std::cout << "; the comparison's lists hold " << rows << (rows == 1 ? " row" : " rows") << " (see compare)";
    std::cout << kLineEnd;
}

} // namespace

int RunVerifyCommand(const CommandLine& line, ComparisonSetup& setup, Interrupts& interrupts)
{
    StatusLine status(kStandardError, StatusLine::WantedOn(kStandardError, line.quiet));
    engine::ResultStore store;
    std::vector<engine::FilePair> pairs;
    std::uint64_t leftOut = 0;
    if (!RunComparison(setup, store, interrupts, status, &pairs, &leftOut)) {
        status.Print(Message(Command::Verify, "cancelled during the comparison; no content was read"));
        return kExitTrouble;
    }
    const bool unreadable = ReportUnreadableFolders(Command::Verify, store, status);

    RowOutput rows(std::cout, line.rowFormat, Command::Verify, store);
    VerifyProgress progress(status, rows);
    // A remote side's files are read over the connection the comparison used.
    const bool remote = platform::remote::SideAddress::Parse(store.SourceRoot()).IsRemote() ||
                        platform::remote::SideAddress::Parse(store.DestinationRoot()).IsRemote();
    const engine::ContentCheckSummary summary =
        remote ? engine::CheckRemoteContents(pairs, store.SourceRoot(), store.DestinationRoot(), setup.remoteSides,
                                             interrupts.Flag(), progress)
               : engine::CheckContents(pairs, interrupts.Flag(), progress);
    status.Clear();
    if (rows.Active()) {
        RunSummary counts;
        for (auto category : engine::kAllCategories)
            counts.lists.push_back({category, store.Count(category), 0, 0});
        counts.notCompared = leftOut;
        counts.patterns = &setup.patterns;
        counts.cancelled = summary.cancelled;
        counts.pairsChecked = summary.checked;
        counts.pairsDifferent = summary.different;
        counts.pairsUnreadable = summary.unreadable;
        rows.Summary(counts);
    } else {
        WriteVerifyLine(summary, pairs.size(), store);
    }
    std::cout.flush();
    if (!std::cout) {
        status.Print(Message(Command::Verify, "cannot write the results"));
        return kExitTrouble;
    }
    if (summary.cancelled) {
        status.Print(Message(Command::Verify, "cancelled; the pairs not reached were not read"));
        return kExitTrouble;
    }
    if (summary.unreadable > 0 || unreadable)
        return kExitTrouble;
    return summary.different > 0 ? kExitDifferent : kExitClean;
}

} // namespace tandrel::cli
