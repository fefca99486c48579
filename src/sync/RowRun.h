#pragma once

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "platform/FileOps.h"
#include "settings/CompareOptions.h"
#include "sync/RowDependencies.h"
#include "sync/RowItem.h"
#include "sync/SyncObserver.h"
#include "sync/SyncOperations.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tandrel::sync {

// A failed row: its icon, tag and status text, counted in `outcome` and reported.
void MarkRowFailed(engine::ResultStore& store, engine::ResultCategory category, std::size_t k,
                   const std::string& text, SyncOutcome& outcome, SyncObserver& observer);

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
    engine::ResultStore& store;
    engine::ResultCategory category;
    const settings::CompareOptions& options;
    engine::RunFlag& runFlag;
    double& progressFraction;
    SyncObserver& observer;

    // The path shown while the row is worked on, the work itself and, on
    // this thread in list order, what follows a row's success.
    std::function<std::string(const engine::CompareItem&)> shownPath;
    std::function<platform::FileResult(RowTask&)> work;
    std::function<void(const RowTask&)> succeeded = {};
    std::size_t rowsInFlight = 1;

    SyncOutcome Run(Order order);

    SyncOutcome RunOneByOne(Order order, SyncOutcome& outcome);

    // The folder holding the row at `step` of the run ("" at the root).
    std::string_view FolderAt(Order order, std::size_t step) const;

    RowTask Begin(std::size_t k, SyncOutcome& outcome);

    void SetStarted(std::size_t k);

    // False when the run must end here (a failure with IgnoreError off, or a
    // file abandoned on request).
    bool Finish(const RowTask& task, const platform::FileResult& result, engine::RowIcon iconBefore,
                SyncOutcome& outcome);

    struct InFlight {
        RowTask task;
        engine::RowIcon iconBefore = engine::RowIcon::File;
        platform::FileResult result;
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
    static bool WantsRetryAlone(const InFlight& job);

    // A row taken but never handed over: its icon back, not counted as started.
    void LeaveAsItWas(InFlight& job, std::mutex& mutex, RowDependencies& dependencies, SyncOutcome& outcome);

    SyncOutcome RunInFlight(Order order, SyncOutcome& outcome);
};

} // namespace tandrel::sync
