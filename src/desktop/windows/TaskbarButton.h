#pragma once

#include <cstdint>

namespace tandrel::desktop {

// The taskbar button of a top-level window (its HWND).
enum class TaskbarButtonState { Normal, Busy };

// Shows or takes away the button's moving progress bar (ITaskbarList3).
// False when the taskbar could not be reached or refused the window.
bool SetTaskbarButtonState(std::uintptr_t window, TaskbarButtonState state);

// Makes the button flash until the window comes to the front, or stops it.
bool FlashTaskbarButton(std::uintptr_t window, bool on);

} // namespace tandrel::desktop
