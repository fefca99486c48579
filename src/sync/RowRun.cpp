#include "sync/RowRun.h"

#include "platform/OrderedWorkers.h"

#include <cerrno>
#include <chrono>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tandrel::sync {

using engine::CompareItem;
using engine::ResultCategory;
using engine::ResultStore;
using engine::RowIcon;
using platform::FileResult;

namespace {

// A full disk or a used-up quota (which not every system names).
bool ShortOfSpace(int error)
{
#ifdef EDQUOT
    if (error == EDQUOT)
        return true;
#endif
    return error == ENOSPC;
}

RowSchedule::End EndOf(const FileResult& result)
{
    if (result.ok())
        return RowSchedule::End::Succeeded;
    if (result.cancelled)
        return RowSchedule::End::Abandoned;
    return ShortOfSpace(result.errorNumber) ? RowSchedule::End::ShortOfSpace : RowSchedule::End::Failed;
}

// While rows are worked on on other threads, the calling thread looks at
// them this often at least (at once when a row ends or a file step waits).
constexpr std::chrono::milliseconds kWaitStep{15};

} // namespace

void MarkRowFailed(ResultStore& store, ResultCategory category, std::size_t k, const std::string& text,
                   SyncOutcome& outcome, SyncObserver& observer)
{
    CompareItem& row = store.Row(category, k);
    row.SetStatusText(text);
    row.SetTag("");
    row.icon = RowIcon::Failed;
    ++outcome.failed;
    observer.RowChanged(category, k);
    observer.RowFailed(category, k, text);
}

SyncOutcome RowRun::Run(Order order)
{
    SyncOutcome outcome;
    if (store.Count(category) == 0)
        return outcome;
    runFlag.Set(true);
    progressFraction = 0.0;

    const std::size_t counted = store.Count(category);
    for (std::size_t k = 0; k < counted; ++k) {
        observer.PumpEvents();
        if (k < store.Count(category) && store.Row(category, k).checked)
            ++outcome.total;
    }

    observer.PumpEvents();
    WorkingPass(order, outcome);
    return outcome;
}

void RowRun::WorkingPass(Order order, SyncOutcome& outcome)
{
    // One row at a time runs on this thread, as it waits.
    platform::OrderedWorkers workers(rowsInFlight > 1 ? rowsInFlight : 0);
    const bool onThisThread = workers.Threads() == 0;

    std::vector<RowSchedule::Row> rows;
    rows.reserve(store.Count(category));
    for (std::size_t k = 0; k < store.Count(category); ++k)
        rows.push_back({store.Row(category, k).relativePath, store.Row(category, k).isFolder});
    RowSchedule schedule(std::move(rows),
                         {order, onThisThread ? 1 : workers.Threads(), options.IgnoreError,
                          [this](std::size_t k) { return k < store.Count(category) && store.Row(category, k).checked; },
                          [this] { return runFlag.IsSet(); }});

    std::unordered_map<std::size_t, Taken> taken;      // by row
    std::unordered_map<std::size_t, std::size_t> rowOf; // by the work's number
    bool abandon = false; // a file was abandoned: so is every file in flight
    // A file step's question, asked on this thread: the observer may abandon
    // the file, and with it every file in flight.
    auto fileStep = [&](std::uint64_t done, std::uint64_t size) {
        if (abandon)
            return false;
        if (!observer.FileCopyStep(done, size)) {
            abandon = true;
            schedule.Stop();
            return false;
        }
        return true;
    };
    auto handOver = [&](std::size_t k) {
        Taken* row = &taken.at(k);
        row->result = {};
        rowOf[workers.Submit([this, row, &fileStep](platform::OrderedWorkers::Job& job) {
            row->task.progress = [&job, &fileStep](std::uint64_t done, std::uint64_t size) {
                return job.Ask([&] { return fileStep(done, size); });
            };
            row->result = work(row->task);
        })] = k;
    };

    while (true) {
        const RowSchedule::Step step = schedule.Next();
        switch (step.action) {
        case RowSchedule::Action::Turn:
            if (onThisThread)
                observer.PumpEvents();
            break;
        case RowSchedule::Action::Take: {
            Taken& row = taken[step.row];
            row.iconBefore = store.Row(category, step.row).icon;
            row.task = Begin(step.row, outcome);
            SetStarted(step.row);
            break;
        }
        case RowSchedule::Action::HandOver:
            handOver(step.row);
            break;
        case RowSchedule::Action::Report: {
            const Taken& row = taken.at(step.row);
            Finish(row.task, row.result, row.iconBefore, outcome);
            abandon = abandon || row.result.cancelled;
            taken.erase(step.row);
            break;
        }
        case RowSchedule::Action::Leave:
            LeaveAsItWas(taken.at(step.row), outcome);
            taken.erase(step.row);
            break;
        case RowSchedule::Action::Wait:
            workers.Wait(kWaitStep);
            for (const std::size_t number : workers.Ended()) {
                const std::size_t k = rowOf.at(number);
                rowOf.erase(number);
                schedule.Done(k, EndOf(taken.at(k).result));
            }
            if (!onThisThread)
                observer.PumpEvents();
            workers.AnswerQuestions();
            break;
        case RowSchedule::Action::Finished:
            if (schedule.StoppedByRunFlag())
                outcome.cancelled = true;
            return;
        }
    }
}

RowTask RowRun::Begin(std::size_t k, SyncOutcome& outcome)
{
    ++outcome.started;
    // Rows checked after the counting pass are worked on too, but the
    // total is not counted again: the caption may then read "6 of 5" and
    // the fraction pass 1 (the status window draws at most a full bar).
    progressFraction = outcome.total > 0
                           ? static_cast<double>(outcome.started) / static_cast<double>(outcome.total)
                           : 1.0;
    const CompareItem& row = store.Row(category, k);
    RowTask task;
    task.row = k;
    task.item.relativePath = row.relativePath;
    task.item.shownPath = shownPath(row);
    task.item.isFolder = row.isFolder;
    if (row.caseClash)
        task.item.caseClash = row.StatusText();
    task.item.size = row.size;
    task.item.modified = row.modified;
    task.item.counterpartSize = row.counterpartSize;
    task.item.counterpartModified = row.counterpartModified;
    observer.RowStarted(outcome.started, outcome.total, task.item.shownPath);
    return task;
}

void RowRun::SetStarted(std::size_t k)
{
    store.Row(category, k).icon = RowIcon::Started;
    observer.RowChanged(category, k);
}

void RowRun::Finish(const RowTask& task, const FileResult& result, RowIcon iconBefore, SyncOutcome& outcome)
{
    const std::size_t k = task.row;
    CompareItem& row = store.Row(category, k);
    if (result.ok()) {
        row.SetTag(engine::kProcessedTag);
        ++outcome.succeeded;
        if (succeeded)
            succeeded(task);
        observer.RowChanged(category, k);
        return;
    }
    if (result.cancelled) {
        row.icon = iconBefore;
        observer.RowChanged(category, k);
        outcome.cancelled = true;
        return;
    }
    MarkRowFailed(store, category, k, result.error, outcome, observer);
    if (!options.IgnoreError) {
        if (!outcome.stoppedOnFailure)
            observer.ShowFailure(result.error);
        outcome.stoppedOnFailure = true;
    }
}

void RowRun::LeaveAsItWas(const Taken& row, SyncOutcome& outcome)
{
    store.Row(category, row.task.row).icon = row.iconBefore;
    observer.RowChanged(category, row.task.row);
    --outcome.started;
}

} // namespace tandrel::sync
