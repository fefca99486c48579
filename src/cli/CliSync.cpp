#include "cli/CliSync.h"

#include "cli/Console.h"
#include "sync/SyncOperations.h"

#include <iostream>
#include <utility>
#include <vector>

namespace tandrel::cli {

CliSyncObserver::CliSyncObserver(Command command, engine::ResultStore& store, Interrupts& interrupts,
                                 StatusLine& status, std::size_t totalRows)
    : m_command(command), m_store(store), m_interrupts(interrupts), m_status(status), m_total(totalRows)
{
}

void CliSyncObserver::StartList(engine::ResultCategory category, bool copiedFromOtherColumn)
{
    m_category = category;
    m_counterpartSize = copiedFromOtherColumn;
    m_finished.assign(m_store.Count(category), false);
}

void CliSyncObserver::PumpEvents()
{
    if (!m_interrupts.Stopping() || m_stopped)
        return;
    // The operation raised the run flag when it began; an interrupt that came
    // just before must still hold, and no row may start after it.
    m_stopped = true;
    m_interrupts.Flag().Set(false);
    for (auto& row : m_store.List(m_category))
        row.checked = row.checked && row.processed;
}

void CliSyncObserver::RowStarted(std::size_t, std::size_t, const std::string& path)
{
    // With rows in flight, rows start ahead of those finishing: the count
    // is of rows finished, the path that of the row started last.
    m_fileBytes = 0;
    m_path = path;
    Redraw();
}

bool CliSyncObserver::FileCopyStep(std::uint64_t bytesDone, std::uint64_t)
{
    m_fileBytes = bytesDone;
    Redraw();
    return !m_interrupts.Abandoning();
}

void CliSyncObserver::RowChanged(engine::ResultCategory category, std::size_t row)
{
    const engine::CompareItem& item = m_store.Row(category, row);
    if (!item.processed && item.icon != engine::RowIcon::Failed)
        return; // started, or left as it was
    if (row >= m_finished.size())
        m_finished.resize(row + 1, false); // a row added after the list began
    if (m_finished[row])
        return;
    m_finished[row] = true;
    ++m_done;
    if (!item.processed)
        return;
    const std::int64_t size = m_counterpartSize ? item.counterpartSize : item.size;
    m_bytes += size > 0 ? static_cast<std::uint64_t>(size) : 0;
    m_fileBytes = 0;
    Redraw();
}

void CliSyncObserver::RowFailed(engine::ResultCategory, std::size_t, const std::string& text)
{
    m_fileBytes = 0;
    m_status.Print(Message(m_command, text));
}

void CliSyncObserver::Redraw()
{
    // The first row is shown at once, whatever the comparison drew just before.
    if (m_drawn && !m_status.Due())
        return;
    m_drawn = true;
    const SyncStatus now{m_command == Command::Copy ? "Copying" : "Deleting", m_done, m_total, Bytes(), m_path};
    m_status.Draw(FormatSyncStatus(now, m_status.Width()));
}

int RunSyncCommand(const CommandLine& line, const ComparisonSetup& setup, Interrupts& interrupts)
{
    const Command command = line.command;
    StatusLine status(kStandardError, StatusLine::WantedOn(kStandardError, line.quiet));
    engine::ResultStore store;
    if (!RunComparison(setup, store, interrupts, status)) {
        status.Print(Message(command, "cancelled during the comparison; nothing was changed"));
        return kExitSomeFailed;
    }
    const bool unreadable = ReportUnreadableFolders(command, store, status);

    std::size_t totalRows = 0;
    for (int list : line.lists)
        totalRows += store.Count(static_cast<engine::ResultCategory>(list));
    CliSyncObserver observer(command, store, interrupts, status, totalRows);

    // The command line never stops at a failure: each is reported and the run goes on.
    settings::CompareOptions options = setup.settings.options;
    options.IgnoreError = true;
    double progressFraction = 0.0;
    const auto captions = engine::DefaultCategoryCaptions();
    bool allDone = true;
    bool cancelled = false;
    const bool copy = command == Command::Copy;
    // What the copies wrote is flushed once, after the last list; the lists'
    // lines wait for it, since a failed flush fails rows.
    sync::PendingFlush pending;
    std::vector<std::pair<engine::ResultCategory, sync::SyncOutcome>> outcomes;
    bool writeFailed = false; // the work goes on; the run then ends in trouble
    for (int list : line.lists) {
        const auto category = static_cast<engine::ResultCategory>(list);
        if (interrupts.Stopping()) {
            cancelled = true;
            break;
        }
        for (auto& row : store.List(category))
            row.checked = true;
        observer.StartList(category, copy && line.direction == sync::CopyDirection::DestinationToSource &&
                                         category != engine::ResultCategory::NotInSource);
        outcomes.emplace_back(
            category, copy ? sync::CopyCheckedRows(store, category, line.direction, options, interrupts.Flag(),
                                                   progressFraction, observer, &pending)
                           : sync::DeleteCheckedRows(store, category, options, interrupts.Flag(), progressFraction,
                                                     observer,
                                                     line.trash ? sync::DeleteTarget::Trash : sync::DeleteTarget::Remove));
        if (outcomes.back().second.cancelled)
            break;
    }
    if (copy)
        sync::FlushCopiedRows(pending, store, options, observer, outcomes);
    for (const auto& [category, outcome] : outcomes) {
        store.RemoveProcessedRows(category);
        status.Clear();
        if (!line.quiet && !writeFailed) {
            std::cout << captions[static_cast<int>(category)] << ": " << outcome.succeeded << " of " << outcome.total
                      << (copy ? " copied" : line.trash ? " moved to the trash" : " deleted");
            if (outcome.failed > 0)
                std::cout << ", " << outcome.failed << " failed";
            std::cout << kLineEnd << std::flush;
            if (!std::cout) {
                status.Print(Message(command, "cannot write the results"));
                writeFailed = true;
            }
        }
        if (outcome.failed > 0 || outcome.succeeded < outcome.total)
            allDone = false;
        if (outcome.cancelled)
            cancelled = true;
    }
    if (cancelled)
        status.Print(Message(command, "cancelled; rows not reached were left as they are"));
    if (writeFailed || unreadable)
        return kExitTrouble;
    if (cancelled)
        return kExitSomeFailed;
    return allDone ? kExitClean : kExitSomeFailed;
}

} // namespace tandrel::cli
