#include "desktop/Sound.h"

#include <alsa/asoundlib.h>
#include <canberra.h>

#include <cstdarg>
#include <cstring>
#include <mutex>

namespace tandrel::desktop {

namespace {

snd_pcm_format_t AlsaFormat(std::uint16_t bits)
{
    switch (bits) {
    case 8:
        return SND_PCM_FORMAT_U8;
    case 16:
        return SND_PCM_FORMAT_S16_LE;
    case 24:
        return SND_PCM_FORMAT_S24_3LE;
    default:
        return SND_PCM_FORMAT_S32_LE;
    }
}

// The sound library reports missing devices on standard error; the program
// stays silent about sound instead.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void QuietenAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

} // namespace

bool PlayWaveFromMemory(const unsigned char* data, std::size_t size)
{
    WaveImage wave;
    if (!ParseWave(data, size, wave))
        return false;

    QuietenAlsa();

    snd_pcm_t* pcm = nullptr;
    // Opened without blocking so that a busy device fails at once instead of
    // stalling the caller; playback itself then blocks until done.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return false;
    bool played = snd_pcm_nonblock(pcm, 0) == 0 &&
                  snd_pcm_set_params(pcm, AlsaFormat(wave.bitsPerSample), SND_PCM_ACCESS_RW_INTERLEAVED,
                                     wave.channels, wave.sampleRate, 1, 200000) == 0;
    const unsigned char* next = wave.samples;
    snd_pcm_uframes_t left = wave.frameCount;
    while (played && left > 0) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, next, left);
        if (written == -EAGAIN)
            continue;
        if (written < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0)
                played = false;
            continue;
        }
        next += static_cast<std::size_t>(written) * wave.blockAlign;
        left -= static_cast<snd_pcm_uframes_t>(written);
    }
    if (played)
        played = snd_pcm_drain(pcm) == 0;
    snd_pcm_close(pcm);
    return played;
}

void PlayThemeSound(const char* eventId)
{
    if (eventId == nullptr || *eventId == '\0')
        return;
    // One context for the program's life: dropping it would cut off the
    // sound it has just started.
    static std::mutex mutex;
    static ca_context* context = nullptr;
    static bool failed = false;
    std::lock_guard lock(mutex);
    QuietenAlsa(); // the theme's player may go through the same sound library
    if (context == nullptr && !failed) {
        if (ca_context_create(&context) != CA_SUCCESS) {
            context = nullptr;
            failed = true;
            return;
        }
        ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Tandrel", nullptr);
    }
    if (context != nullptr)
        ca_context_play(context, 0, CA_PROP_EVENT_ID, eventId, nullptr);
}

} // namespace tandrel::desktop
