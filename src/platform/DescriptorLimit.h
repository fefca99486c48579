#pragma once

namespace tandrel::platform {

// Lets the process hold as many open descriptors as the system allows it
// (the soft limit raised to the hard one), so that a walk of a deep or wide
// tree does not run short. Does nothing where there is no such limit.
void RaiseDescriptorLimit();

} // namespace tandrel::platform
