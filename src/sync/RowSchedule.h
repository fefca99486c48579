#pragma once

#include "sync/RowDependencies.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::sync {

// The order in which the rows of a copy or delete are worked on, with no
// threads and no disk of its own: the run asks Next() what to do, tells
// Done() how a row it handed over ended and Stop() when it must start no
// more rows. Rows are taken in the run's order (each row's check mark read as
// its turn comes) and reported in that order; between the two a row may be
// held back while it waits for its folder, or for a free place in a busy
// folder, and the rows after it go on (within a look-ahead of
// kLookAheadPerWorker rows a worker). With one worker this is simply one row
// after the other.
class RowSchedule {
public:
    // What the schedule knows of a row: its path and whether it is a folder.
    struct Row {
        std::string relativePath;
        bool isFolder = false;
    };

    enum class Action {
        Turn,     // `row`'s turn has come: its check mark is read at the next call
        Take,     // `row` is started: announced, marked, not yet handed over
        HandOver, // `row` goes to a worker now (again after a retry alone)
        Report,   // `row` has ended and is the next in the run's order: report it
        Leave,    // `row` was taken but will not be worked on: put it back as it was
        Wait,     // nothing to do until a row in hand ends (or a stop)
        Finished, // every row is reported or left: the run is over
    };
    struct Step {
        Action action = Action::Finished;
        std::size_t row = 0;
    };

    // How a handed-over row ended.
    enum class End {
        Succeeded,
        Failed,       // with a failure that stops the run unless failures are ignored
        ShortOfSpace, // a failure for lack of space: tried again alone if others took space beside it
        Abandoned,    // its file was abandoned on request: the run stops
    };

    struct Setup {
        Order order = Order::TopDown;
        std::size_t workers = 1;
        bool ignoreFailures = false;
        std::function<bool(std::size_t row)> checked; // read again as each row's turn comes
        std::function<bool()> running;                // false once the run flag is lowered
    };

    static constexpr std::size_t kLookAheadPerWorker = 16;

    // `rows` in list order (row k of the list is rows[k]).
    RowSchedule(std::vector<Row> rows, Setup setup);

    Step Next();
    void Done(std::size_t row, End end);
    // No row starts from now on; the rows handed over end and are reported.
    void Stop();

    // Whether the run stopped because its run flag was found lowered.
    bool StoppedByRunFlag() const { return m_stoppedByRunFlag; }

private:
    enum class State { Held, HandedOver, Ended, Left };
    struct Job {
        std::size_t row = 0;
        State state = State::Held;
        End end = End::Succeeded;
        RowDependencies::Row waitsFor;
        bool spread = false;         // rows of other folders were within the look-ahead when it was taken
        std::size_t handOverNumber = 0;
        bool besideOthers = false;   // other rows were worked on while it was
        bool retried = false;
    };

    std::size_t RowAt(std::size_t step) const;
    std::string_view FolderAt(std::size_t step) const;
    bool OtherFolderWithin(std::size_t from, std::size_t reach);
    bool WorkersFree() const;
    bool RunGoesOn();
    bool WantsRetryAlone(const Job& job) const;
    Job* FindHandedOver(std::size_t row);
    // Hands `job` over when nothing keeps it waiting; Leave when its check mark is gone.
    bool TryHandOver(Job& job, bool spread, Step& step);
    void HandOver(Job& job);
    void LeaveJob(Job& job);
    bool NextAtFront(Step& step);
    bool NextHeld(bool spread, Step& step);
    bool NextTake(Step& step);

    std::vector<Row> m_rows;
    Setup m_setup;
    RowDependencies m_dependencies;
    std::size_t m_window;
    std::deque<Job> m_flight; // taken and not yet reported, in the run's order
    std::size_t m_step = 0;   // the next step of the run to be taken
    bool m_turnGiven = false; // the row at m_step has had its Turn
    bool m_pendingHandOver = false; // the row just taken is handed over at the next call
    bool m_starting = true;
    bool m_stoppedByRunFlag = false;
    bool m_retryAlone = false;
    bool m_heldToLook = true; // a row ended since the held rows were last looked at
    std::size_t m_unfinished = 0;
    std::size_t m_handOvers = 0;
    // The rows from m_step up to m_sameFolderEnd are in one folder, and the
    // row there in another when m_otherFolderAtEnd.
    std::size_t m_sameFolderEnd = 0;
    bool m_otherFolderAtEnd = false;
};

} // namespace tandrel::sync
