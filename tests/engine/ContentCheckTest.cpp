#include "engine/ContentCheck.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tandrel::engine {
namespace {

using test::TempTree;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kGiB = 1024 * kMiB;

struct Recorder : ContentCheckObserver {
    std::vector<ContentFinding> found;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::function<void(const ContentFinding&)> onFound;

    void Found(const FilePair&, const ContentFinding& finding) override
    {
        found.push_back(finding);
        if (onFound)
            onFound(finding);
    }
    void Progress(std::uint64_t done, std::uint64_t total) override { progress.emplace_back(done, total); }
};

std::string Pattern(std::size_t size, unsigned seed)
{
    std::string text(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : text) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return text;
}

// "f<i>", built by appending: g++ 12 at -O3 warns falsely about "f" + text.
std::string Numbered(std::size_t i)
{
    std::string name(1, 'f');
    name += std::to_string(i);
    return name;
}

class ContentCheckTest : public ::testing::Test {
protected:
    // Writes the two sides of a pair and returns it.
    FilePair Pair(const std::string& name, const std::string& source, const std::string& destination)
    {
        m_tree.WriteFile("s/" + name, source);
        m_tree.WriteFile("d/" + name, destination);
        return FilePair{m_tree.Path("s/" + name), m_tree.Path("d/" + name), source.size()};
    }
    ContentCheckSummary Check(const std::vector<FilePair>& pairs, ContentCheckOptions options = {})
    {
        m_flag.Set(true);
        return CheckContents(pairs, m_flag, m_recorder, options);
    }

    TempTree m_tree;
    RunFlag m_flag;
    Recorder m_recorder;
};

TEST_F(ContentCheckTest, OneChangedByteIsFoundWhereverItIs)
{
    const std::size_t size = 3 * kMiB + 123; // more than one read of each file
    const struct {
        const char* what;
        std::size_t at; // size: no change
    } cases[] = {{"start", 0}, {"middle", size / 2}, {"last byte of a read", kMiB - 1},
                 {"first byte of a read", kMiB}, {"end", size - 1}, {"no change", size}};
    for (const auto& c : cases) {
        const std::string source = Pattern(size, 7);
        std::string destination = source;
        if (c.at < size)
            destination[c.at] = static_cast<char>(destination[c.at] ^ 0x01);
        m_recorder = Recorder{};
        const ContentCheckSummary summary = Check({Pair("f", source, destination)});
        EXPECT_EQ(summary.checked, 1u) << c.what;
        EXPECT_EQ(summary.bytesDone, size) << c.what;
        if (c.at == size) {
            EXPECT_TRUE(m_recorder.found.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(m_recorder.found.size(), 1u) << c.what;
        EXPECT_EQ(m_recorder.found[0].verdict, ContentVerdict::Different) << c.what;
        EXPECT_EQ(m_recorder.found[0].offset, c.at) << c.what;
    }
}

TEST_F(ContentCheckTest, EmptyFilesAreTheSameAndAPrefixDiffersAtItsEnd)
{
    const ContentCheckSummary summary =
        Check({Pair("empty", "", ""), Pair("grown", "abc", "abcd"), Pair("emptied", "abc", "")});
    EXPECT_EQ(summary.checked, 3u);
    EXPECT_EQ(summary.different, 2u);
    ASSERT_EQ(m_recorder.found.size(), 2u);
    EXPECT_EQ(m_recorder.found[0].index, 1u);
    EXPECT_EQ(m_recorder.found[0].offset, 3u);
    EXPECT_EQ(m_recorder.found[1].index, 2u);
    EXPECT_EQ(m_recorder.found[1].offset, 0u);
}

// A file of `size` bytes that holds nothing but `bytes` at the given offsets.
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
    m_tree.MakeDir("s");
    m_tree.MakeDir("d");
    const struct {
        const char* name;
        std::vector<std::pair<std::uint64_t, char>> source, destination;
        std::optional<std::uint64_t> differsAt;
    } cases[] = {
        {"same", {{far, 'x'}}, {{far, 'x'}}, std::nullopt},
        {"other byte", {{far, 'x'}}, {{far, 'y'}}, far},
        {"data against a hole", {{3 * kGiB, 'x'}}, {}, 3 * kGiB},
        {"hole against data near the end", {}, {{size - 1, 'z'}}, size - 1},
    };
    std::vector<FilePair> pairs;
    for (const auto& c : cases) {
        MakeSparse(m_tree.Path(std::string("s/") + c.name), size, c.source);
        MakeSparse(m_tree.Path(std::string("d/") + c.name), size, c.destination);
        pairs.push_back({m_tree.Path(std::string("s/") + c.name), m_tree.Path(std::string("d/") + c.name), size});
    }
    const ContentCheckSummary summary = Check(pairs);
    EXPECT_EQ(summary.checked, pairs.size());
    EXPECT_EQ(summary.bytesDone, size * pairs.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        if (!cases[i].differsAt)
            continue;
        ASSERT_LT(next, m_recorder.found.size()) << cases[i].name;
        EXPECT_EQ(m_recorder.found[next].index, i) << cases[i].name;
        EXPECT_EQ(m_recorder.found[next].offset, *cases[i].differsAt) << cases[i].name;
        ++next;
    }
    EXPECT_EQ(next, m_recorder.found.size());
}

TEST_F(ContentCheckTest, FilesThatCannotBeReadSayWhy)
{
    m_tree.MakeDir("s/folder");
    m_tree.WriteFile("d/folder", "a file");
    m_tree.MakeFifo("s/fifo");
    m_tree.WriteFile("d/fifo", "");
    m_tree.WriteFile("s/gone", "x");
    const std::vector<FilePair> pairs = {
        {m_tree.Path("s/folder"), m_tree.Path("d/folder"), 6},
        {m_tree.Path("s/fifo"), m_tree.Path("d/fifo"), 0},
        {m_tree.Path("s/gone"), m_tree.Path("d/gone"), 1},
    };
    const ContentCheckSummary summary = Check(pairs);
    EXPECT_EQ(summary.unreadable, 3u);
    ASSERT_EQ(m_recorder.found.size(), 3u);
    EXPECT_EQ(m_recorder.found[0].error, "Cannot read '" + m_tree.Path("s/folder") + "': Is a directory");
    EXPECT_EQ(m_recorder.found[1].error, "Cannot read '" + m_tree.Path("s/fifo") + "': not a regular file");
    EXPECT_EQ(m_recorder.found[2].error, "Cannot read '" + m_tree.Path("d/gone") + "': No such file or directory");
    for (const ContentFinding& f : m_recorder.found)
        EXPECT_EQ(f.verdict, ContentVerdict::Unreadable);
}

TEST_F(ContentCheckTest, FileWithoutReadPermissionIsUnreadable)
{
    const FilePair pair = Pair("secret", "abc", "abc");
    m_tree.Chmod("s", 0755);
    m_tree.Chmod("d", 0755);
    m_tree.Chmod("d/secret", 0200);
    // As user nobody, so that the permission holds even when the tests run as root.
    const int status = test::RunUnprivileged([&] {
        RunFlag flag;
        flag.Set(true);
        Recorder recorder;
        CheckContents({pair}, flag, recorder);
        return recorder.found.size() == 1 &&
               recorder.found[0].error == "Cannot read '" + pair.destination + "': Permission denied";
    });
    EXPECT_EQ(status, 0);
}

TEST_F(ContentCheckTest, LinksAreComparedByTheirText)
{
    m_tree.WriteFile("s/t", "same");
    m_tree.WriteFile("d/t", "same");
    m_tree.Symlink("t", "s/same");
    m_tree.Symlink("t", "d/same");
    m_tree.Symlink("t", "s/other");
    m_tree.Symlink("u", "d/other");
    m_tree.Symlink("t", "s/kind");
    m_tree.WriteFile("d/kind", "t");
    std::vector<FilePair> pairs;
    for (const char* name : {"same", "other", "kind"})
        pairs.push_back({m_tree.Path(std::string("s/") + name), m_tree.Path(std::string("d/") + name), 1});
    Check(pairs);
    ASSERT_EQ(m_recorder.found.size(), 2u);
    EXPECT_EQ(m_recorder.found[0].index, 1u);
    EXPECT_EQ(m_recorder.found[1].index, 2u);
    EXPECT_EQ(m_recorder.found[1].verdict, ContentVerdict::Different);
}

TEST_F(ContentCheckTest, FindingsArriveInInputOrderWhateverFinishesFirst)
{
    std::vector<FilePair> pairs;
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i < 40; ++i) {
        // Large pairs first, so that later small ones finish before them.
        const std::size_t size = i < 4 ? 4 * kMiB : 100 + i;
        const std::string source = Pattern(size, static_cast<unsigned>(i));
        std::string destination = source;
        if (i % 3 == 0) {
            destination.back() = static_cast<char>(destination.back() ^ 0x40);
            expected.push_back(i);
        }
        pairs.push_back(Pair(Numbered(i), source, destination));
    }
    const ContentCheckSummary summary = Check(pairs, ContentCheckOptions{4, 64 * 1024, std::chrono::milliseconds(1)});
    EXPECT_EQ(summary.checked, pairs.size());
    std::vector<std::size_t> indices;
    for (const ContentFinding& f : m_recorder.found)
        indices.push_back(f.index);
    EXPECT_EQ(indices, expected);

    ASSERT_FALSE(m_recorder.progress.empty());
    for (std::size_t i = 1; i < m_recorder.progress.size(); ++i)
        EXPECT_LE(m_recorder.progress[i - 1].first, m_recorder.progress[i].first);
    std::uint64_t total = 0;
    for (const FilePair& p : pairs)
        total += p.size;
    EXPECT_EQ(m_recorder.progress.back(), std::make_pair(total, total));
}

TEST_F(ContentCheckTest, LoweredRunFlagStopsTheCheck)
{
    std::vector<FilePair> pairs;
    pairs.push_back(Pair("first", "a", "b"));
    for (int i = 0; i < 200; ++i)
        pairs.push_back(Pair(Numbered(i), Pattern(64 * 1024, 1), Pattern(64 * 1024, 2)));
    m_recorder.onFound = [this](const ContentFinding&) { m_flag.Set(false); };
    const ContentCheckSummary summary = Check(pairs, ContentCheckOptions{2, 4096, std::chrono::milliseconds(100)});
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(m_recorder.found.size(), 1u);
    EXPECT_EQ(summary.checked, 1u);

    m_recorder = Recorder{};
    m_flag.Set(false);
    const ContentCheckSummary never = CheckContents(pairs, m_flag, m_recorder);
    EXPECT_TRUE(never.cancelled);
    EXPECT_EQ(never.checked, 0u);
    EXPECT_TRUE(m_recorder.found.empty());
}

} // namespace
} // namespace tandrel::engine
