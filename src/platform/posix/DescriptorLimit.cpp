#include "platform/DescriptorLimit.h"

#include <sys/resource.h>

namespace tandrel::platform {

void RaiseDescriptorLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    const rlim_t wanted = limit.rlim_max;
    limit.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0 && wanted == RLIM_INFINITY) {
        // An unlimited hard limit still ends at the kernel's own ceiling.
        limit.rlim_cur = 1 << 20;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace tandrel::platform
