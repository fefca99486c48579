#include "gui/run/EventPump.h"

#include <QCoreApplication>

namespace tandrel::gui {

namespace {

std::chrono::microseconds g_interval{15000};
} // namespace

EventPump::EventPump(std::uint32_t callsPerClockLook)
    : m_last(std::chrono::steady_clock::now()), m_interval(g_interval),
      m_callsPerClockLook(callsPerClockLook == 0 ? 1 : callsPerClockLook)
{
}

void EventPump::Pass()
{
    if (m_interval.count() > 0) {
        if (++m_calls < m_callsPerClockLook)
            return;
        m_calls = 0;
        if (std::chrono::steady_clock::now() - m_last < m_interval)
            return;
    }
    PassNow();
}

void EventPump::PassNow()
{
    QCoreApplication::processEvents();
    m_last = std::chrono::steady_clock::now();
}

void EventPump::SetInterval(std::chrono::microseconds interval) { g_interval = interval; }

std::chrono::microseconds EventPump::Interval() { return g_interval; }

} // namespace tandrel::gui
