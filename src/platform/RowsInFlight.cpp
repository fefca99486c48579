#include "platform/RowsInFlight.h"

#include "platform/NetworkTarget.h"

#include <algorithm>
#include <cstdlib>

namespace tandrel::platform {

namespace {

// Measured with bench/run_copy_bench.sh (20,000 small files onto sshfs, rows
// spread over folders): 8 rows 21.9 s, 16 rows 19.3 s, 32 rows 15.2 to 19.7 s.
constexpr std::size_t kNetworkRowsInFlight = 16;

} // namespace

// TANDREL_ROWS_IN_FLIGHT=N replaces the platform's choice for any target on
// every system (tests and trials use it to run rows in flight on a local
// disk). N is held to 1 to 64; a value that is no number counts as 1. Runs
// through the trash take one row at a time whatever it says.
std::size_t RowsInFlightFor(const std::string& targetRoot)
{
    if (const char* forced = std::getenv("TANDREL_ROWS_IN_FLIGHT")) {
        const long wanted = std::strtol(forced, nullptr, 10);
        return static_cast<std::size_t>(std::clamp(wanted, 1L, 64L));
    }
    return IsNetworkTarget(targetRoot) ? kNetworkRowsInFlight : 1;
}

} // namespace tandrel::platform
