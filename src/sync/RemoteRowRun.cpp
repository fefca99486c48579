#include "sync/RemoteRowRun.h"

#include <chrono>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tandrel::sync {

using platform::FileResult;

namespace {

// Events run at least this often while chains are in flight.
constexpr std::chrono::milliseconds kWaitStep{15};

} // namespace

bool RemoteRowRun::FileStep(std::uint64_t done, std::uint64_t size)
{
    if (m_abandon)
        return false;
    if (!m_frame.observer.FileCopyStep(done, size)) {
        m_abandon = true;
        if (m_schedule)
            m_schedule->Stop();
    }
    return !m_abandon;
}

void RemoteRowRun::CountCheckedRows(SyncOutcome& outcome)
{
    engine::ResultStore& store = m_frame.store;
    const std::size_t counted = store.Count(m_frame.category);
    for (std::size_t k = 0; k < counted; ++k) {
        m_frame.observer.PumpEvents();
        if (k < store.Count(m_frame.category) && store.Row(m_frame.category, k).checked)
            ++outcome.total;
    }
    m_frame.observer.PumpEvents();
}

void RemoteRowRun::AwaitChains()
{
    const std::size_t endedBefore = m_ended;
    if (m_running > 0 && m_client)
        m_client->RunFor([&] { return m_ended != endedBefore; }, kWaitStep);
}

SyncOutcome RemoteRowRun::Run(Order order)
{
    SyncOutcome outcome;
    engine::ResultStore& store = m_frame.store;
    const engine::ResultCategory category = m_frame.category;
    if (store.Count(category) == 0)
        return outcome;
    m_frame.runFlag.Set(true);
    m_frame.progressFraction = 0.0;
    CountCheckedRows(outcome);

    std::vector<RowSchedule::Row> rows;
    rows.reserve(store.Count(category));
    for (std::size_t k = 0; k < store.Count(category); ++k)
        rows.push_back({store.Row(category, k).relativePath, store.Row(category, k).isFolder});
    RowSchedule schedule(std::move(rows),
                         {order, m_window, m_frame.options.IgnoreError,
                          [&](std::size_t k) { return k < store.Count(category) && store.Row(category, k).checked; },
                          [&] { return m_frame.runFlag.IsSet(); }});
    m_schedule = &schedule;
    std::unordered_map<std::size_t, RowRun::Taken> taken; // by row; nodes stay put while chains hold them
    std::vector<std::size_t> ended;                       // rows whose chains ended since the last wait
    while (true) {
        const RowSchedule::Step step = schedule.Next();
        switch (step.action) {
        case RowSchedule::Action::Turn:
            break;
        case RowSchedule::Action::Take: {
            RowRun::Taken& row = taken[step.row];
            row.iconBefore = store.Row(category, step.row).icon;
            row.task = m_frame.Begin(step.row, outcome);
            m_frame.SetStarted(step.row);
            break;
        }
        case RowSchedule::Action::HandOver: {
            RowRun::Taken& row = taken.at(step.row);
            row.result = {};
            ++m_running;
            m_start(row.task, [this, &row, &ended, k = step.row](FileResult result) {
                row.result = std::move(result);
                ended.push_back(k);
                --m_running;
                ++m_ended;
            });
            break;
        }
        case RowSchedule::Action::Report: {
            const RowRun::Taken& row = taken.at(step.row);
            m_frame.Finish(row.task, row.result, row.iconBefore, outcome);
            m_abandon = m_abandon || row.result.cancelled;
            taken.erase(step.row);
            break;
        }
        case RowSchedule::Action::Leave:
            m_frame.LeaveAsItWas(taken.at(step.row), outcome);
            taken.erase(step.row);
            break;
        case RowSchedule::Action::Wait:
            if (ended.empty())
                AwaitChains();
            for (const std::size_t k : ended)
                schedule.Done(k, EndOf(taken.at(k).result));
            ended.clear();
            m_frame.observer.PumpEvents();
            break;
        case RowSchedule::Action::Finished:
            outcome.cancelled = outcome.cancelled || schedule.StoppedByRunFlag();
            m_schedule = nullptr;
            return outcome;
        }
    }
}

} // namespace tandrel::sync
