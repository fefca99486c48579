#pragma once

#include "gui/app/AppSetup.h"
#include "gui/run/ComparisonRun.h"
#include "gui/run/EventPump.h"
#include "gui/run/FinishSound.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

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

// Records the sounds that end a run instead of playing them: the desktop's
// sound at the end of a comparison (by its event name) and the program's
// finish sound after a copy or delete (counted).
class RecordedSounds {
public:
    RecordedSounds() : m_old(SetThemeSoundPlayer(&Record))
    {
        Themed().clear();
        SetWavePlayerForTesting([this](const unsigned char*, std::size_t) {
            ++m_finishSounds;
            return true;
        });
    }
    ~RecordedSounds()
    {
        SetThemeSoundPlayer(m_old);
        SetWavePlayerForTesting({});
    }
    RecordedSounds(const RecordedSounds&) = delete;
    RecordedSounds& operator=(const RecordedSounds&) = delete;

    static std::vector<std::string>& Themed()
    {
        static std::vector<std::string> sounds;
        return sounds;
    }
    int FinishSounds() const { return m_finishSounds; }

private:
    static void Record(const char* eventId) { Themed().emplace_back(eventId); }
    ThemeSoundPlayer m_old;
    int m_finishSounds = 0;
};

// The program's event loop as main() runs it, with a guard: a loop still
// running after `guardMs` is ended with the code -1, so that a test of the
// program's end fails instead of hanging.
inline int EventLoopWithGuard(AppState& state, int guardMs = 5000)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(guardMs);
    return RunEventLoop(state);
}

} // namespace tandrel::gui
