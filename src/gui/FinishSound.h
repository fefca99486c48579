#pragma once

#include "AppState.h"

namespace tandrel::gui {

// The program's own finish sound, played to its end, when PlaySound is on.
// Silent when the option is off, the sound is missing or there is no device.
void PlayFinishSound(const AppState& app);

} // namespace tandrel::gui
