#include "sync/RowRun.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <system_error>
#include <thread>
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
    if (rowsInFlight > 1)
        return RunInFlight(order, outcome);
    return RunOneByOne(order, outcome);
}

SyncOutcome RowRun::RunOneByOne(Order order, SyncOutcome& outcome)
{
    const std::size_t n = store.Count(category);
    for (std::size_t step = 0; step < n; ++step) {
        const std::size_t k = order == Order::TopDown ? step : n - 1 - step;
        observer.PumpEvents();
        if (k < store.Count(category) && store.Row(category, k).checked) {
            const RowIcon iconBefore = store.Row(category, k).icon;
            RowTask task = Begin(k, outcome);
            task.progress = [this](std::uint64_t done, std::uint64_t size) {
                return observer.FileCopyStep(done, size);
            };
            SetStarted(k);
            if (!Finish(task, work(task), iconBefore, outcome))
                return outcome;
        }
        if (!runFlag.IsSet()) {
            outcome.cancelled = true;
            break;
        }
    }
    return outcome;
}

std::string_view RowRun::FolderAt(Order order, std::size_t step) const
{
    const std::size_t n = store.Count(category);
    if (step >= n)
        return {};
    const std::string_view path = store.Row(category, order == Order::TopDown ? step : n - 1 - step).relativePath;
    std::size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1]))
        --cut;
    return cut == 0 ? std::string_view() : path.substr(0, cut - 1);
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

bool RowRun::Finish(const RowTask& task, const FileResult& result, RowIcon iconBefore, SyncOutcome& outcome)
{
    const std::size_t k = task.row;
    CompareItem& row = store.Row(category, k);
    if (result.ok()) {
        row.SetTag(engine::kProcessedTag);
        ++outcome.succeeded;
        if (succeeded)
            succeeded(task);
        observer.RowChanged(category, k);
        return true;
    }
    if (result.cancelled) {
        row.icon = iconBefore;
        observer.RowChanged(category, k);
        outcome.cancelled = true;
        return false;
    }
    MarkRowFailed(store, category, k, result.error, outcome, observer);
    if (!options.IgnoreError) {
        if (!outcome.stoppedOnFailure)
            observer.ShowFailure(result.error);
        outcome.stoppedOnFailure = true;
        return false;
    }
    return true;
}

bool RowRun::WantsRetryAlone(const InFlight& job)
{
    const int error = job.result.errorNumber;
    return !job.retried && job.besideOthers && ShortOfSpace(error);
}

void RowRun::LeaveAsItWas(InFlight& job, std::mutex& mutex, RowDependencies& dependencies, SyncOutcome& outcome)
{
    {
        const std::lock_guard lock(mutex);
        dependencies.Finished(job.waitsFor, false);
    }
    store.Row(category, job.task.row).icon = job.iconBefore;
    observer.RowChanged(category, job.task.row);
    --outcome.started;
}

SyncOutcome RowRun::RunInFlight(Order order, SyncOutcome& outcome)
{
    std::mutex mutex;
    std::condition_variable wakeWorkers;
    std::condition_variable rowFinished;
    std::condition_variable stepAnswered;
    std::deque<InFlight*> queue;
    std::size_t unfinished = 0;
    std::size_t handOvers = 0;
    std::size_t finishes = 0;
    bool closing = false;
    bool abandon = false; // a file was abandoned: so is every file in flight
    RowDependencies dependencies(order);

    auto workerLoop = [&] {
        std::unique_lock lock(mutex);
        while (true) {
            wakeWorkers.wait(lock, [&] { return closing || !queue.empty(); });
            if (queue.empty())
                return;
            InFlight* job = queue.front();
            queue.pop_front();
            lock.unlock();
            job->task.progress = [&, job](std::uint64_t done, std::uint64_t size) {
                std::unique_lock stepLock(mutex);
                if (abandon)
                    return false;
                job->bytesDone = done;
                job->fileSize = size;
                job->stepWaiting = true;
                ++finishes; // wakes the calling thread
                rowFinished.notify_one();
                stepAnswered.wait(stepLock, [&] { return !job->stepWaiting; });
                return job->goOn;
            };
            FileResult result = work(job->task);
            lock.lock();
            job->result = std::move(result);
            job->besideOthers = job->besideOthers || handOvers != job->handOverNumber + 1;
            job->finished = true;
            dependencies.Finished(job->waitsFor, true);
            --unfinished;
            ++finishes;
            rowFinished.notify_one();
        }
    };
    std::vector<std::thread> workers;
    try {
        for (std::size_t i = 0; i < rowsInFlight; ++i)
            workers.emplace_back(workerLoop);
    } catch (const std::system_error&) {
        if (workers.empty()) // no thread to be had: one row at a time here
            return RunOneByOne(order, outcome);
    }

    // Rows taken wait in `flight`, in list order, until the rows before
    // them are reported: held back, worked on or finished early. The
    // look-ahead is wide enough to find rows of several folders.
    const std::size_t window = 16 * rowsInFlight;
    std::deque<std::unique_ptr<InFlight>> flight; // in list order
    const std::size_t n = store.Count(category);
    std::size_t step = 0;
    bool starting = true;
    bool retryAlone = false; // a row waits to be tried again alone: nothing else is handed over
    std::size_t finishesSeen = 0;
    std::size_t heldChecked = static_cast<std::size_t>(-1); // finishesSeen when held rows were last looked at
    // The rows from `step` up to sameFolderEnd are in one folder, and the
    // row there in another when otherFolderAtEnd.
    std::size_t sameFolderEnd = 0;
    bool otherFolderAtEnd = false;
    // Hands a row to the workers (the run's mutex held).
    auto queueRow = [&](InFlight& job) {
        job.besideOthers = unfinished > 0;
        job.handOverNumber = handOvers++;
        queue.push_back(&job);
        ++unfinished;
    };
    while (true) {
        while (!flight.empty()) {
            if (!flight.front()->handedOver && !flight.front()->unchecked) {
                if (starting)
                    break; // handed over below, now that nothing before it is left
                // The run stopped before this held row was worked on: it
                // is as it was, and not counted as started.
                LeaveAsItWas(*flight.front(), mutex, dependencies, outcome);
                flight.pop_front();
                continue;
            }
            if (flight.front()->unchecked) {
                flight.pop_front(); // left as it was when its check mark was found gone
                continue;
            }
            {
                const std::lock_guard lock(mutex);
                if (!flight.front()->finished)
                    break;
                if (WantsRetryAlone(*flight.front()) && starting) {
                    retryAlone = true;
                    if (unfinished > 0)
                        break; // the others end first
                    InFlight& again = *flight.front();
                    again.retried = true;
                    again.finished = false;
                    again.result = {};
                    again.waitsFor = dependencies.Taken(again.task.item);
                    dependencies.HandedOver(again.waitsFor);
                    queueRow(again);
                    wakeWorkers.notify_one();
                    break;
                }
            }
            retryAlone = false;
            const std::unique_ptr<InFlight> done = std::move(flight.front());
            flight.pop_front();
            if (!Finish(done->task, done->result, done->iconBefore, outcome)) {
                starting = false;
                if (done->result.cancelled) {
                    const std::lock_guard lock(mutex);
                    abandon = true;
                }
            }
        }
        if (starting && !runFlag.IsSet()) {
            starting = false;
            outcome.cancelled = true;
        }
        // A row that must wait is held back and the rows after it go on
        // starting, so that a folder waiting for its content (or content
        // for its folder) does not stall the run at every folder. Held
        // rows go first; rows are spread over folders while the
        // look-ahead has others, and fill any free worker when it has none.
        auto workersFree = [&] {
            const std::lock_guard lock(mutex);
            return !retryAlone && unfinished < rowsInFlight;
        };
        // The check mark is read again as the row is handed over: an
        // uncheck since it was taken counts as for a row not reached.
        auto handOver = [&](InFlight& job, bool spread) {
            if (!store.Row(category, job.task.row).checked) {
                LeaveAsItWas(job, mutex, dependencies, outcome);
                job.unchecked = true;
                return;
            }
            {
                const std::lock_guard lock(mutex);
                if (dependencies.MustWait(job.waitsFor, spread && job.spread))
                    return;
                dependencies.HandedOver(job.waitsFor);
                queueRow(job);
            }
            job.handedOver = true;
            wakeWorkers.notify_one();
        };
        auto handOverHeld = [&](bool spread) {
            for (std::size_t i = 0; i < flight.size() && workersFree(); ++i)
                if (!flight[i]->handedOver && !flight[i]->unchecked)
                    handOver(*flight[i], spread);
        };
        if (starting && finishesSeen != heldChecked) {
            heldChecked = finishesSeen;
            handOverHeld(true);
        }
        // Whether a row of another folder than that of the row at `from`
        // lies within `reach` rows: rows of one large folder are not held
        // back in vain (and not started far ahead of those done). Rows
        // are taken in order, so each is looked at once.
        auto otherFolderWithin = [&](std::size_t from, std::size_t reach) {
            if (from >= sameFolderEnd) {
                sameFolderEnd = from + 1;
                otherFolderAtEnd = false;
            }
            const std::string_view folder = FolderAt(order, from);
            while (!otherFolderAtEnd && sameFolderEnd < std::min(n, from + reach)) {
                if (FolderAt(order, sameFolderEnd) != folder)
                    otherFolderAtEnd = true;
                else
                    ++sameFolderEnd;
            }
            return otherFolderAtEnd && sameFolderEnd < from + reach;
        };
        while (starting && step < n && flight.size() < window && workersFree()) {
            const std::size_t k = order == Order::TopDown ? step : n - 1 - step;
            if (k < store.Count(category) && store.Row(category, k).checked) {
                auto job = std::make_unique<InFlight>();
                job->iconBefore = store.Row(category, k).icon;
                job->task = Begin(k, outcome);
                SetStarted(k);
                {
                    const std::lock_guard lock(mutex);
                    job->waitsFor = dependencies.Taken(job->task.item);
                }
                flight.push_back(std::move(job));
                flight.back()->spread = otherFolderWithin(step, window - flight.size() + 1);
                handOver(*flight.back(), true);
            }
            ++step;
        }
        if (starting && workersFree())
            handOverHeld(false);
        if (flight.empty() && (!starting || step >= n))
            break;
        {
            std::unique_lock lock(mutex);
            rowFinished.wait_for(lock, std::chrono::milliseconds(15), [&] { return finishes != finishesSeen; });
            finishesSeen = finishes;
        }
        observer.PumpEvents();
        // File steps, in list order: the observer may abandon the file,
        // and with it every file in flight.
        for (const auto& job : flight) {
            std::unique_lock lock(mutex);
            if (!job->stepWaiting)
                continue;
            const std::uint64_t done = job->bytesDone;
            const std::uint64_t size = job->fileSize;
            bool goOn = !abandon;
            lock.unlock();
            goOn = goOn && observer.FileCopyStep(done, size);
            lock.lock();
            if (!goOn) {
                abandon = true;
                starting = false;
            }
            job->goOn = goOn;
            job->stepWaiting = false;
            stepAnswered.notify_all();
        }
    }
    {
        const std::lock_guard lock(mutex);
        closing = true;
    }
    wakeWorkers.notify_all();
    for (std::thread& worker : workers)
        worker.join();
    return outcome;
}

} // namespace tandrel::sync
