#pragma once

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "platform/FileOps.h"
#include "settings/CompareOptions.h"
#include "sync/RowSchedule.h"
#include "sync/RowItem.h"
#include "sync/SyncObserver.h"
#include "sync/SyncOperations.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tandrel::sync {

// A failed row: its icon, tag and status text, counted in `outcome` and reported.
void MarkRowFailed(engine::ResultStore& store, engine::ResultCategory category, std::size_t k,
                   const std::string& text, SyncOutcome& outcome, SyncObserver& observer);

// How a row's result ends it in the schedule: a full disk or used-up quota
// may be tried again alone, an abandoned file stops the run.
RowSchedule::End EndOf(const platform::FileResult& result);

// One row handed to the work: a copy of the row taken when its turn came, the
// progress of its file and what the work leaves for the calling thread.
struct RowTask {
    std::size_t row = 0;
    RowItem item;
    platform::CopyProgress progress;
    std::uint64_t fileSystem = 0; // where a copy wrote
};

// The row-by-row frame shared by copy and delete: counting pass, working
// pass in the given order, row marks, failure handling and cancel. The
// order of the rows is a RowSchedule's; with `rowsInFlight` above 1, that
// many rows are worked on at once on threads of their own. The store, the
// observer and the run flag stay on this thread, which reports the rows in
// list order and lets events run while it waits (with one row at a time,
// which runs on this thread, at each row's turn instead).
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

private:
    // The remote frame drives its own schedule with this frame's row steps.
    friend class RemoteRowRun;

    struct Taken {
        RowTask task;
        engine::RowIcon iconBefore = engine::RowIcon::File;
        platform::FileResult result;
    };

    class Pass;
    RowTask Begin(std::size_t k, SyncOutcome& outcome);
    void SetStarted(std::size_t k);
    void Finish(const RowTask& task, const platform::FileResult& result, engine::RowIcon iconBefore,
                SyncOutcome& outcome);
    // A row taken but never handed over: its icon back, not counted as started.
    void LeaveAsItWas(const Taken& taken, SyncOutcome& outcome);
};

} // namespace tandrel::sync
