#include "platform/RowsInFlight.h"

namespace tandrel::platform {

// The Windows file steps run one row at a time, whatever the target; the
// TANDREL_ROWS_IN_FLIGHT override of the other systems does nothing here.
std::size_t RowsInFlightFor(const std::string&)
{
    return 1;
}

} // namespace tandrel::platform
