#include "platform/DescriptorLimit.h"

namespace tandrel::platform {

// Handles on Windows have no per-process limit to raise.
void RaiseDescriptorLimit()
{
}

} // namespace tandrel::platform
