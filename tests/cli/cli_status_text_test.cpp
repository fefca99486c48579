// The status line's texts: counts, byte sizes and paths cut to the width.

#include "cli/StatusLine.h"

#include <gtest/gtest.h>

#include <string>

namespace tandrel::cli {
namespace {

TEST(StatusLineText, ByteCounts)
{
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},           {1023, "1023 B"}, {1024, "1.0 KiB"}, {1536, "1.5 KiB"},
        {5u << 20, "5.0 MiB"}, {3ull << 40, "3.0 TiB"}, {~0ull, "16.0 EiB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ByteCountText(c.bytes), c.text) << c.bytes;
}

TEST(StatusLineText, ComparisonCountsAreCutToTheWidth)
{
    const CompareStatus status{123456, 7, {1, 22, 333, 0, 5}};
    const std::string full = "Comparing: 123456 entries, 7 not compared; lists 1: 1, 2: 22, 3: 333, 4: 0, 5: 5";
    EXPECT_EQ(FormatCompareStatus(status, 200), full);
    EXPECT_EQ(FormatCompareStatus(status, full.size() + 1), full);
    EXPECT_EQ(FormatCompareStatus(status, 20), full.substr(0, 19));
    EXPECT_EQ(FormatCompareStatus(status, 1), "");
    EXPECT_EQ(FormatCompareStatus(status, 0), "");
}

TEST(StatusLineText, CopyShowsRowsBytesAndAsMuchOfThePathAsFits)
{
    const struct {
        std::string path;
        std::size_t width;
        std::string text;
    } cases[] = {
        {"/d/a/file.txt", 80, "Copying 3/10, 1.5 KiB: /d/a/file.txt"},
        // Too long: the beginning goes, the name stays.
        {"/data/projects/alpha/beta/report.pdf", 44, "Copying 3/10, 1.5 KiB: ...a/beta/report.pdf"},
        // No room for a useful part of the path: the counts alone.
        {"/data/projects/report.pdf", 30, "Copying 3/10, 1.5 KiB"},
        {"/data/projects/report.pdf", 12, "Copying 3/1"},
        // Control characters and stray bytes of a name never reach the terminal.
        {"/d/line\nbreak\x1b[2J\x7f", 80, "Copying 3/10, 1.5 KiB: /d/line?break?[2J?"},
        {"/d/\xff\xc3(\xe2\x82", 80, "Copying 3/10, 1.5 KiB: /d/?" "?(?" "?"},
        {"/d/\xc2\x9b" "31m", 80, "Copying 3/10, 1.5 KiB: /d/??31m"},
        // Multi-byte characters are kept whole, and wide ones count twice
        // (or twice anyway when the locale does not know them).
        {"/d/caf\xC3\xA9/\xE6\x96\x87\xE6\x9B\xB8.txt", 80,
         "Copying 3/10, 1.5 KiB: /d/caf\xC3\xA9/\xE6\x96\x87\xE6\x9B\xB8.txt"},
        {"/d/x/\xE6\x96\x87\xE6\x9B\xB8.txt", 36, "Copying 3/10, 1.5 KiB: .../\xE6\x96\x87\xE6\x9B\xB8.txt"},
    };
    for (const auto& c : cases) {
        const SyncStatus status{"Copying", 3, 10, 1536, c.path};
        EXPECT_EQ(FormatSyncStatus(status, c.width), c.text) << c.path << " at " << c.width;
    }
}

} // namespace
} // namespace tandrel::cli
