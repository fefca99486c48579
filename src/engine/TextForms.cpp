#include "engine/TextForms.h"

#include "platform/LocalTime.h"

#include <cstdio>
#include <ctime>

namespace tandrel::engine {

std::string SizeText(std::int64_t bytes)
{
    return std::to_string(bytes);
}

std::int64_t LocalOffsetNow()
{
    return platform::LocalOffsetSeconds();
}

namespace {

// Days since 1970-01-01 to a proleptic Gregorian date (valid far beyond any
// file time), so that times before 1970 and after 2038 need no libc support.
void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d)
{
    z += 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    if (m <= 2)
        ++y;
}

} // namespace

bool ToLocalFields(std::int64_t epochSeconds, std::int64_t offsetSeconds, LocalFields& out)
{
    // Keep well inside the range where the sums below cannot overflow.
    constexpr std::int64_t kLimit = std::int64_t{1} << 50;
    std::int64_t local = 0;
    if (__builtin_add_overflow(epochSeconds, offsetSeconds, &local) || local > kLimit || local < -kLimit)
        return false;
    const std::int64_t days = FloorDiv(local, 86400);
    const std::int64_t secondOfDay = local - days * 86400;
    CivilFromDays(days, out.year, out.month, out.day);
    out.hour = static_cast<int>(secondOfDay / 3600);
    out.minute = static_cast<int>(secondOfDay / 60 % 60);
    out.second = static_cast<int>(secondOfDay % 60);
    return true;
}

std::string TimeText(std::int64_t epochSeconds, std::int64_t offsetSeconds)
{
    LocalFields f;
    if (!ToLocalFields(epochSeconds, offsetSeconds, f))
        return {};
    // The month's abbreviation in the user's LC_TIME.
    struct tm tm {};
    tm.tm_mon = f.month - 1;
    tm.tm_mday = 1;
    tm.tm_year = 100;
    char month[64];
    if (std::strftime(month, sizeof month, "%b", &tm) == 0)
        month[0] = '\0';
    char text[160];
    std::snprintf(text, sizeof text, "%s/%02d/%04lld %02d:%02d:%02d", month, f.day,
                  static_cast<long long>(f.year), f.hour, f.minute, f.second);
    return text;
}

} // namespace tandrel::engine
