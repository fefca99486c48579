#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// Faults that tests lay on the file operations, to see how a full disk or a
// failing flush is met. Only the tests set them; the copy and the flush read
// them.
namespace tandrel::platform {

// Writes into copy targets fail with `error` once `afterBytes` bytes of the
// file have been written (as a full disk would).
struct WriteFault {
    std::int64_t afterBytes = 0;
    int error = 0;
};
void SetWriteFaultForTesting(std::optional<WriteFault> fault);

// Every flush of WrittenFileSystems takes `delay` longer (as on a slow disk)
// and, when `error` is not 0, fails with it.
struct FlushFault {
    int error = 0;
    std::chrono::milliseconds delay{0};
};
void SetFlushFaultForTesting(std::optional<FlushFault> fault);

// The faults set above, as the copy and the flush see them. The flush's
// waits the fault's delay and gives its error, or 0 when the real flush is
// to run.
const std::optional<WriteFault>& WriteFaultForTesting();
int FlushFaultErrorForTesting();

} // namespace tandrel::platform
