#include "platform/OrderedWorkers.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace tandrel::platform {

bool OrderedWorkers::Job::Ask(const std::function<bool()>& question)
{
    if (std::this_thread::get_id() == m_pool.m_caller)
        return !StopRequested() && question();
    return m_pool.AskFromWorker(m_number, question);
}

bool OrderedWorkers::Job::StopRequested() const
{
    const std::lock_guard lock(m_pool.m_mutex);
    return m_pool.m_stop;
}

OrderedWorkers::OrderedWorkers(std::size_t threads) : m_caller(std::this_thread::get_id())
{
    try {
        for (std::size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { WorkerLoop(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked for: the works share those there are,
        // or run on the calling thread when there are none.
    }
}

OrderedWorkers::~OrderedWorkers()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_closing = true;
        m_queue.clear();
    }
    m_wakeWorkers.notify_all();
    m_answered.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

std::size_t OrderedWorkers::Submit(Work work)
{
    std::size_t number = 0;
    {
        const std::lock_guard lock(m_mutex);
        number = m_firstSlot + m_slots.size();
        m_slots.push_back(Slot{std::move(work)});
        m_queue.push_back(number);
    }
    m_wakeWorkers.notify_one();
    return number;
}

void OrderedWorkers::Run(std::size_t number)
{
    Work work = std::move(m_slots[number - m_firstSlot].work);
    m_slots[number - m_firstSlot].state = State::Running;
    m_mutex.unlock();
    Job job(*this, number);
    work(job);
    m_mutex.lock();
    m_slots[number - m_firstSlot].state = State::Ended;
    m_ended.push_back(number);
    ++m_signals;
}

void OrderedWorkers::WorkerLoop()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wakeWorkers.wait(lock, [this] { return m_closing || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        const std::size_t number = m_queue.front();
        m_queue.pop_front();
        Run(number);
        m_wakeCaller.notify_one();
    }
}

void OrderedWorkers::Wait(std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    if (m_threads.empty()) {
        if (!m_queue.empty()) {
            const std::size_t number = m_queue.front();
            m_queue.pop_front();
            Run(number);
        }
        m_signalsSeen = m_signals;
        return;
    }
    m_wakeCaller.wait_for(lock, limit, [this] { return m_signals != m_signalsSeen; });
    m_signalsSeen = m_signals;
}

std::optional<std::size_t> OrderedWorkers::NextInOrder()
{
    const std::lock_guard lock(m_mutex);
    m_nextInOrder = std::max(m_nextInOrder, m_firstSlot); // Ended() may have collected those before
    while (m_nextInOrder < m_firstSlot + m_slots.size() &&
           m_slots[m_nextInOrder - m_firstSlot].state == State::Collected)
        ++m_nextInOrder;
    if (m_nextInOrder >= m_firstSlot + m_slots.size() || m_slots[m_nextInOrder - m_firstSlot].state != State::Ended)
        return std::nullopt;
    m_slots[m_nextInOrder - m_firstSlot].state = State::Collected;
    const std::size_t number = m_nextInOrder++;
    // Slots collected at the front are not needed any more.
    while (!m_slots.empty() && m_slots.front().state == State::Collected) {
        m_slots.pop_front();
        ++m_firstSlot;
    }
    return number;
}

std::vector<std::size_t> OrderedWorkers::Ended()
{
    const std::lock_guard lock(m_mutex);
    std::vector<std::size_t> ended;
    std::set<std::size_t> sorted(m_ended.begin(), m_ended.end());
    m_ended.clear();
    for (const std::size_t number : sorted) {
        Slot& slot = m_slots[number - m_firstSlot];
        if (slot.state == State::Ended) {
            slot.state = State::Collected;
            ended.push_back(number);
        }
    }
    while (!m_slots.empty() && m_slots.front().state == State::Collected) {
        m_slots.pop_front();
        ++m_firstSlot;
    }
    return ended;
}

bool OrderedWorkers::AskFromWorker(std::size_t number, const std::function<bool()>& question)
{
    std::unique_lock lock(m_mutex);
    if (m_stop)
        return false;
    m_slots[number - m_firstSlot].question = &question;
    m_asking.insert(number);
    ++m_signals;
    m_wakeCaller.notify_one();
    m_answered.wait(lock, [&] { return m_stop || m_slots[number - m_firstSlot].question == nullptr; });
    if (m_slots[number - m_firstSlot].question != nullptr) { // the pool closed first
        m_slots[number - m_firstSlot].question = nullptr;
        m_asking.erase(number);
        return false;
    }
    return m_slots[number - m_firstSlot].answer;
}

void OrderedWorkers::AnswerQuestions()
{
    std::unique_lock lock(m_mutex);
    const std::set<std::size_t> asking = m_asking;
    for (const std::size_t number : asking) {
        const std::function<bool()>* question = m_slots[number - m_firstSlot].question;
        lock.unlock();
        const bool answer = (*question)();
        lock.lock();
        m_slots[number - m_firstSlot].answer = answer;
        m_slots[number - m_firstSlot].question = nullptr;
        m_asking.erase(number);
    }
    lock.unlock();
    m_answered.notify_all();
}

void OrderedWorkers::RequestStop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_answered.notify_all();
}

} // namespace tandrel::platform
