#include "desktop/Sound.h"

#include <cstring>
#include <string>

#include <windows.h>
#include <mmsystem.h>

namespace tandrel::desktop {

bool PlayWaveFromMemory(const unsigned char* data, std::size_t size)
{
    WaveImage wave;
    if (!ParseWave(data, size, wave))
        return false;
    // The sound system reads the image in place until the sound has ended.
    return PlaySoundW(reinterpret_cast<LPCWSTR>(data), nullptr, SND_MEMORY | SND_SYNC | SND_NODEFAULT) != FALSE;
}

namespace {

// The system sound that stands for a desktop theme's event.
const wchar_t* SystemAlias(const char* eventId)
{
    if (std::strcmp(eventId, "dialog-warning") == 0)
        return L"SystemExclamation";
    if (std::strcmp(eventId, "dialog-error") == 0)
        return L"SystemHand";
    if (std::strcmp(eventId, "dialog-information") == 0)
        return L"SystemAsterisk";
    if (std::strcmp(eventId, "dialog-question") == 0)
        return L"SystemQuestion";
    return nullptr;
}

} // namespace

void PlayThemeSound(const char* eventId)
{
    if (eventId == nullptr)
        return;
    if (const wchar_t* alias = SystemAlias(eventId))
        PlaySoundW(alias, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
}

} // namespace tandrel::desktop
