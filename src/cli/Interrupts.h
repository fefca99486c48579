#pragma once

#include "engine/RunFlag.h"

#include <atomic>

namespace tandrel::cli {

// Counts interrupts: Ctrl-C (SIGINT) and SIGTERM, on Windows Ctrl-C,
// Ctrl-Break and the closing of the console. The first asks the run to stop
// after the row or entry in hand, the second to abandon the file being
// copied. Note() is what the handlers call: it only touches lock-free atomics.
class Interrupts {
public:
    void Note();
    bool Stopping() const { return m_count.load() >= 1; }
    bool Abandoning() const { return m_count.load() >= 2; }

    // The run flag of the work in hand, lowered by the first interrupt.
    engine::RunFlag& Flag() { return m_flag; }

    // Raises the flag for a new piece of work, unless an interrupt has
    // already come: a Ctrl-C that landed before the work began is never lost.
    bool Raise();

private:
    std::atomic<int> m_count{0};
    engine::RunFlag m_flag;
};

// The process's interrupts, fed by the handlers of InterceptSignals().
Interrupts& ProcessInterrupts();

// Routes SIGINT and SIGTERM to ProcessInterrupts(). A signal the program was
// started with ignored (a background job of a script) stays ignored. On
// Windows the console's control events go there: Ctrl-C and Ctrl-Break count
// once each; closing the console counts twice, since the process has only
// moments left. Ctrl-C turned off at the start stays off.
void InterceptSignals();

} // namespace tandrel::cli
