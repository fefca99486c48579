#include "desktop/Sound.h"

#include <cstring>

namespace tandrel::desktop {

namespace {

std::uint16_t U16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t U32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool IsId(const unsigned char* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The tail of the PCM sub-format identifier of an extensible format chunk.
constexpr unsigned char kPcmGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

bool ParseFormat(const unsigned char* body, std::uint32_t size, WaveImage& out)
{
    if (size < 16)
        return false;
    const std::uint16_t tag = U16(body);
    const std::uint16_t channels = U16(body + 2);
    const std::uint32_t rate = U32(body + 4);
    const std::uint32_t byteRate = U32(body + 8);
    const std::uint16_t blockAlign = U16(body + 12);
    const std::uint16_t bits = U16(body + 14);

    if (tag == kFormatExtensible) {
        if (size < 40 || U16(body + 16) < 22)
            return false;
        const std::uint16_t validBits = U16(body + 18);
        if (validBits == 0 || validBits > bits)
            return false;
        if (U16(body + 24) != kFormatPcm || std::memcmp(body + 26, kPcmGuidTail, sizeof kPcmGuidTail) != 0)
            return false;
    } else if (tag != kFormatPcm) {
        return false;
    }
    if (channels < 1 || channels > 8)
        return false;
    if (rate < 1000 || rate > 384000)
        return false;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    if (blockAlign != channels * (bits / 8))
        return false;
    if (byteRate != rate * blockAlign)
        return false;
    out.channels = channels;
    out.sampleRate = rate;
    out.bitsPerSample = bits;
    out.blockAlign = blockAlign;
    return true;
}

} // namespace

bool ParseWave(const unsigned char* data, std::size_t size, WaveImage& out)
{
    out = WaveImage{};
    if (data == nullptr || size < 12)
        return false;
    if (!IsId(data, "RIFF") || !IsId(data + 8, "WAVE"))
        return false;
    const std::uint32_t riffSize = U32(data + 4);
    if (riffSize < 4 || riffSize > size - 8)
        return false;
    const std::size_t end = 8 + static_cast<std::size_t>(riffSize);

    WaveImage image;
    bool haveFormat = false;
    const unsigned char* samples = nullptr;
    std::size_t sampleBytes = 0;

    std::size_t pos = 12;
    while (pos < end) {
        if (end - pos < 8)
            return false;
        const unsigned char* header = data + pos;
        const std::uint32_t chunkSize = U32(header + 4);
        const std::size_t body = pos + 8;
        if (chunkSize > end - body)
            return false;
        if (IsId(header, "fmt ")) {
            if (haveFormat || !ParseFormat(data + body, chunkSize, image))
                return false;
            haveFormat = true;
        } else if (IsId(header, "data")) {
            if (samples != nullptr)
                return false;
            samples = data + body;
            sampleBytes = chunkSize;
        }
        // Chunks are padded to an even length; a missing pad byte after the
        // last chunk is tolerated.
        std::size_t next = body + chunkSize;
        if ((chunkSize & 1U) != 0 && next < end)
            ++next;
        pos = next;
    }
    if (!haveFormat || samples == nullptr)
        return false;
    if (sampleBytes == 0 || sampleBytes % image.blockAlign != 0)
        return false;
    image.samples = samples;
    image.frameCount = sampleBytes / image.blockAlign;
    out = image;
    return true;
}

} // namespace tandrel::desktop
