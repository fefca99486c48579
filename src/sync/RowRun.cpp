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

// While rows are worked on on other threads, the calling thread looks at
// them this often at least (at once when a row ends or a file step waits).
constexpr std::chrono::milliseconds kWaitStep{15};

} // namespace

RowSchedule::End EndOf(const FileResult& result)
{
    if (result.ok())
        return RowSchedule::End::Succeeded;
    if (result.cancelled)
        return RowSchedule::End::Abandoned;
    return ShortOfSpace(result.errorNumber) ? RowSchedule::End::ShortOfSpace : RowSchedule::End::Failed;
}

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

// The working pass of one run: its schedule, its pool and the rows taken.
class RowRun::Pass {
public:
    Pass(RowRun& run, Order order, SyncOutcome& outcome)
        : m_run(run), m_outcome(outcome), m_workers(run.rowsInFlight > 1 ? run.rowsInFlight : 0),
          m_onThisThread(m_workers.Threads() == 0),
          m_schedule(RowsOf(run), {order, m_onThisThread ? 1 : m_workers.Threads(), run.options.IgnoreError,
                                   [&run](std::size_t k) {
                                       return k < run.store.Count(run.category) &&
                                              run.store.Row(run.category, k).checked;
                                   },
                                   [&run] { return run.runFlag.IsSet(); }})
    {
    }

    void Go()
    {
        while (true) {
            const RowSchedule::Step step = m_schedule.Next();
            switch (step.action) {
            case RowSchedule::Action::Turn:
                // One row at a time runs on this thread: events run at each turn.
                if (m_onThisThread)
                    m_run.observer.PumpEvents();
                break;
            case RowSchedule::Action::Take:
                Take(step.row);
                break;
            case RowSchedule::Action::HandOver:
                HandOver(step.row);
                break;
            case RowSchedule::Action::Report:
                Report(step.row);
                break;
            case RowSchedule::Action::Leave:
                m_run.LeaveAsItWas(m_taken.at(step.row), m_outcome);
                m_taken.erase(step.row);
                break;
            case RowSchedule::Action::Wait:
                WaitForRows();
                break;
            case RowSchedule::Action::Finished:
                m_outcome.cancelled = m_outcome.cancelled || m_schedule.StoppedByRunFlag();
                return;
            }
        }
    }

private:
    static std::vector<RowSchedule::Row> RowsOf(const RowRun& run)
    {
        std::vector<RowSchedule::Row> rows;
        rows.reserve(run.store.Count(run.category));
        for (std::size_t k = 0; k < run.store.Count(run.category); ++k)
            rows.push_back({run.store.Row(run.category, k).relativePath, run.store.Row(run.category, k).isFolder});
        return rows;
    }

    void Take(std::size_t k)
    {
        Taken& row = m_taken[k];
        row.iconBefore = m_run.store.Row(m_run.category, k).icon;
        row.task = m_run.Begin(k, m_outcome);
        m_run.SetStarted(k);
    }

    void HandOver(std::size_t k)
    {
        Taken* row = &m_taken.at(k);
        row->result = {};
        const std::size_t number = m_workers.Submit([this, row](platform::OrderedWorkers::Job& job) {
            row->task.progress = [this, &job](std::uint64_t done, std::uint64_t size) {
                return job.Ask([&] { return FileStep(done, size); });
            };
            row->result = m_run.work(row->task);
        });
        m_rowOf[number] = k;
    }

    void Report(std::size_t k)
    {
        const Taken& row = m_taken.at(k);
        m_run.Finish(row.task, row.result, row.iconBefore, m_outcome);
        m_abandon = m_abandon || row.result.cancelled;
        m_taken.erase(k);
    }

    void WaitForRows()
    {
        m_workers.Wait(kWaitStep);
        for (const std::size_t number : m_workers.Ended()) {
            const std::size_t k = m_rowOf.at(number);
            m_rowOf.erase(number);
            m_schedule.Done(k, EndOf(m_taken.at(k).result));
        }
        if (!m_onThisThread)
            m_run.observer.PumpEvents();
        m_workers.AnswerQuestions();
    }

    // A file step's question, asked on this thread: the observer may abandon
    // the file, and with it every file in flight.
    bool FileStep(std::uint64_t done, std::uint64_t size)
    {
        if (m_abandon)
            return false;
        if (!m_run.observer.FileCopyStep(done, size)) {
            m_abandon = true;
            m_schedule.Stop();
            return false;
        }
        return true;
    }

    RowRun& m_run;
    SyncOutcome& m_outcome;
    std::unordered_map<std::size_t, Taken> m_taken;       // by row
    std::unordered_map<std::size_t, std::size_t> m_rowOf; // by the work's number
    platform::OrderedWorkers m_workers; // after the rows its works use, so that it goes first
    bool m_onThisThread;
    RowSchedule m_schedule;
    bool m_abandon = false; // a file was abandoned: so is every file in flight
};

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
    Pass(*this, order, outcome).Go();
    return outcome;
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
