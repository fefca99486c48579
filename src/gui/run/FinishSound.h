#pragma once

#include "gui/app/AppState.h"

#include <cstddef>
#include <functional>

namespace tandrel::gui {

// The program's own finish sound, played to its end, when PlaySound is on.
// Silent when the option is off, the program is ending (its main window has
// closed), the sound is missing or there is no device.
void PlayFinishSound(const AppState& app);

// Tests put a recorder in the place of the sound device; an empty function
// gives the device back.
using WavePlayer = std::function<bool(const unsigned char* data, std::size_t size)>;
void SetWavePlayerForTesting(WavePlayer player);

} // namespace tandrel::gui
