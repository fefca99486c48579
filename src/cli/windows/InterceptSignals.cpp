#include "cli/Interrupts.h"

#include <windows.h>

namespace tandrel::cli {

namespace {

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        ProcessInterrupts().Note();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system ends the process as soon as this returns, or when its
        // timeout runs out. Abandon the file in hand now and keep this
        // thread waiting, so that the run can remove its temporary file and
        // end on its own in the time left.
        ProcessInterrupts().Note();
        ProcessInterrupts().Note();
        ::Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void InterceptSignals()
{
    ProcessInterrupts(); // constructed before any handler can run
    // A program started with Ctrl-C turned off (a new process group) keeps it
    // off: the system then passes no CTRL_C_EVENT to the handler.
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

} // namespace tandrel::cli
