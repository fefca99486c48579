#pragma once

#include "settings/CompareOptions.h"

#include <algorithm>
#include <cstdint>

namespace tandrel::engine {

// The units of IgnoreType (seconds, minutes, hours, days, months, years) in
// seconds; a month and a year at their longest. Unknown units count in seconds.
inline constexpr std::int64_t kTimeUnitSeconds[] = {1, 60, 3600, 86400, 31 * 86400, 366 * 86400};

inline std::int64_t TimeUnitSeconds(int unit)
{
    return unit >= 0 && unit < 6 ? kTimeUnitSeconds[unit] : 1;
}

// A time at least this many seconds earlier than another never counts as
// equal to it under `options`.
inline std::int64_t BeyondTolerance(const settings::CompareOptions& options)
{
    return (std::max<std::int64_t>(options.IgnoreTime, 0) + 2) * TimeUnitSeconds(options.IgnoreType);
}

} // namespace tandrel::engine
