#include "platform/FileFaults.h"

#include <thread>

namespace tandrel::platform {

namespace {

std::optional<WriteFault> g_writeFault;
std::optional<FlushFault> g_flushFault;

} // namespace

void SetWriteFaultForTesting(std::optional<WriteFault> fault)
{
    g_writeFault = fault;
}

void SetFlushFaultForTesting(std::optional<FlushFault> fault)
{
    g_flushFault = fault;
}

const std::optional<WriteFault>& WriteFaultForTesting()
{
    return g_writeFault;
}

int FlushFaultErrorForTesting()
{
    if (!g_flushFault)
        return 0;
    std::this_thread::sleep_for(g_flushFault->delay);
    return g_flushFault->error;
}

} // namespace tandrel::platform
