#include "platform/LocalTime.h"

#include <ctime>

namespace tandrel::platform {

std::int64_t LocalOffsetSeconds()
{
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    if (!localtime_r(&now, &local))
        return 0;
    return static_cast<std::int64_t>(local.tm_gmtoff);
}

} // namespace tandrel::platform
