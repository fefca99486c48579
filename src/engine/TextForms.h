#pragma once

#include <cstdint>
#include <string>

namespace tandrel::engine {

// Size as plain decimal digits, no grouping; a folder shows a single space.
std::string SizeText(std::int64_t bytes);
inline constexpr const char* kFolderSizeText = " ";

// The offset of local time from UTC, in seconds, in force at `now` (a run
// takes it once and uses it for every time it shows or compares).
std::int64_t LocalOffsetNow();

// a / b rounded towards minus infinity; `b` > 0.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return a % b < 0 ? q - 1 : q;
}

// Calendar fields of a time shifted by a fixed offset; false when the
// shifted time lies beyond a million years or so either way.
struct LocalFields {
    std::int64_t year = 1970;
    int month = 1; // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
bool ToLocalFields(std::int64_t epochSeconds, std::int64_t offsetSeconds, LocalFields& out);

// "mmm/DD/YYYY hh:mm:ss": the locale's month abbreviation (LC_TIME), two-digit
// day, four-digit year, 24-hour clock, whole seconds.
std::string TimeText(std::int64_t epochSeconds, std::int64_t offsetSeconds);

} // namespace tandrel::engine
