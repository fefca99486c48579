#include "platform/LocalTime.h"

#include <windows.h>

namespace tandrel::platform {

namespace {

std::int64_t Ticks(const FILETIME& time)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

} // namespace

std::int64_t LocalOffsetSeconds()
{
    FILETIME utc {};
    FILETIME local {};
    GetSystemTimeAsFileTime(&utc);
    if (!FileTimeToLocalFileTime(&utc, &local))
        return 0;
    // FILETIME counts 100-nanosecond ticks.
    return (Ticks(local) - Ticks(utc)) / 10'000'000;
}

} // namespace tandrel::platform
