#pragma once

#include <cstddef>
#include <cstdint>

namespace tandrel::desktop {

// The playable part of a RIFF/WAVE image holding uncompressed PCM.
struct WaveImage {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0; // 8 (unsigned), 16, 24 or 32 (signed, little-endian)
    std::uint16_t blockAlign = 0;    // bytes per frame, all channels
    const unsigned char* samples = nullptr; // points into the parsed image
    std::size_t frameCount = 0;
};

// Checks every header field and length of the image; false for anything
// that is not a well-formed PCM wave with at least one frame.
bool ParseWave(const unsigned char* data, std::size_t size, WaveImage& out);

// Plays a wave image through the sound system's default device and returns
// when it has ended. False, without any message, when the data is not a
// playable wave or there is no device to play it on.
bool PlayWaveFromMemory(const unsigned char* data, std::size_t size);

// Starts the desktop sound theme's sound for an event such as
// "dialog-warning" and returns at once. Failures are silent.
void PlayThemeSound(const char* eventId);

} // namespace tandrel::desktop
