#include "cli/Interrupts.h"

#include <csignal>

namespace tandrel::cli {

namespace {

extern "C" void OnInterruptSignal(int)
{
    ProcessInterrupts().Note();
}

} // namespace

void InterceptSignals()
{
    ProcessInterrupts(); // constructed before any handler can run
    sigset_t unblock;
    sigemptyset(&unblock);
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = OnInterruptSignal;
        action.sa_flags = SA_RESTART; // a read or write in progress goes on rather than failing with EINTR
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
        sigaddset(&unblock, signal);
    }
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
}

} // namespace tandrel::cli
