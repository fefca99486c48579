#include "sync/RowSchedule.h"

#include <algorithm>
#include <utility>

namespace tandrel::sync {

RowSchedule::RowSchedule(std::vector<Row> rows, Setup setup)
    : m_rows(std::move(rows)), m_setup(std::move(setup)), m_dependencies(m_setup.order),
      m_window(kLookAheadPerWorker * std::max<std::size_t>(m_setup.workers, 1))
{
    m_setup.workers = std::max<std::size_t>(m_setup.workers, 1);
}

std::size_t RowSchedule::RowAt(std::size_t step) const
{
    return m_setup.order == Order::TopDown ? step : m_rows.size() - 1 - step;
}

std::string_view RowSchedule::FolderAt(std::size_t step) const
{
    if (step >= m_rows.size())
        return {};
    const std::string_view path = m_rows[RowAt(step)].relativePath;
    std::size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1]))
        --cut;
    return cut == 0 ? std::string_view() : path.substr(0, cut - 1);
}

// Whether a row of another folder than that of the row at `from` lies within
// `reach` rows: rows of one large folder are not held back in vain (and not
// started far ahead of those done). Rows are taken in order, so each is
// looked at once.
bool RowSchedule::OtherFolderWithin(std::size_t from, std::size_t reach)
{
    if (from >= m_sameFolderEnd) {
        m_sameFolderEnd = from + 1;
        m_otherFolderAtEnd = false;
    }
    const std::string_view folder = FolderAt(from);
    while (!m_otherFolderAtEnd && m_sameFolderEnd < std::min(m_rows.size(), from + reach)) {
        if (FolderAt(m_sameFolderEnd) != folder)
            m_otherFolderAtEnd = true;
        else
            ++m_sameFolderEnd;
    }
    return m_otherFolderAtEnd && m_sameFolderEnd < from + reach;
}

bool RowSchedule::WorkersFree() const
{
    return !m_retryAlone && m_unfinished < m_setup.workers;
}

// A row that failed for lack of space while other rows took space beside it
// may fit once they are done: it is tried again alone.
bool RowSchedule::WantsRetryAlone(const Job& job) const
{
    return !job.retried && job.besideOthers && job.end == End::ShortOfSpace;
}

RowSchedule::Job* RowSchedule::FindHandedOver(std::size_t row)
{
    for (Job& job : m_flight)
        if (job.row == row && job.state == State::HandedOver)
            return &job;
    return nullptr;
}

void RowSchedule::HandOver(Job& job)
{
    job.besideOthers = m_unfinished > 0;
    job.handOverNumber = m_handOvers++;
    job.state = State::HandedOver;
    m_dependencies.HandedOver(job.waitsFor);
    ++m_unfinished;
}

void RowSchedule::LeaveJob(Job& job)
{
    m_dependencies.Finished(job.waitsFor, false);
    job.state = State::Left;
}

// The check mark is read again as the row is handed over: an uncheck since
// it was taken counts as for a row not reached.
bool RowSchedule::TryHandOver(Job& job, bool spread, Step& step)
{
    if (!m_setup.checked(job.row)) {
        LeaveJob(job);
        step = {Action::Leave, job.row};
        return true;
    }
    if (m_dependencies.MustWait(job.waitsFor, spread && job.spread))
        return false;
    HandOver(job);
    step = {Action::HandOver, job.row};
    return true;
}

// Rows at the front of the flight, in the run's order: reported once ended,
// left as they were when the run stopped before their turn.
bool RowSchedule::NextAtFront(Step& step)
{
    while (!m_flight.empty()) {
        Job& front = m_flight.front();
        if (front.state == State::Left) {
            m_flight.pop_front();
            continue;
        }
        if (front.state == State::Held) {
            if (m_starting)
                return false; // handed over below, now that nothing before it is left
            LeaveJob(front);
            step = {Action::Leave, front.row};
            m_flight.pop_front();
            return true;
        }
        if (front.state == State::HandedOver)
            return false;
        if (m_starting && WantsRetryAlone(front)) {
            m_retryAlone = true;
            if (m_unfinished > 0)
                return false; // the others end first
            front.retried = true;
            front.waitsFor = m_dependencies.Taken(m_rows[front.row].relativePath, m_rows[front.row].isFolder);
            HandOver(front);
            step = {Action::HandOver, front.row};
            return true;
        }
        m_retryAlone = false;
        const bool stops =
            front.end == End::Abandoned || (!m_setup.ignoreFailures && front.end != End::Succeeded);
        if (stops)
            m_starting = false;
        step = {Action::Report, front.row};
        m_flight.pop_front();
        return true;
    }
    return false;
}

// A row that must wait is held back and the rows after it go on starting, so
// that a folder waiting for its content (or content for its folder) does not
// stall the run at every folder. Held rows go first; rows are spread over
// folders while the look-ahead has others, and fill any free worker when it
// has none.
bool RowSchedule::NextHeld(bool spread, Step& step)
{
    for (Job& job : m_flight) {
        if (!m_starting || !WorkersFree())
            return false;
        if (job.state == State::Held && TryHandOver(job, spread, step))
            return true;
    }
    return false;
}

bool RowSchedule::NextTake(Step& step)
{
    while (m_starting && m_step < m_rows.size() && m_flight.size() < m_window && WorkersFree()) {
        const std::size_t row = RowAt(m_step);
        if (!m_turnGiven) {
            if (!RunGoesOn())
                return false;
            m_turnGiven = true;
            step = {Action::Turn, row};
            return true;
        }
        m_turnGiven = false;
        if (m_setup.checked(row)) {
            Job job;
            job.row = row;
            job.waitsFor = m_dependencies.Taken(m_rows[row].relativePath, m_rows[row].isFolder);
            m_flight.push_back(std::move(job));
            m_flight.back().spread = OtherFolderWithin(m_step, m_window - m_flight.size() + 1);
            m_pendingHandOver = true;
            ++m_step;
            step = {Action::Take, row};
            return true;
        }
        ++m_step;
    }
    return false;
}

bool RowSchedule::RunGoesOn()
{
    if (m_starting && !m_setup.running()) {
        m_starting = false;
        m_stoppedByRunFlag = true;
    }
    return m_starting;
}

// The run flag is read before a row's turn is given and when Next() is
// called again after a wait, never between a turn and its row's start: the
// row whose turn has come is worked on.
RowSchedule::Step RowSchedule::Next()
{
    Step step;
    if (m_pendingHandOver) {
        m_pendingHandOver = false;
        if (TryHandOver(m_flight.back(), true, step))
            return step;
    }
    if (NextAtFront(step))
        return step;
    if (!m_turnGiven && RunGoesOn()) {
        if (m_heldToLook && NextHeld(true, step))
            return step;
        m_heldToLook = false;
    }
    if (m_starting && (NextTake(step) || NextHeld(false, step)))
        return step;
    if (!m_starting && m_unfinished == 0 && !m_flight.empty())
        return Next(); // rows held back are left as they were
    if (m_flight.empty() && (!m_starting || m_step >= m_rows.size()))
        return {Action::Finished, 0};
    return {Action::Wait, 0};
}

void RowSchedule::Done(std::size_t row, End end)
{
    Job* job = FindHandedOver(row);
    if (!job)
        return;
    job->end = end;
    job->besideOthers = job->besideOthers || m_handOvers != job->handOverNumber + 1;
    job->state = State::Ended;
    m_dependencies.Finished(job->waitsFor, true);
    --m_unfinished;
    m_heldToLook = true;
}

void RowSchedule::Stop()
{
    m_starting = false;
}

} // namespace tandrel::sync
