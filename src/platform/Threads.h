#pragma once

namespace tandrel::platform {

// Gives the calling thread a smaller share of the processor than threads of
// normal priority, such as the one the window lives on, when they compete.
// Nothing happens where the system refuses.
void LowerThreadPriority();

} // namespace tandrel::platform
