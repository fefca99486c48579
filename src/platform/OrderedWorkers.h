#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace tandrel::platform {

// A small pool of worker threads for works handed in by one calling thread,
// which keeps everything that is not the works' own: the works are numbered
// in the order they are handed in, their ends are collected on the calling
// thread (in that order), a work may ask the calling thread a question and
// wait for its answer, and the calling thread waits for either a bounded
// time, so that it can let its own events run in between. With no threads
// the works run on the calling thread, one by one, as it waits.
class OrderedWorkers {
public:
    // What a work is given: its way to ask the calling thread, and whether
    // the pool asks it to give up.
    class Job {
    public:
        // Runs `question` on the calling thread (at its next AnswerQuestions)
        // and returns the answer; false, unasked, once the pool is closing.
        bool Ask(const std::function<bool()>& question);
        bool StopRequested() const;

    private:
        friend class OrderedWorkers;
        Job(OrderedWorkers& pool, std::size_t number) : m_pool(pool), m_number(number) {}
        OrderedWorkers& m_pool;
        std::size_t m_number;
    };
    using Work = std::function<void(Job&)>;

    // As many threads as the system gives of `threads`; none when 0.
    explicit OrderedWorkers(std::size_t threads);
    // Works not started are dropped; those in hand are asked to stop and waited for.
    ~OrderedWorkers();
    OrderedWorkers(const OrderedWorkers&) = delete;
    OrderedWorkers& operator=(const OrderedWorkers&) = delete;

    std::size_t Threads() const { return m_threads.size(); }

    // The work's number: 0 for the first handed in, then 1, 2 ...
    std::size_t Submit(Work work);

    // Returns once a work has ended or asks a question since the last call,
    // or after `limit`. With no threads it runs the oldest waiting work instead.
    void Wait(std::chrono::milliseconds limit);

    // The oldest work handed in, once it has ended (results in submission order).
    std::optional<std::size_t> NextInOrder();
    // Every work ended and not yet collected, in submission order among themselves.
    std::vector<std::size_t> Ended();

    // Answers the questions waiting, in submission order of their works.
    void AnswerQuestions();

    // Works still to start are dropped, and StopRequested() turns true.
    void RequestStop();

private:
    enum class State { Queued, Running, Ended, Collected };
    struct Slot {
        Work work;
        State state = State::Queued;
        const std::function<bool()>* question = nullptr; // set while its work waits for an answer
        bool answer = false;
    };

    void WorkerLoop();
    void Run(std::size_t number);
    bool AskFromWorker(std::size_t number, const std::function<bool()>& question);

    std::mutex m_mutex;
    std::condition_variable m_wakeWorkers;
    std::condition_variable m_wakeCaller;
    std::condition_variable m_answered;
    std::deque<Slot> m_slots;  // by number, from m_firstSlot on
    std::size_t m_firstSlot = 0;
    std::deque<std::size_t> m_queue;
    std::vector<std::size_t> m_ended;
    std::set<std::size_t> m_asking;
    std::size_t m_nextInOrder = 0;
    std::size_t m_signals = 0; // ends and questions, to wake the calling thread
    std::size_t m_signalsSeen = 0;
    bool m_stop = false;
    bool m_closing = false;
    std::thread::id m_caller;
    std::vector<std::thread> m_threads;
};

} // namespace tandrel::platform
