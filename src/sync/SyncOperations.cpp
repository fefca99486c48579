#include "sync/SyncOperations.h"

#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "platform/OwnTemporaries.h"
#include "platform/Trash.h"
#include "sync/PathRoutines.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <cerrno>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tandrel::sync {

using engine::CompareItem;
using engine::ResultCategory;
using engine::ResultStore;
using engine::RowIcon;
using platform::FileResult;

namespace {

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

// How many rows a run works on at once when its target is on a network file
// system, where every step of a file is a round trip. Measured with
// bench/run_copy_bench.sh (20,000 small files onto sshfs, rows spread over
// folders): 8 rows 21.9 s, 16 rows 19.3 s, 32 rows 15.2 to 19.7 s. On a local
// disk rows go one at a time.
constexpr std::size_t kNetworkRowsInFlight = 16;

// TANDREL_ROWS_IN_FLIGHT=N sets the number for any target (tests and trials
// use it to run rows in flight on a local disk).
std::size_t RowsInFlightFor(const std::string& targetRoot)
{
#ifdef _WIN32
    // The Windows file steps run one row at a time.
    (void)targetRoot;
    return 1;
#else
    if (const char* forced = std::getenv("TANDREL_ROWS_IN_FLIGHT")) {
        const long wanted = std::strtol(forced, nullptr, 10);
        return static_cast<std::size_t>(std::clamp(wanted, 1L, 64L));
    }
    const platform::Fd root(platform::OpenFolder(targetRoot, platform::kOpenAsAnchor));
    return root.Valid() && platform::IsNetworkFileSystem(root.Get()) ? kNetworkRowsInFlight : 1;
#endif
}

enum class Order { TopDown, BottomUp };

// What the work needs of a row; the store itself is not touched off the calling thread.
struct RowItem {
    std::string relativePath;
    std::string shownPath;
    bool isFolder = false;
    // As the comparison listed them: the walked item, and in lists 1, 2, 5 its counterpart.
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t counterpartSize = 0;
    std::int64_t counterpartModified = 0;
};

// What the comparison showed of an item a row acts on.
struct Listed {
    enum class State { Absent, Entry, Folder };
    State state = State::Absent;
    std::int64_t size = 0;
    std::int64_t modified = 0;
};

FileResult ChangedSinceComparison(const std::string& path)
{
    return FileResult::Failure("'" + path + "' has changed since the comparison");
}

bool IsAbsence(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

// Whether `now` is still what the comparison listed, so that a row acts only
// on what the user saw. A folder's own time changes as its content does: it
// needs only to be a folder still. An entry listed with a folder beside it
// on the other side (listed with size 0) is judged by the step itself.
// A look that fails otherwise than by absence fails with the system's reason.
FileResult StillAsListed(const Listed& listed, const platform::EntryInfo& now, const std::string& what,
                         const platform::ItemAt& item, const std::string& shownPath)
{
    if (now.kind == platform::EntryKind::Missing && !IsAbsence(now.error))
        return platform::ErrnoFailure(what, item.path, now.error);
    bool same = false;
    switch (listed.state) {
    case Listed::State::Absent:
        same = now.kind == platform::EntryKind::Missing;
        break;
    case Listed::State::Folder:
        same = now.kind == platform::EntryKind::Folder;
        break;
    case Listed::State::Entry:
        same = now.kind == platform::EntryKind::Folder
                   ? listed.size == 0
                   : now.kind != platform::EntryKind::Missing && now.size == listed.size &&
                         now.mtime == listed.modified;
        break;
    }
    return same ? FileResult::Success() : ChangedSinceComparison(shownPath);
}

// The folders a copy run has made, for rows below them: what is in such a
// folder is what the run put there, so nothing needs a look. Rows on several
// threads note and ask at once.
class FoldersMade {
public:
    void Add(const std::string& relativePath)
    {
        const std::lock_guard lock(m_mutex);
        m_made.insert(relativePath);
    }
    bool HoldsParentOf(const std::string& relativePath)
    {
        const std::size_t cut = relativePath.rfind(engine::PathRules::Native().separator);
        if (cut == std::string::npos)
            return false;
        const std::lock_guard lock(m_mutex);
        return m_made.count(relativePath.substr(0, cut)) > 0;
    }

private:
    std::mutex m_mutex;
    std::unordered_set<std::string> m_made;
};

// On a network file system a folder's entries are made, renamed and removed
// one after another (the system locks the folder for each), so rows in
// flight are spread over folders: at most this many in one folder, while
// rows of other folders are to be had within the run's look-ahead. Measured
// with bench/run_copy_bench.sh on sshfs: 1 row a folder copied the small tree
// in 19.4 s, 2 in 19.9 s, no limit 27.8 s; its deletion 2.8, 3.3 and 5.0 s.
constexpr std::size_t kRowsPerFolder = 1;

// What rows taken into a run wait for, by folder: a copy makes a folder
// before anything inside it, a delete removes a folder after everything in
// it. Rows are taken in the run's order, so a row only ever waits for rows
// taken before it. Not locked itself: the run's lock guards it.
class RowDependencies {
public:
    explicit RowDependencies(Order order) : m_order(order) {}

    struct Row {
        const RowItem* item = nullptr;
        std::vector<std::string> folders; // every folder above the row, the outermost first
    };

    Row Taken(const RowItem& item)
    {
        Row row{&item, {}};
        const char separator = engine::PathRules::Native().separator;
        for (std::size_t at = item.relativePath.find(separator); at != std::string::npos;
             at = item.relativePath.find(separator, at + 1))
            row.folders.push_back(item.relativePath.substr(0, at));
        if (m_order == Order::TopDown) {
            if (item.isFolder)
                ++m_unfinishedFolders[item.relativePath];
        } else {
            for (const std::string& folder : row.folders)
                ++m_unfinishedBelow[folder];
        }
        return row;
    }

    // With `spread`, a row also waits while its folder has kRowsPerFolder rows being worked on.
    bool MustWait(const Row& row, bool spread) const
    {
        if (spread && Count(m_busyIn, Parent(row)) >= kRowsPerFolder)
            return true;
        if (m_order == Order::BottomUp)
            return row.item->isFolder && Count(m_unfinishedBelow, row.item->relativePath) > 0;
        return std::any_of(row.folders.begin(), row.folders.end(),
                           [this](const std::string& folder) { return Count(m_unfinishedFolders, folder) > 0; });
    }

    void HandedOver(const Row& row) { ++m_busyIn[Parent(row)]; }

    // Worked on (`handedOver`), or dropped when the run stopped before its turn.
    void Finished(const Row& row, bool handedOver)
    {
        if (handedOver)
            Lower(m_busyIn, Parent(row));
        if (m_order == Order::TopDown) {
            if (row.item->isFolder)
                Lower(m_unfinishedFolders, row.item->relativePath);
        } else {
            for (const std::string& folder : row.folders)
                Lower(m_unfinishedBelow, folder);
        }
    }

private:
    using Counts = std::unordered_map<std::string, std::size_t>;
    static const std::string& Parent(const Row& row)
    {
        static const std::string root;
        return row.folders.empty() ? root : row.folders.back();
    }
    static std::size_t Count(const Counts& counts, const std::string& key)
    {
        const auto found = counts.find(key);
        return found == counts.end() ? 0 : found->second;
    }
    static void Lower(Counts& counts, const std::string& key)
    {
        const auto found = counts.find(key);
        if (found != counts.end() && --found->second == 0)
            counts.erase(found);
    }

    Order m_order;
    Counts m_unfinishedFolders; // copy: folder rows not yet made
    Counts m_unfinishedBelow;   // delete: rows inside each folder not yet removed
    Counts m_busyIn;            // rows being worked on, by the folder they are in
};

// One row handed to the work: a copy of the row taken when its turn came, the
// progress of its file and what the work leaves for the calling thread.
struct RowTask {
    std::size_t row = 0;
    RowItem item;
    platform::CopyProgress progress;
    std::uint64_t fileSystem = 0; // where a copy wrote
};

// The row-by-row frame shared by copy and delete: counting pass, working
// pass in the given order, row marks, failure handling and cancel. With
// `rowsInFlight` above 1, that many rows are worked on at once on threads of
// their own; the store, the observer and the run flag stay on this thread,
// which reports the rows in list order and lets events run while it waits.
struct RowRun {
    ResultStore& store;
    ResultCategory category;
    const settings::CompareOptions& options;
    engine::RunFlag& runFlag;
    double& progressFraction;
    SyncObserver& observer;

    // The path shown while the row is worked on, the work itself and, on
    // this thread in list order, what follows a row's success.
    std::function<std::string(const CompareItem&)> shownPath;
    std::function<FileResult(RowTask&)> work;
    std::function<void(const RowTask&)> succeeded = {};
    std::size_t rowsInFlight = 1;

    SyncOutcome Run(Order order)
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

    SyncOutcome RunOneByOne(Order order, SyncOutcome& outcome)
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

    // The folder holding the row at `step` of the run ("" at the root).
    std::string_view FolderAt(Order order, std::size_t step) const
    {
        const std::size_t n = store.Count(category);
        if (step >= n)
            return {};
        const std::string_view path = store.Row(category, order == Order::TopDown ? step : n - 1 - step).relativePath;
        const std::size_t cut = path.rfind(engine::PathRules::Native().separator);
        return cut == std::string_view::npos ? std::string_view() : path.substr(0, cut);
    }

    RowTask Begin(std::size_t k, SyncOutcome& outcome)
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
        task.item.size = row.size;
        task.item.modified = row.modified;
        task.item.counterpartSize = row.counterpartSize;
        task.item.counterpartModified = row.counterpartModified;
        observer.RowStarted(outcome.started, outcome.total, task.item.shownPath);
        return task;
    }

    void SetStarted(std::size_t k)
    {
        store.Row(category, k).icon = RowIcon::Started;
        observer.RowChanged(category, k);
    }

    // False when the run must end here (a failure with IgnoreError off, or a
    // file abandoned on request).
    bool Finish(const RowTask& task, const FileResult& result, RowIcon iconBefore, SyncOutcome& outcome)
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

    struct InFlight {
        RowTask task;
        RowIcon iconBefore = RowIcon::File;
        FileResult result;
        // Guarded by the run's mutex: the row's end, and a step of its file
        // waiting for the observer's word on this thread.
        bool finished = false;
        bool stepWaiting = false;
        bool goOn = true;
        std::uint64_t bytesDone = 0;
        std::uint64_t fileSize = 0;
        // Handed to the workers; until then the row is held back, started
        // in list order but waiting for a row before it (only this thread
        // reads or sets this).
        bool handedOver = false;
        bool spread = false; // rows of other folders were within the look-ahead when it was taken
        bool unchecked = false; // its check mark was gone when its turn came: left as it was
        RowDependencies::Row waitsFor;
        // Guarded by the run's mutex: the hand-overs counted when it was handed
        // over, and whether other rows were worked on beside it.
        std::size_t handOverNumber = 0;
        bool besideOthers = false;
        bool retried = false; // tried again alone after it failed for lack of space
    };

    // A row that failed for lack of space while other rows took space beside
    // it may fit once they are done: it is tried again alone.
    static bool WantsRetryAlone(const InFlight& job)
    {
        const int error = job.result.errorNumber;
        return !job.retried && job.besideOthers && (error == ENOSPC || error == EDQUOT);
    }

    // A row taken but never handed over: its icon back, not counted as started.
    void LeaveAsItWas(InFlight& job, std::mutex& mutex, RowDependencies& dependencies, SyncOutcome& outcome)
    {
        {
            const std::lock_guard lock(mutex);
            dependencies.Finished(job.waitsFor, false);
        }
        store.Row(category, job.task.row).icon = job.iconBefore;
        observer.RowChanged(category, job.task.row);
        --outcome.started;
    }

    SyncOutcome RunInFlight(Order order, SyncOutcome& outcome)
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
};

// What keeps an existing item from being replaced or deleted while
// Overwriting is off: it is read-only, system or hidden (as the platform
// keeps these). Null when none of these holds, and for an item that is not
// of the row's kind (a folder for a file row, or the other way round).
const char* ProtectedKind(const platform::EntryInfo& info, bool folderRow = false)
{
    if (info.kind == platform::EntryKind::Missing || (info.kind == platform::EntryKind::Folder) != folderRow)
        return nullptr;
    if (info.ReadOnly())
        return "read-only";
    if (info.system)
        return "system";
    if (info.hidden)
        return "hidden";
    return nullptr;
}

// Whether the file at `to` may be replaced: with Overwriting on, a read-only
// file is made writable first; with it off, a protected file is kept (the
// rename would succeed all the same).
FileResult MayReplace(const platform::ItemAt& to, const platform::EntryInfo& existing,
                      const settings::CompareOptions& options)
{
    if (options.Overwriting) {
        if (existing.kind != platform::EntryKind::Missing && existing.kind != platform::EntryKind::Folder)
            return platform::SetArchiveOnlyAt(to);
    } else if (const char* kind = ProtectedKind(existing)) {
        return platform::ErrnoFailure(std::string("Cannot replace ") + kind + " file", to.path, EACCES);
    }
    return FileResult::Success();
}

// The target is looked at before its copy is made (`now`), so that a changed
// or protected one costs no copying, and again when the copy is about to take
// its place, which the copy's own look at the target costs nothing more.
// Below a folder this run made there is no look first (`now` unset): the
// target can only be absent there.
FileResult CopyOneFile(const platform::ItemAt& from, const platform::ItemAt& to, const Listed& listed,
                       const std::optional<platform::EntryInfo>& now, const std::string& shownPath,
                       const settings::CompareOptions& options, const platform::CopyProgress& progress,
                       platform::WrittenFileSystems& written)
{
    if (now) {
        if (FileResult same = StillAsListed(listed, *now, "Cannot copy to", to, shownPath); !same.ok())
            return same;
        if (listed.state != Listed::State::Absent) {
            if (FileResult allowed = MayReplace(to, *now, options); !allowed.ok())
                return allowed;
        }
    }
    return platform::CopyFileSafelyAt(from, to, progress, &written, [&](const platform::EntryInfo& existing) {
        return StillAsListed(listed, existing, "Cannot copy to", to, shownPath);
    });
}

// Moves the row's item to the user's trash. A folder row goes only when it is
// empty, as removing it would; a file row never takes a folder that has come
// in its place since the comparison, which would carry away a whole tree.
FileResult TrashOneItem(const RowItem& row, const platform::ItemAt& item, platform::EntryKind kind)
{
    if (kind != platform::EntryKind::Missing && (kind == platform::EntryKind::Folder) != row.isFolder)
        return platform::ErrnoFailure("Cannot move to the trash", item.path, row.isFolder ? ENOTDIR : EISDIR);
    FileResult result = platform::MoveToTrashAt(item.folder.Fd(), item.name, item.path,
                                                row.isFolder ? platform::TrashFolders::OnlyWhenEmpty
                                                             : platform::TrashFolders::WholeTree);
    // A fault of the trash folder names that folder; the row's text names the item too.
    if (!result.ok() && result.error.find(item.path) == std::string::npos)
        result.error = "Cannot move '" + item.path + "' to the trash: " + result.error;
    return result;
}

// `now` is what is at `item`, already found as the comparison listed it.
FileResult DeleteOneItem(const RowItem& row, const platform::ItemAt& item, const platform::EntryInfo& now,
                         const settings::CompareOptions& options, DeleteTarget target,
                         platform::TemporarySweep& sweep)
{
    if (row.isFolder) {
        if (const char* kind = ProtectedKind(now, true)) {
            if (!options.Overwriting)
                return platform::ErrnoFailure(std::string("Cannot remove ") + kind + " folder", item.path, EACCES);
            if (target == DeleteTarget::Remove) {
                FileResult cleared = platform::SetArchiveOnlyAt(item);
                if (!cleared.ok())
                    return cleared;
            }
        }
        // What an interrupted copy left in the folder is not the user's: it
        // does not keep the folder from going. A folder is rarely left with
        // such files, so it is looked into only when it will not go (a
        // listing costs round trips on a network file system).
        if (target == DeleteTarget::Remove) {
            if (FileResult removed = platform::RemoveFolderAt(item); removed.ok())
                return removed;
            sweep.BeforeRemoving(item);
            return platform::RemoveFolderAt(item);
        }
        sweep.BeforeRemoving(item);
        return TrashOneItem(row, item, platform::LookUpAt(item).kind);
    }
    if (!options.Overwriting) {
        if (const char* kind = ProtectedKind(now))
            return platform::ErrnoFailure(std::string("Cannot delete ") + kind + " file", item.path, EACCES);
    } else if (target == DeleteTarget::Remove) {
        FileResult cleared = platform::SetArchiveOnlyAt(item);
        if (!cleared.ok())
            return cleared;
    }
    // In the trash the item keeps its rights, so that restoring it brings it back as it was.
    return target == DeleteTarget::Trash ? TrashOneItem(row, item, now.kind) : platform::DeleteFileAt(item);
}

// A time at least this many seconds earlier than another never counts as
// equal to it under `options`.
std::int64_t BeyondTolerance(const settings::CompareOptions& options)
{
    static constexpr std::int64_t kUnitSeconds[] = {1, 60, 3600, 86400, 31 * 86400, 366 * 86400};
    const int type = options.IgnoreType;
    const std::int64_t unit = type >= 0 && type < 6 ? kUnitSeconds[type] : 1;
    return (std::max<std::int64_t>(options.IgnoreTime, 0) + 2) * unit;
}

} // namespace

// Flushes the file systems the copy runs wrote to. The rows written to one
// whose flush failed may not have their content on disk: they fail now, and
// their files, which already carry the source's size and time, are set back
// in time so that the next comparison lists them again (as older than the
// side they were copied from, where copying the same way repairs them).
void FlushCopiedRows(PendingFlush& pending, ResultStore& store, const settings::CompareOptions& options,
                     SyncObserver& observer, std::vector<std::pair<ResultCategory, SyncOutcome>>& outcomes)
{
    if (pending.rows.empty())
        return; // nothing written
    // A flush can take many seconds on a slow disk. It runs on a thread of
    // its own, and while it lasts the front end's events keep running.
    std::vector<platform::WrittenFileSystems::Failure> failures;
    std::mutex mutex;
    std::condition_variable flushedChanged;
    bool flushed = false;
    std::thread flusher;
    try {
        flusher = std::thread([&] {
            auto result = pending.fileSystems.FlushAll();
            const std::lock_guard lock(mutex);
            failures = std::move(result);
            flushed = true;
            flushedChanged.notify_one();
        });
    } catch (const std::system_error&) {
        // No thread to be had: the flush runs here, without events meanwhile.
        failures = pending.fileSystems.FlushAll();
        flushed = true;
    }
    for (std::unique_lock lock(mutex);
         !flushedChanged.wait_for(lock, std::chrono::milliseconds(15), [&] { return flushed; });) {
        lock.unlock();
        observer.PumpEvents();
        lock.lock();
    }
    if (flusher.joinable())
        flusher.join();

    std::string firstFailure;
    SyncOutcome* firstOutcome = nullptr;
    for (const auto& failure : failures) {
        for (const PendingFlush::Written& written : pending.rows) {
            if (written.fileSystem != failure.fileSystem)
                continue;
            const CompareItem& row = store.Row(written.category, written.row);
            const std::string& root = written.toDestination ? store.DestinationRoot() : store.SourceRoot();
            const std::string text =
                platform::ErrnoFailure("Cannot flush to disk", root + row.relativePath, failure.error).error;
            if (!row.isFolder) {
                platform::ItemAt target;
                if (platform::ReachItem(root, row.relativePath, false, "Cannot set the time of", target).ok())
                    platform::MarkUnsettledAt(target, BeyondTolerance(options));
            }
            auto outcome = std::find_if(outcomes.begin(), outcomes.end(),
                                        [&](const auto& listed) { return listed.first == written.category; });
            if (outcome == outcomes.end())
                continue;
            --outcome->second.succeeded;
            MarkRowFailed(store, written.category, written.row, text, outcome->second, observer);
            if (firstFailure.empty()) {
                firstFailure = text;
                firstOutcome = &outcome->second;
            }
        }
    }
    if (firstOutcome && !options.IgnoreError) {
        observer.ShowFailure(firstFailure);
        firstOutcome->stoppedOnFailure = true;
    }
}

bool DirectionOffered(ResultCategory category, CopyDirection direction)
{
    if (direction == CopyDirection::SourceToDestination)
        return category != ResultCategory::NotInSource;
    return category != ResultCategory::NotInDestination;
}

SyncOutcome CopyCheckedRows(ResultStore& store, ResultCategory category, CopyDirection direction,
                            const settings::CompareOptions& options, engine::RunFlag& runFlag,
                            double& progressFraction, SyncObserver& observer, PendingFlush* flushLater)
{
    if (!DirectionOffered(category, direction)) {
        SyncOutcome refused;
        refused.refused = true;
        return refused;
    }
    // Every row's relative path stands below both roots; the direction says
    // which is read and which written.
    const bool toDestination = direction == CopyDirection::SourceToDestination;
    const std::string& fromRoot = toDestination ? store.SourceRoot() : store.DestinationRoot();
    const std::string& toRoot = toDestination ? store.DestinationRoot() : store.SourceRoot();
    auto toOf = [&toRoot](const CompareItem& row) { return toRoot + row.relativePath; };
    const bool targetSeen =
        category != (toDestination ? ResultCategory::NotInDestination : ResultCategory::NotInSource);

    PendingFlush flushHere;
    PendingFlush& pending = flushLater ? *flushLater : flushHere;
    platform::TemporarySweep sweep;
    FoldersMade made;
    RowRun run{store, category, options, runFlag, progressFraction, observer, toOf,
               [&](RowTask& task) {
                   const RowItem& row = task.item;
                   // A file's missing folders are made on the way, unless the
                   // comparison saw its target (then a level gone is a
                   // change); a folder row makes its one level only.
                   platform::ItemAt to;
                   if (FileResult reached = platform::ReachItem(
                           toRoot, row.relativePath, !row.isFolder && !targetSeen,
                           row.isFolder ? "Cannot create folder" : "Cannot copy to", to);
                       !reached.ok())
                       return targetSeen && IsAbsence(reached.errorNumber) ? ChangedSinceComparison(row.shownPath)
                                                                          : reached;
                   FileResult result;
                   if (row.isFolder) {
                       result = platform::CreateFolderCopyAt(fromRoot, row.relativePath, to);
                       if (result.ok()) {
                           sweep.MadeByThisRun(to.path);
                           made.Add(row.relativePath);
                       }
                   } else {
                       const Listed listed =
                           targetSeen ? Listed{Listed::State::Entry, toDestination ? row.counterpartSize : row.size,
                                               toDestination ? row.counterpartModified : row.modified}
                                      : Listed{};
                       std::optional<platform::EntryInfo> now;
                       if (!made.HoldsParentOf(row.relativePath))
                           now = platform::LookUpAt(to);
                       platform::ItemAt from;
                       result = platform::ReachItem(fromRoot, row.relativePath, false, "Cannot read", from);
                       if (result.ok()) {
                           sweep.BeforeWritingInto(to.folder.Fd(), ParentFolder(to.path));
                           result = CopyOneFile(from, to, listed, now, row.shownPath, options, task.progress,
                                                pending.fileSystems);
                       }
                   }
                   if (result.ok())
                       task.fileSystem = pending.fileSystems.Note(to);
                   return result;
               },
               [&](const RowTask& task) {
                   pending.rows.push_back({category, task.row, task.fileSystem, toDestination});
               },
               RowsInFlightFor(toRoot)};
    SyncOutcome outcome = run.Run(Order::TopDown);
    if (flushLater)
        return outcome;
    std::vector<std::pair<ResultCategory, SyncOutcome>> outcomes{{category, outcome}};
    FlushCopiedRows(pending, store, options, observer, outcomes);
    return outcomes.front().second;
}

SyncOutcome DeleteCheckedRows(ResultStore& store, ResultCategory category, const settings::CompareOptions& options,
                              engine::RunFlag& runFlag, double& progressFraction, SyncObserver& observer,
                              DeleteTarget target)
{
    auto pathOf = [&store, category](const CompareItem& row) { return store.Path(category, row); };
    const std::string& walkedRoot = store.WalkedRoot(category);
    platform::TemporarySweep sweep;
    RowRun run{store, category, options, runFlag, progressFraction, observer, pathOf,
               [&](RowTask& task) {
                   const RowItem& row = task.item;
                   const char* what = row.isFolder ? "Cannot remove folder" : "Cannot delete";
                   platform::ItemAt item;
                   if (FileResult reached = platform::ReachItem(walkedRoot, row.relativePath, false, what, item);
                       !reached.ok())
                       return IsAbsence(reached.errorNumber) ? ChangedSinceComparison(row.shownPath) : reached;
                   const platform::EntryInfo now = platform::LookUpAt(item);
                   const Listed listed{row.isFolder ? Listed::State::Folder : Listed::State::Entry, row.size,
                                       row.modified};
                   if (FileResult same = StillAsListed(listed, now, what, item, row.shownPath); !same.ok())
                       return same;
                   return DeleteOneItem(row, item, now, options, target, sweep);
               },
               {},
               // The trash takes one item at a time.
               target == DeleteTarget::Trash ? 1 : RowsInFlightFor(walkedRoot)};
    return run.Run(Order::BottomUp);
}

} // namespace tandrel::sync
