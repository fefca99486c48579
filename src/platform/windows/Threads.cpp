#include "platform/Threads.h"

#include <windows.h>

namespace tandrel::platform {

void LowerThreadPriority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

} // namespace tandrel::platform
