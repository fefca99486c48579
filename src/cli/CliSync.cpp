#include "cli/CliSync.h"

#include "cli/Console.h"
#include "cli/RowOutput.h"
#include "platform/remote/RemoteSides.h"
#include "sync/SyncOperations.h"

#include <algorithm>
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

namespace {

// A delete of the list that holds every item of the other side, when one side was empty.
bool DeletesFromEmptySide(const CommandLine& line, const engine::ResultStore& store)
{
    const engine::EmptyRoot empty = store.EmptyRootFound();
    if (line.command != Command::Delete || empty == engine::EmptyRoot::None)
        return false;
    const engine::ResultCategory list = engine::ListOfEmptyRoot(empty);
    return store.Count(list) > 0 &&
           std::find(line.lists.begin(), line.lists.end(), engine::Index(list)) != line.lists.end();
}

// Why a delete may not run at all; empty when it may.
std::string DeleteRefusal(const CommandLine& line, const engine::ResultStore& store, std::size_t totalRows)
{
    if (line.command != Command::Delete)
        return {};
    if (DeletesFromEmptySide(line, store) && !line.allowEmptySide) {
        const engine::EmptyRoot empty = store.EmptyRootFound();
        const engine::ResultCategory list = engine::ListOfEmptyRoot(empty);
        const std::size_t rows = store.Count(list);
        return "refused: the " + std::string(empty == engine::EmptyRoot::Source ? "source" : "destination") +
               " folder is empty, and list " + std::to_string(engine::Index(list)) + " holds all " +
               std::to_string(rows) + " items of the other side; nothing was deleted (--allow-empty-side "
               "deletes them all the same)";
    }
    if (line.maxDelete && totalRows > *line.maxDelete)
        return "refused: " + std::to_string(totalRows) + " items would be deleted, more than --max-delete " +
               std::to_string(*line.maxDelete) + "; nothing was deleted";
    return {};
}

// The text line of one list after a run.
void WriteListLine(const CommandLine& line, engine::ResultCategory category, const sync::SyncOutcome& outcome)
{
    const bool copy = line.command == Command::Copy;
    std::cout << engine::DefaultCategoryCaptions()[engine::Index(category)] << ": ";
    if (line.dryRun) {
        std::cout << outcome.total << (outcome.total == 1 ? " row" : " rows") << " would be "
                  << (copy ? "copied" : line.trash ? "moved to the trash" : "deleted") << " (dry run: nothing done)";
    } else {
        std::cout << outcome.succeeded << " of " << outcome.total
                  << (copy ? " copied" : line.trash ? " moved to the trash" : " deleted");
        if (outcome.failed > 0)
            std::cout << ", " << outcome.failed << " failed";
    }
    std::cout << kLineEnd << std::flush;
}

// What a dry run shows of each row in the text form: the step it would take.
void WriteDryRunRow(const CommandLine& line, const engine::ResultStore& store, engine::ResultCategory category,
                    const engine::CompareItem& item)
{
    if (line.command == Command::Copy) {
        const bool back = line.direction == sync::CopyDirection::DestinationToSource &&
                          category != engine::ResultCategory::NotInSource;
        const std::string from = back ? store.TargetPath(category, item) : store.Path(category, item);
        const std::string to = back ? store.Path(category, item) : store.TargetPath(category, item);
        std::cout << "would copy '" << from << "' to '" << to << "'" << kLineEnd;
    } else {
        std::cout << "would " << (line.trash ? "move to the trash '" : "delete '") << store.Path(category, item)
                  << "'" << kLineEnd;
    }
}

RowOutcome OutcomeOf(const engine::CompareItem& item)
{
    if (item.processed)
        return RowOutcome::Done;
    return item.icon == engine::RowIcon::Failed ? RowOutcome::Failed : RowOutcome::NotDone;
}

} // namespace

int RunSyncCommand(const CommandLine& line, ComparisonSetup& setup, Interrupts& interrupts)
{
    const Command command = line.command;
    StatusLine status(kStandardError, StatusLine::WantedOn(kStandardError, line.quiet));
    engine::ResultStore store;
    std::uint64_t leftOut = 0;
    if (!RunComparison(setup, store, interrupts, status, nullptr, &leftOut)) {
        status.Print(Message(command, "cancelled during the comparison; nothing was changed"));
        return kExitSomeFailed;
    }
    const bool unreadable = ReportUnreadableFolders(command, store, status);
    if (DeletesFromEmptySide(line, store))
        ReportEmptyRoot(command, store, status);

    std::size_t totalRows = 0;
    for (int list : line.lists)
        totalRows += store.Count(static_cast<engine::ResultCategory>(list));
    if (const std::string refusal = DeleteRefusal(line, store, totalRows); !refusal.empty()) {
        status.Print(Message(command, refusal));
        return kExitTrouble;
    }
    CliSyncObserver observer(command, store, interrupts, status, totalRows);

    // The command line never stops at a failure: each is reported and the run goes on.
    settings::CompareOptions options = setup.settings.options;
    options.IgnoreError = true;
    double progressFraction = 0.0;
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
        if (line.dryRun) {
            sync::SyncOutcome outcome;
            outcome.total = outcome.started = store.Count(category);
            outcomes.emplace_back(category, outcome);
            continue;
        }
        observer.StartList(category, copy && line.direction == sync::CopyDirection::DestinationToSource &&
                                         category != engine::ResultCategory::NotInSource);
        outcomes.emplace_back(
            category, copy ? sync::CopyCheckedRows(store, category, line.direction, options, interrupts.Flag(),
                                                   progressFraction, observer, &pending, {line.keepReplaced},
                                                   &setup.remoteSides)
                           : sync::DeleteCheckedRows(store, category, options, interrupts.Flag(), progressFraction,
                                                     observer,
                                                     line.trash ? sync::DeleteTarget::Trash : sync::DeleteTarget::Remove,
                                                     &setup.remoteSides));
        if (outcomes.back().second.cancelled)
            break;
    }
    if (copy && !line.dryRun)
        sync::FlushCopiedRows(pending, store, options, observer, outcomes);
    RowOutput rows(std::cout, line.rowFormat, command, store);
    RunSummary summary;
    for (const auto& [category, outcome] : outcomes) {
        status.Clear();
        for (const engine::CompareItem& item : store.List(category)) {
            const RowOutcome result = line.dryRun ? RowOutcome::DryRun : OutcomeOf(item);
            if (line.rowFormat == RowFormat::NulPaths && result != RowOutcome::Done && result != RowOutcome::DryRun)
                continue;
            if (rows.Active())
                rows.Row(category, item, result);
            else if (line.dryRun && !line.quiet)
                WriteDryRunRow(line, store, category, item);
        }
        store.RemoveProcessedRows(category);
        summary.lists.push_back({category, outcome.total, outcome.succeeded, outcome.failed});
        if (!rows.Active() && !line.quiet && !writeFailed)
            WriteListLine(line, category, outcome);
        if (!std::cout && !writeFailed) {
            status.Print(Message(command, "cannot write the results"));
            writeFailed = true;
        }
        if (!line.dryRun && (outcome.failed > 0 || outcome.succeeded < outcome.total))
            allDone = false;
        if (outcome.cancelled)
            cancelled = true;
    }
    summary.notCompared = leftOut;
    summary.patterns = &setup.patterns;
    summary.dryRun = line.dryRun;
    summary.cancelled = cancelled;
    rows.Summary(summary);
    std::cout.flush();
    if (!std::cout && !writeFailed) {
        status.Print(Message(command, "cannot write the results"));
        writeFailed = true;
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
