#pragma once

#include <chrono>
#include <cstdint>

namespace tandrel::gui {

// Lets pending window events run during long work on the one user-interface
// thread. Pass() is called after every entry of a walk or every step of a
// file's copy; the events actually run at most once per interval, so that a
// walk over millions of entries is not slowed by empty event passes. The
// clock is looked at every `callsPerClockLook` calls: a few for cheap
// entries, every call for steps that may take long each. Copy and delete run
// the events with PassNow() before every row and, with rows in flight, from
// the loop that waits for them.
class EventPump {
public:
    explicit EventPump(std::uint32_t callsPerClockLook = 1);

    void Pass();
    void PassNow(); // events run whatever the interval

    // How often events run during long work. Tests set zero, so that every
    // Pass() runs the events and a scripted click lands on a known entry.
    static void SetInterval(std::chrono::microseconds interval);
    static std::chrono::microseconds Interval();

private:
    std::chrono::steady_clock::time_point m_last;
    std::chrono::microseconds m_interval;
    std::uint32_t m_callsPerClockLook;
    std::uint32_t m_calls = 0;
};

} // namespace tandrel::gui
