#include "desktop/Sound.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tandrel::desktop {
namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& b, std::uint16_t v)
{
    b.push_back(static_cast<unsigned char>(v & 0xFF));
    b.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>((v >> (8 * i)) & 0xFF));
}

void PutId(Bytes& b, const char* id)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<unsigned char>(id[i]));
}

void Append(Bytes& b, const Bytes& more)
{
    for (const unsigned char c : more)
        b.push_back(c);
}

struct Format {
    std::uint16_t tag = 1;
    std::uint16_t channels = 2;
    std::uint32_t rate = 22050;
    std::uint16_t bits = 16;
    int blockAlignDelta = 0;
    int byteRateDelta = 0;
};

Bytes FormatChunk(const Format& f)
{
    Bytes b;
    const auto block = static_cast<std::uint16_t>(f.channels * (f.bits / 8) + f.blockAlignDelta);
    PutId(b, "fmt ");
    Put32(b, 16);
    Put16(b, f.tag);
    Put16(b, f.channels);
    Put32(b, f.rate);
    Put32(b, static_cast<std::uint32_t>(f.rate * block + f.byteRateDelta));
    Put16(b, block);
    Put16(b, f.bits);
    return b;
}

Bytes Chunk(const char* id, const Bytes& body, bool pad = true)
{
    Bytes b;
    PutId(b, id);
    Put32(b, static_cast<std::uint32_t>(body.size()));
    Append(b, body);
    if (pad && body.size() % 2 != 0)
        b.push_back(0);
    return b;
}

Bytes Riff(const std::vector<Bytes>& chunks)
{
    Bytes body;
    PutId(body, "WAVE");
    for (const auto& c : chunks)
        Append(body, c);
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, static_cast<std::uint32_t>(body.size()));
    Append(b, body);
    return b;
}

Bytes Samples(std::size_t count)
{
    Bytes b;
    for (std::size_t i = 0; i < count; ++i)
        b.push_back(static_cast<unsigned char>(i * 37));
    return b;
}

Bytes SimpleWave(const Format& f = {}, std::size_t frames = 100)
{
    return Riff({FormatChunk(f), Chunk("data", Samples(frames * f.channels * (f.bits / 8)))});
}

bool Parses(const Bytes& b)
{
    WaveImage w;
    return ParseWave(b.data(), b.size(), w);
}

TEST(Sound, ParsesWellFormedWaves)
{
    const Bytes wave = SimpleWave();
    WaveImage w;
    ASSERT_TRUE(ParseWave(wave.data(), wave.size(), w));
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.sampleRate, 22050u);
    EXPECT_EQ(w.bitsPerSample, 16);
    EXPECT_EQ(w.blockAlign, 4);
    EXPECT_EQ(w.frameCount, 100u);
    EXPECT_EQ(w.samples, wave.data() + 44);

    // Other chunks, odd-sized and padded, before and after the samples.
    const Bytes withList = Riff({Chunk("LIST", Samples(7)), FormatChunk({}), Chunk("data", Samples(40)),
                                 Chunk("cue ", Samples(3), false)});
    ASSERT_TRUE(ParseWave(withList.data(), withList.size(), w));
    EXPECT_EQ(w.frameCount, 10u);
    EXPECT_EQ(w.samples, withList.data() + 12 + 16 + 24 + 8);

    for (const std::uint16_t bits : {8, 16, 24, 32}) {
        Format f;
        f.bits = bits;
        f.channels = 1;
        EXPECT_TRUE(Parses(SimpleWave(f, 3))) << bits;
    }

    // The extensible header with the PCM sub-format.
    Bytes ext;
    PutId(ext, "fmt ");
    Put32(ext, 40);
    Put16(ext, 0xFFFE);
    Put16(ext, 1);
    Put32(ext, 48000);
    Put32(ext, 96000);
    Put16(ext, 2);
    Put16(ext, 16);
    Put16(ext, 22);
    Put16(ext, 16);
    Put32(ext, 4);
    const unsigned char pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    Append(ext, Bytes(pcm, pcm + 16));
    EXPECT_TRUE(Parses(Riff({ext, Chunk("data", Samples(8))})));
    Bytes floatExt = ext;
    floatExt[8 + 24] = 3; // IEEE float sub-format
    EXPECT_FALSE(Parses(Riff({floatExt, Chunk("data", Samples(8))})));
}

TEST(Sound, RejectsMalformedWaves)
{
    WaveImage w;
    EXPECT_FALSE(ParseWave(nullptr, 0, w));
    EXPECT_FALSE(ParseWave(nullptr, 100, w));

    // Every truncation of a good image.
    const Bytes good = SimpleWave({}, 10);
    for (std::size_t size = 0; size < good.size(); ++size)
        EXPECT_FALSE(ParseWave(good.data(), size, w)) << size;

    const auto broken = [&](std::size_t at, unsigned char value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    EXPECT_FALSE(Parses(broken(0, 'X')));  // RIFF
    EXPECT_FALSE(Parses(broken(8, 'X')));  // WAVE
    EXPECT_FALSE(Parses(broken(12, 'X'))); // no fmt chunk
    EXPECT_FALSE(Parses(broken(36, 'X'))); // no data chunk
    EXPECT_FALSE(Parses(broken(4, 3)));    // RIFF length shorter than its chunks
    EXPECT_FALSE(Parses(broken(7, 0x7F))); // RIFF length beyond the data
    EXPECT_FALSE(Parses(broken(16, 8)));   // fmt chunk too short for its fields
    EXPECT_FALSE(Parses(broken(43, 0xFF))); // data length beyond the end

    Format f;
    f.tag = 3;
    EXPECT_FALSE(Parses(SimpleWave(f))) << "float samples";
    f = {};
    f.channels = 0;
    EXPECT_FALSE(Parses(SimpleWave(f))) << "no channels";
    f = {};
    f.channels = 9;
    EXPECT_FALSE(Parses(SimpleWave(f))) << "too many channels";
    f = {};
    f.rate = 0;
    EXPECT_FALSE(Parses(SimpleWave(f))) << "no rate";
    f = {};
    f.bits = 12;
    EXPECT_FALSE(Parses(SimpleWave(f))) << "12-bit samples";
    f = {};
    f.blockAlignDelta = 1;
    EXPECT_FALSE(Parses(SimpleWave(f))) << "frame size";
    f = {};
    f.byteRateDelta = 1;
    EXPECT_FALSE(Parses(SimpleWave(f))) << "byte rate";

    EXPECT_FALSE(Parses(SimpleWave({}, 0))) << "no frames";
    EXPECT_FALSE(Parses(Riff({FormatChunk({}), Chunk("data", Samples(7))}))) << "partial frame";
    EXPECT_FALSE(Parses(Riff({FormatChunk({}), FormatChunk({}), Chunk("data", Samples(8))}))) << "two fmt";
    EXPECT_FALSE(Parses(Riff({FormatChunk({}), Chunk("data", Samples(8)), Chunk("data", Samples(8))})));
    Bytes trailing = Riff({FormatChunk({}), Chunk("data", Samples(8))});
    PutId(trailing, "JUNK");
    trailing[4] = static_cast<unsigned char>(trailing[4] + 4); // a stub chunk header inside the RIFF
    EXPECT_FALSE(Parses(trailing));

    // A chunk length near 4 GiB must not wrap around.
    Bytes huge = Riff({Chunk("LIST", Samples(2)), FormatChunk({}), Chunk("data", Samples(8))});
    huge[16] = huge[17] = huge[18] = huge[19] = 0xFF;
    EXPECT_FALSE(Parses(huge));
}

TEST(Sound, RandomDamageNeverReadsOutsideTheImage)
{
    const Bytes good = Riff({Chunk("LIST", Samples(5)), FormatChunk({}), Chunk("data", Samples(64))});
    std::uint32_t x = 99;
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        Bytes b = good;
        const int flips = 1 + round % 4;
        for (int i = 0; i < flips; ++i) {
            x = x * 1664525u + 1013904223u;
            b[(x >> 8) % b.size()] = static_cast<unsigned char>(x >> 24);
        }
        x = x * 1664525u + 1013904223u;
        const std::size_t size = round % 3 == 0 ? (x >> 8) % (b.size() + 1) : b.size();
        WaveImage w;
        if (ParseWave(b.data(), size, w)) {
            ++accepted;
            ASSERT_GE(w.samples, b.data());
            ASSERT_LE(w.samples + w.frameCount * w.blockAlign, b.data() + size);
            ASSERT_GT(w.frameCount, 0u);
        }
    }
    EXPECT_GT(accepted, 0); // damage to sample bytes alone leaves a playable wave
}

Bytes FinishWave()
{
    const std::string path = std::string(TANDREL_SOURCE_DIR) + "/resources/finish.wav";
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Sound, TheFinishChimeIsAShortAudibleWave)
{
    const Bytes wave = FinishWave();
    WaveImage w;
    ASSERT_TRUE(ParseWave(wave.data(), wave.size(), w));
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.bitsPerSample, 16);
    const double seconds = static_cast<double>(w.frameCount) / w.sampleRate;
    EXPECT_GT(seconds, 0.2);
    EXPECT_LT(seconds, 1.0);
    int peak = 0;
    for (std::size_t i = 0; i < w.frameCount; ++i) {
        const auto v = static_cast<std::int16_t>(w.samples[2 * i] | (w.samples[2 * i + 1] << 8));
        peak = std::max(peak, std::abs(static_cast<int>(v)));
    }
    EXPECT_GT(peak, 8000);  // clearly audible
    EXPECT_LT(peak, 32000); // and not clipped
    const auto last = static_cast<std::int16_t>(w.samples[2 * w.frameCount - 2] | (w.samples[2 * w.frameCount - 1] << 8));
    EXPECT_LT(std::abs(static_cast<int>(last)), 100); // ends in silence, no click
}

// Runs body in a child whose sound library is configured by `alsaConfig`
// alone (by default: no device at all); returns the child's exit status and
// what it wrote to standard error.
int InChildWithAlsaConfig(const std::function<int()>& body, std::string& errorOutput,
                              const std::string& alsaConfig = "")
{
    test::TempTree tree;
    tree.WriteFile("empty.conf", alsaConfig);
    tree.WriteFile("stderr.txt", "");
    const std::string config = tree.Path("empty.conf");
    const std::string errors = tree.Path("stderr.txt");
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
        const int fd = ::open(errors.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(fd, STDERR_FILENO);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    errorOutput = tree.ReadFile("stderr.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(Sound, PlayingWithoutADeviceFailsQuietly)
{
    std::string errors;
    const Bytes wave = FinishWave();
    EXPECT_EQ(InChildWithAlsaConfig(
                  [&] {
                      const unsigned char junk[] = "RIFF????WAVEjunk";
                      if (PlayWaveFromMemory(junk, sizeof junk))
                          return 1;
                      if (PlayWaveFromMemory(nullptr, 0))
                          return 2;
                      return PlayWaveFromMemory(wave.data(), wave.size()) ? 3 : 0;
                  },
                  errors),
              0);
    EXPECT_EQ(errors, "");
}

TEST(Sound, PlaysToTheEnd)
{
    // A default device that discards what it is given: the whole image goes
    // through opening, format set-up, writing and draining.
    std::string errors;
    const Bytes wave = FinishWave();
    Format f;
    f.bits = 8;
    f.channels = 1;
    f.rate = 8000;
    const Bytes small = SimpleWave(f, 4000);
    EXPECT_EQ(InChildWithAlsaConfig(
                  [&] {
                      if (!PlayWaveFromMemory(wave.data(), wave.size()))
                          return 1;
                      return PlayWaveFromMemory(small.data(), small.size()) ? 0 : 2;
                  },
                  errors, "pcm.!default { type null }\n"),
              0);
    EXPECT_EQ(errors, "");
}

TEST(Sound, ThemeSoundsFailQuietly)
{
    std::string errors;
    EXPECT_EQ(InChildWithAlsaConfig(
                  [] {
                      PlayThemeSound(nullptr);
                      PlayThemeSound("");
                      PlayThemeSound("dialog-warning");
                      PlayThemeSound("no-such-event-anywhere");
                      return 0;
                  },
                  errors),
              0);
    EXPECT_EQ(errors, "");
}

} // namespace
} // namespace tandrel::desktop
