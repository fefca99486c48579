#pragma once

#include "gui/EventPump.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace tandrel::gui {

// Makes every event pass of a scan, copy or delete really run, so that a
// scripted click lands at a known entry or row; puts the interval back after.
struct ImmediateEvents {
    ImmediateEvents() : m_old(EventPump::Interval()) { EventPump::SetInterval(std::chrono::microseconds(0)); }
    ~ImmediateEvents() { EventPump::SetInterval(m_old); }
    ImmediateEvents(const ImmediateEvents&) = delete;
    ImmediateEvents& operator=(const ImmediateEvents&) = delete;
    std::chrono::microseconds m_old;
};

// Runs `step` at every pass of events while an operation works: tests look
// at the windows or press a button at a known point.
class DuringRun {
public:
    explicit DuringRun(std::function<void()> step)
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, step);
        m_timer.start();
    }

private:
    QTimer m_timer;
};

} // namespace tandrel::gui
