#pragma once

#include <atomic>

namespace tandrel::engine {

// "An operation has been requested or is running and should go on." A starter
// raises it, a cancel button (or a signal handler of the command line) lowers
// it, and a running scan, copy or delete tests it after the entry or row in hand.
class RunFlag {
public:
    bool IsSet() const { return m_value.load(std::memory_order_relaxed); }
    void Set(bool value) { m_value.store(value, std::memory_order_relaxed); }
    explicit operator bool() const { return IsSet(); }

private:
    std::atomic<bool> m_value{false};
};

} // namespace tandrel::engine
