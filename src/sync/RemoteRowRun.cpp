#include "sync/RemoteRowRun.h"

#include <chrono>
#include <deque>
#include <memory>

namespace tandrel::sync {

using engine::RowIcon;

bool RemoteRowRun::FileStep(std::uint64_t done, std::uint64_t size)
{
    if (m_abandon)
        return false;
    if (!m_frame.observer.FileCopyStep(done, size))
        m_abandon = true;
    return !m_abandon;
}

void RemoteRowRun::LeaveAsItWas(Job& job, RowDependencies& dependencies, SyncOutcome& outcome)
{
    dependencies.Finished(job.waitsFor, false);
    m_frame.store.Row(m_frame.category, job.task.row).icon = job.iconBefore;
    m_frame.observer.RowChanged(m_frame.category, job.task.row);
    --outcome.started;
}

// The check mark is read again as the row is handed over: an uncheck since
// it was taken counts as for a row not reached.
void RemoteRowRun::HandOver(Job& job, RowDependencies& dependencies, SyncOutcome& outcome)
{
    if (!m_frame.store.Row(m_frame.category, job.task.row).checked) {
        LeaveAsItWas(job, dependencies, outcome);
        job.unchecked = true;
        return;
    }
    if (dependencies.MustWait(job.waitsFor, false))
        return;
    dependencies.HandedOver(job.waitsFor);
    job.handedOver = true;
    ++m_running;
    m_start(job.task, [this, &job, &dependencies](platform::FileResult result) {
        job.result = std::move(result);
        job.finished = true;
        dependencies.Finished(job.waitsFor, true);
        --m_running;
        ++m_ended;
    });
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
    const std::size_t counted = store.Count(category);
    for (std::size_t k = 0; k < counted; ++k) {
        m_frame.observer.PumpEvents();
        if (k < store.Count(category) && store.Row(category, k).checked)
            ++outcome.total;
    }
    m_frame.observer.PumpEvents();

    RowDependencies dependencies(order);
    std::deque<std::unique_ptr<Job>> flight; // in list order
    // Rows are taken ahead of the window, so that rows waiting for a folder
    // do not stall those of other folders.
    const std::size_t lookAhead = 4 * m_window;
    const std::size_t n = store.Count(category);
    std::size_t step = 0;
    bool starting = true;
    while (true) {
        while (!flight.empty()) {
            Job& front = *flight.front();
            if (front.unchecked) {
                flight.pop_front();
                continue;
            }
            if (!front.handedOver) {
                if (starting)
                    break;
                LeaveAsItWas(front, dependencies, outcome);
                flight.pop_front();
                continue;
            }
            if (!front.finished)
                break;
            const std::unique_ptr<Job> done = std::move(flight.front());
            flight.pop_front();
            if (!m_frame.Finish(done->task, done->result, done->iconBefore, outcome)) {
                starting = false;
                if (done->result.cancelled)
                    m_abandon = true;
            }
        }
        if (starting && !m_frame.runFlag.IsSet()) {
            starting = false;
            outcome.cancelled = true;
        }
        for (std::size_t i = 0; starting && i < flight.size() && m_running < m_window; ++i)
            if (!flight[i]->handedOver && !flight[i]->unchecked)
                HandOver(*flight[i], dependencies, outcome);
        while (starting && step < n && flight.size() < lookAhead && m_running < m_window) {
            const std::size_t k = order == Order::TopDown ? step : n - 1 - step;
            if (k < store.Count(category) && store.Row(category, k).checked) {
                auto job = std::make_unique<Job>();
                job->iconBefore = store.Row(category, k).icon;
                job->task = m_frame.Begin(k, outcome);
                m_frame.SetStarted(k);
                job->waitsFor = dependencies.Taken(job->task.item);
                flight.push_back(std::move(job));
                HandOver(*flight.back(), dependencies, outcome);
            }
            ++step;
        }
        if (flight.empty() && (!starting || step >= n))
            break;
        const std::size_t endedBefore = m_ended;
        if (m_running > 0 && m_client)
            m_client->RunFor([&] { return m_ended != endedBefore; }, std::chrono::milliseconds(15));
        m_frame.observer.PumpEvents();
    }
    return outcome;
}

} // namespace tandrel::sync
