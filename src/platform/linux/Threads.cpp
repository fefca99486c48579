#include "platform/Threads.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tandrel::platform {

void LowerThreadPriority()
{
    // Linux keeps a nice value per thread.
    const auto self = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, self);
    if (now == -1 && errno != 0)
        return;
    (void)::setpriority(PRIO_PROCESS, self, now + 5);
}

} // namespace tandrel::platform
