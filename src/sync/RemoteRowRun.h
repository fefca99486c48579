#pragma once

#include "platform/remote/SftpClient.h"
#include "sync/RowRun.h"
#include "sync/RowSchedule.h"

#include <cstddef>
#include <functional>

namespace tandrel::sync {

// The frame of a copy or delete whose written side is remote: each row is a
// chain of requests, and many chains run at once on one connection (up to
// the client's window), all on the calling thread, which lets events run
// between replies. The counting pass, the row marks, failure handling and
// cancel are RowRun's, and the order of the rows is the same RowSchedule's
// as for a local run (folders made first on a copy, removed last on a
// delete, rows reported in list order); a row counts as done only once its
// chain has ended, which is when the server has confirmed its last step.
class RemoteRowRun {
public:
    // Starts a row's chain; `done` is called once, on this thread, when it ends.
    using Done = std::function<void(platform::FileResult result)>;
    using Start = std::function<void(RowTask& task, Done done)>;

    // `client` is null when there is no connection: the chains then end at
    // once, each with the reason.
    RemoteRowRun(RowRun& frame, platform::remote::SftpClient* client, std::size_t window, Start start)
        : m_frame(frame), m_client(client), m_window(window > 0 ? window : 1), m_start(std::move(start))
    {
    }

    SyncOutcome Run(Order order);

    // Set once a file's copy was abandoned on request: every file in flight
    // is abandoned too.
    bool Abandoned() const { return m_abandon; }
    // The observer's word between two steps of a file, asked on this thread.
    bool FileStep(std::uint64_t done, std::uint64_t size);

private:
    void CountCheckedRows(SyncOutcome& outcome);
    // Runs the chains until one ends or a short while has passed.
    void AwaitChains();

    RowRun& m_frame;
    platform::remote::SftpClient* m_client;
    std::size_t m_window;
    Start m_start;
    RowSchedule* m_schedule = nullptr; // while Run runs
    std::size_t m_running = 0;
    std::size_t m_ended = 0; // chains ended so far
    bool m_abandon = false;
};

} // namespace tandrel::sync
