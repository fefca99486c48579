#include "engine/ContentCheck.h"

#include "platform/ContentFile.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tandrel::engine {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;
constexpr std::optional<std::uint64_t> kSame = std::nullopt;

struct Recorder : ContentCheckObserver {
    std::vector<ContentFinding> found;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::function<void()> onFound;

    void Found(const FilePair&, const ContentFinding& finding) override
    {
        found.push_back(finding);
        if (onFound)
            onFound();
    }
    void Progress(std::uint64_t done, std::uint64_t total) override { progress.emplace_back(done, total); }
};

std::string Pattern(std::size_t size, unsigned seed)
{
    std::string text(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : text)
        c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    return text;
}

class ContentCheckTest : public ::testing::Test {
protected:
    FilePair Pair(const std::string& name, const std::string& source, const std::string& destination)
    {
        m_tree.WriteFile("s/" + name, source);
        m_tree.WriteFile("d/" + name, destination);
        return FilePair{m_tree.Path("s/" + name), m_tree.Path("d/" + name), source.size()};
    }
    ContentCheckSummary Check(const std::vector<FilePair>& pairs, ContentCheckOptions options = {4, 64 * 1024})
    {
        m_flag.Set(true);
        return CheckContents(pairs, m_flag, m_recorder, options);
    }
    // The offset of each pair's finding, or kSame, in input order.
    std::vector<std::optional<std::uint64_t>> Offsets(std::size_t count) const
    {
        std::vector<std::optional<std::uint64_t>> offsets(count);
        for (const ContentFinding& f : m_recorder.found)
            offsets.at(f.index) = f.offset;
        return offsets;
    }

    test::TempTree m_tree;
    RunFlag m_flag;
    Recorder m_recorder;
};

TEST_F(ContentCheckTest, FirstDifferingByteIsFoundWhereverItIs)
{
    const std::size_t size = 3 * 64 * 1024 + 123; // several reads of 64 KiB
    const std::string data = Pattern(size, 7);
    auto flipped = [&](std::size_t at) {
        std::string copy = data;
        copy[at] = static_cast<char>(copy[at] ^ 0x01);
        return copy;
    };
    const struct {
        std::string source, destination;
        std::optional<std::uint64_t> differsAt;
    } cases[] = {
        {data, flipped(0), 0},
        {data, flipped(size / 2), size / 2},
        {data, flipped(64 * 1024 - 1), 64 * 1024 - 1},
        {data, flipped(64 * 1024), 64 * 1024},
        {data, flipped(size - 1), size - 1},
        {data, data, kSame},
        {"", "", kSame},
        {"abc", "abcd", 3}, // a prefix differs where the shorter one ends
        {"abc", "", 0},
    };
    std::vector<FilePair> pairs;
    std::vector<std::optional<std::uint64_t>> expected;
    std::uint64_t total = 0;
    for (const auto& c : cases) {
        pairs.push_back(Pair(std::to_string(pairs.size()), c.source, c.destination));
        expected.push_back(c.differsAt);
        total += c.source.size();
    }
    const ContentCheckSummary summary = Check(pairs);
    EXPECT_EQ(Offsets(pairs.size()), expected);
    EXPECT_EQ(summary.checked, pairs.size());
    EXPECT_EQ(summary.different, 7u);
    EXPECT_EQ(summary.bytesDone, total);
    for (const ContentFinding& f : m_recorder.found)
        EXPECT_EQ(f.verdict, ContentVerdict::Different);
}

#ifndef _WIN32
// POSIX only: sparse files whose holes are skipped (SEEK_DATA); Windows reads
// every byte, 40 GiB here, which takes too long under Wine.

// A file of `size` bytes holding nothing but `bytes` at the given offsets.
void MakeSparse(const std::string& path, std::uint64_t size, const std::vector<std::pair<std::uint64_t, char>>& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [offset, value] : bytes)
        ASSERT_EQ(::pwrite(fd, &value, 1, static_cast<off_t>(offset)), 1);
    ::close(fd);
}

TEST_F(ContentCheckTest, FiveGibibyteSparseFilesAreComparedByTheirData)
{
    const std::uint64_t size = 5 * kGiB;
    const std::uint64_t far = 4 * kGiB + 12345;
    const struct {
        std::vector<std::pair<std::uint64_t, char>> source, destination;
        std::optional<std::uint64_t> differsAt;
    } cases[] = {
        {{{far, 'x'}}, {{far, 'x'}}, kSame},
        {{{far, 'x'}}, {{far, 'y'}}, far},
        {{{3 * kGiB, 'x'}}, {}, 3 * kGiB}, // data against a hole
        {{}, {{size - 1, 'z'}}, size - 1},
    };
    m_tree.MakeDir("s");
    m_tree.MakeDir("d");
    std::vector<FilePair> pairs;
    std::vector<std::optional<std::uint64_t>> expected;
    for (const auto& c : cases) {
        const std::string name = std::to_string(pairs.size());
        MakeSparse(m_tree.Path("s/" + name), size, c.source);
        MakeSparse(m_tree.Path("d/" + name), size, c.destination);
        pairs.push_back({m_tree.Path("s/" + name), m_tree.Path("d/" + name), size});
        expected.push_back(c.differsAt);
    }
    const ContentCheckSummary summary = Check(pairs, {});
    EXPECT_EQ(Offsets(pairs.size()), expected);
    EXPECT_EQ(summary.bytesDone, size * pairs.size());
}

#endif

TEST_F(ContentCheckTest, FilesThatCannotBeReadSayWhy)
{
    m_tree.MakeDir("s/folder");
    m_tree.WriteFile("d/folder", "a file");
    m_tree.WriteFile("s/gone", "x");
    std::vector<FilePair> pairs;
    for (const char* name : {"folder", "gone"})
        pairs.push_back({m_tree.Path(std::string("s/") + name), m_tree.Path(std::string("d/") + name), 1});
    const ContentCheckSummary summary = Check(pairs);
    EXPECT_EQ(summary.unreadable, 2u);
    ASSERT_EQ(m_recorder.found.size(), 2u);
    EXPECT_TRUE(test::IsFailure(m_recorder.found[0].error, "Cannot read '" + pairs[0].source + "': ", EISDIR))
        << m_recorder.found[0].error;
    EXPECT_TRUE(test::IsFailure(m_recorder.found[1].error, "Cannot read '" + pairs[1].destination + "': ", ENOENT))
        << m_recorder.found[1].error;
    EXPECT_EQ(m_recorder.found[1].verdict, ContentVerdict::Unreadable);
}

#ifndef _WIN32
// POSIX only: FIFOs.
TEST_F(ContentCheckTest, AFifoIsNeverOpened)
{
    m_tree.MakeFifo("s/fifo");
    m_tree.WriteFile("d/fifo", "");
    const FilePair pair{m_tree.Path("s/fifo"), m_tree.Path("d/fifo"), 1};
    EXPECT_EQ(Check({pair}).unreadable, 1u);
    ASSERT_EQ(m_recorder.found.size(), 1u);
    EXPECT_EQ(m_recorder.found[0].error, "Cannot read '" + pair.source + "': not a regular file");
}
#endif

TEST_F(ContentCheckTest, AFileChangedWhileItIsReadIsNeverEqual)
{
    // Grown by a byte, or overwritten in place, after the first read.
    const std::string data = Pattern(3 * 4096, 3);
    for (const bool grow : {true, false}) {
        const FilePair pair = Pair("f", data, data);
        m_tree.SetMtime("d/f", 1'500'000'000);
        int reads = 0;
        platform::SetReadHookForTesting([&] {
            if (reads++ == 0)
                grow ? m_tree.WriteFile("d/f", data + "x") : m_tree.WriteFile("d/f", data);
        });
        const ContentCheckSummary summary = Check({pair}, {1, 4096});
        platform::SetReadHookForTesting({});
        EXPECT_EQ(summary.unreadable, 1u) << grow;
        ASSERT_EQ(m_recorder.found.size(), 1u) << grow;
        EXPECT_EQ(m_recorder.found[0].error, "Cannot read '" + pair.destination +
                                                 "': the file changed while it was being read");
        m_recorder.found.clear();
    }
}

#ifndef _WIN32
// POSIX only: links made with symlink(2).
TEST_F(ContentCheckTest, LinksAreComparedByTheirText)
{
    const struct {
        const char* name;
        const char* sourceTarget;
        const char* destinationTarget; // null: a file
    } cases[] = {{"same", "t", "t"}, {"other", "t", "u"}, {"kind", "t", nullptr}};
    std::vector<FilePair> pairs;
    for (const auto& c : cases) {
        m_tree.Symlink(c.sourceTarget, std::string("s/") + c.name);
        if (c.destinationTarget)
            m_tree.Symlink(c.destinationTarget, std::string("d/") + c.name);
        else
            m_tree.WriteFile(std::string("d/") + c.name, "t");
        pairs.push_back({m_tree.Path(std::string("s/") + c.name), m_tree.Path(std::string("d/") + c.name), 1});
    }
    Check(pairs);
    EXPECT_EQ(Offsets(pairs.size()), (std::vector<std::optional<std::uint64_t>>{kSame, 0, 0}));
}
#endif

TEST_F(ContentCheckTest, FindingsArriveInInputOrderAndProgressEndsAtTheTotal)
{
    std::vector<FilePair> pairs;
    std::vector<std::optional<std::uint64_t>> expected;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < 40; ++i) {
        // Large pairs first, so that later small ones finish before them.
        const std::string source = Pattern(i < 4 ? 4 << 20 : 100 + i, static_cast<unsigned>(i));
        std::string destination = source;
        if (i % 3 == 0)
            destination.back() = static_cast<char>(destination.back() ^ 0x40);
        expected.push_back(i % 3 == 0 ? std::optional<std::uint64_t>(source.size() - 1) : kSame);
        pairs.push_back(Pair(std::to_string(i), source, destination));
        total += source.size();
    }
    Check(pairs, ContentCheckOptions{4, 64 * 1024, std::chrono::milliseconds(1)});
    std::vector<std::size_t> indices;
    for (const ContentFinding& f : m_recorder.found)
        indices.push_back(f.index);
    EXPECT_TRUE(std::is_sorted(indices.begin(), indices.end()));
    EXPECT_EQ(Offsets(pairs.size()), expected);
    for (std::size_t i = 1; i < m_recorder.progress.size(); ++i)
        EXPECT_LE(m_recorder.progress[i - 1].first, m_recorder.progress[i].first);
    EXPECT_EQ(m_recorder.progress.back(), std::make_pair(total, total));
}

TEST_F(ContentCheckTest, LoweredRunFlagStopsTheCheck)
{
    std::vector<FilePair> pairs{Pair("first", "a", "b")};
    for (int i = 0; i < 200; ++i)
        pairs.push_back(Pair(std::to_string(i), Pattern(64 * 1024, 1), Pattern(64 * 1024, 2)));
    m_recorder.onFound = [this] { m_flag.Set(false); };
    const ContentCheckSummary summary = Check(pairs, ContentCheckOptions{2, 4096});
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.checked, 1u);
    EXPECT_EQ(m_recorder.found.size(), 1u);

    m_flag.Set(false);
    const ContentCheckSummary never = CheckContents(pairs, m_flag, m_recorder);
    EXPECT_TRUE(never.cancelled);
    EXPECT_EQ(never.checked, 0u);
}

} // namespace
} // namespace tandrel::engine
