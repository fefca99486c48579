#pragma once

#include <cstdint>

namespace tandrel::platform {

// Seconds that local time is ahead of UTC now. The offset in force now is
// applied to every file time, summer or winter, so that a pair of times
// compares the same whatever the season of either.
std::int64_t LocalOffsetSeconds();

} // namespace tandrel::platform
