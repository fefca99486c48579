// Runs the built tandrel-cli on real trees and checks its counts against a
// comparison written here independently, by size and modification time
// through std::filesystem.

#include "cli/CliProcess.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tandrel::test {
namespace {

namespace fs = std::filesystem;

using Counts = std::array<std::size_t, 6>; // index 1..5

// The five "Caption: N" lines of --summary.
bool ParseSummary(const std::string& text, Counts& counts)
{
    const char* captions[] = {"", "Newer than destination", "Older than destination", "Can not find destination",
                              "Can not find source", "Only size changed"};
    counts = {};
    std::istringstream in(text);
    std::string line;
    int seen = 0;
    while (std::getline(in, line)) {
        for (int c = 1; c <= 5; ++c) {
            const std::string prefix = std::string(captions[c]) + ": ";
            if (line.rfind(prefix, 0) == 0) {
                counts[c] = std::stoul(line.substr(prefix.size()));
                ++seen;
            }
        }
    }
    return seen == 5;
}

// What this test expects the comparison to skip.
struct Rules {
    bool skipHidden = true;
    bool skipSystem = true;
    bool subdirs = true;
    std::int64_t toleranceSeconds = 0;
    std::vector<std::string> ignoredSuffixes; // lower case, with the dot
};

std::int64_t Seconds(fs::file_time_type t)
{
    const auto sys = std::chrono::file_clock::to_sys(t);
    return std::chrono::floor<std::chrono::seconds>(sys).time_since_epoch().count();
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool Skipped(const std::string& name, const fs::file_status& st, const Rules& rules)
{
    if (rules.skipHidden && name[0] == '.')
        return true;
    const bool system = !(fs::is_regular_file(st) || fs::is_directory(st) || fs::is_symlink(st));
    if (rules.skipSystem && system)
        return true;
    const std::string lower = Lower(name);
    for (const auto& suffix : rules.ignoredSuffixes)
        if (lower.size() >= suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    return false;
}

// One side's walk: pass 0 from the source, pass 1 from the destination.
void Walk(const fs::path& dir, const fs::path& other, int pass, const Rules& rules, Counts& counts,
          std::vector<std::string>* missing)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        const fs::file_status st = entry.symlink_status();
        if (Skipped(name, st, rules))
            continue;
        const fs::path counterpart = other / name;
        std::error_code oec;
        const fs::file_status ost = fs::symlink_status(counterpart, oec);
        const bool otherExists = !oec && ost.type() != fs::file_type::not_found;
        const int missingCategory = pass == 0 ? 3 : 4;
        if (fs::is_directory(st)) {
            if (name[0] == '.')
                continue;
            if (!fs::is_directory(ost)) {
                ++counts[missingCategory];
                if (missing)
                    missing->push_back(entry.path().string());
            }
            if (rules.subdirs)
                Walk(entry.path(), counterpart, pass, rules, counts, missing);
            continue;
        }
        if (!otherExists) {
            ++counts[missingCategory];
            if (missing)
                missing->push_back(entry.path().string());
            continue;
        }
        if (pass == 1)
            continue;
        const std::int64_t srcTime = Seconds(fs::last_write_time(entry.path()));
        const std::int64_t dstTime = Seconds(fs::last_write_time(counterpart));
        const std::uintmax_t srcSize = fs::file_size(entry.path());
        const std::uintmax_t dstSize = fs::is_directory(ost) ? 0 : fs::file_size(counterpart);
        const std::int64_t diff = dstTime - srcTime;
        if (diff != 0 && (diff < 0 ? -diff : diff) > rules.toleranceSeconds)
            ++counts[diff < 0 ? 1 : 2];
        else if (srcSize != dstSize)
            ++counts[5];
    }
}

Counts Expected(const std::string& src, const std::string& dst, const Rules& rules,
                std::vector<std::string>* missingInDestination = nullptr)
{
    Counts counts{};
    Walk(src, dst, 0, rules, counts, missingInDestination);
    Walk(dst, src, 1, rules, counts, nullptr);
    return counts;
}

// compare's exit status for these counts: 1 when any list holds a row.
int StatusFor(const Counts& c)
{
    for (int i = 1; i <= 5; ++i)
        if (c[i] > 0)
            return 1;
    return 0;
}

std::string Show(const Counts& c)
{
    std::ostringstream s;
    for (int i = 1; i <= 5; ++i)
        s << c[i] << (i < 5 ? " " : "");
    return s.str();
}

// Two trees with every kind of difference, built from a fixed seed.
void BuildTrees(TempTree& tree)
{
    std::mt19937 random(20140305);
    const std::int64_t base = 1400000000;
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char* exts[] = {".txt", ".cpp", ".h", ".png", ".TMP", ".dat"};
    for (int d = 0; d < 12; ++d) {
        std::string dir = "proj" + std::to_string(d % 4) + "/mod" + std::to_string(d);
        if (d % 3 == 0)
            dir += "/deep/er";
        for (int f = 0; f < 25; ++f) {
            const std::string rel = dir + "/file" + std::to_string(f) + exts[pick(6)];
            const std::string content(static_cast<std::size_t>(pick(3000)), 'c');
            const std::int64_t t = base + pick(100000000);
            const long ns = pick(1000) * 1000000L;
            switch (pick(12)) {
            case 0: // newer in the source
                tree.WriteFile("src/" + rel, content, t + 1 + pick(5), ns);
                tree.WriteFile("dst/" + rel, content, t, ns);
                break;
            case 1: // older in the source
                tree.WriteFile("src/" + rel, content, t, ns);
                tree.WriteFile("dst/" + rel, content, t + 1 + pick(5), ns);
                break;
            case 2: // only in the source
                tree.WriteFile("src/" + rel, content, t, ns);
                break;
            case 3: // only in the destination
                tree.WriteFile("dst/" + rel, content, t, ns);
                break;
            case 4: // size changed, same second
                tree.WriteFile("src/" + rel, content, t, 100000000);
                tree.WriteFile("dst/" + rel, content + "more", t, 900000000);
                break;
            default: // the same
                tree.WriteFile("src/" + rel, content, t, ns);
                tree.WriteFile("dst/" + rel, content, t, ns);
                break;
            }
        }
    }
    // Whole folders on one side only, one of them empty.
    tree.WriteFile("src/onlysrc/a/b.txt", "b", base);
    tree.WriteFile("src/onlysrc/c.txt", "c", base);
    tree.MakeDir("dst/onlydst/empty");
    // A file against a folder, both ways.
    tree.WriteFile("src/clash1", "12345", base);
    tree.WriteFile("dst/clash1/inside.txt", "x", base);
    tree.WriteFile("src/clash2/inside.txt", "x", base);
    tree.WriteFile("dst/clash2", "x", base);
    // Hidden entries and dot folders, a FIFO, names with blanks and dashes.
    tree.WriteFile("src/.hidden", "h", base);
    tree.WriteFile("dst/proj1/.env", "h", base);
    tree.WriteFile("src/.git/HEAD", "ref", base);
    tree.MakeFifo("src/pipe");
    tree.WriteFile("src/with space/-dash.txt", "x", base);
    tree.WriteFile("dst/with space/-dash.txt", "x", base + 1);
    // Within two seconds, same size: equal only with a tolerance.
    tree.WriteFile("src/close.txt", "same", base + 2);
    tree.WriteFile("dst/close.txt", "same", base);
}

TEST(CliTest, CountsAgreeWithAnIndependentComparison)
{
    TempTree tree;
    BuildTrees(tree);
    const std::string src = tree.Path("src"), dst = tree.Path("dst");

    // No settings file, as the window without one: nothing filtered, only
    // the folder .git left out, and said so.
    Rules rules;
    rules.skipHidden = rules.skipSystem = false;
    std::vector<std::string> missing;
    const Counts expected = Expected(src, dst, rules, &missing);
    for (int c = 1; c <= 5; ++c)
        EXPECT_GT(expected[c], 0u) << "the trees should hold every kind of difference, list " << c;

    const CliRun summary = RunCli({"compare", "--summary", src, dst});
    ASSERT_EQ(summary.status, 1) << summary.out;
    Counts got;
    ASSERT_TRUE(ParseSummary(summary.out, got)) << summary.out;
    EXPECT_EQ(Show(got), Show(expected)) << summary.out;
    EXPECT_TRUE(test::Holds(summary.out, "\nNot compared (filters, folders named .*): 1\n"));

    // The full listing names every source entry that the destination lacks.
    const CliRun full = RunCli({"compare", src + "/", dst + "/"});
    ASSERT_EQ(full.status, 1);
    for (const auto& path : missing)
        EXPECT_TRUE(test::Holds(full.out, path)) << path;
    EXPECT_TRUE(test::Holds(full.out, tree.Path("src/.hidden")));
    EXPECT_EQ(full.out.find(tree.Path("src/.git")), std::string::npos);

    // Only the entries directly inside the two folders.
    rules.subdirs = false;
    const CliRun flat = RunCli({"compare", "--summary", "--no-subdirs", src, dst});
    ASSERT_TRUE(ParseSummary(flat.out, got)) << flat.out;
    const Counts flatExpected = Expected(src, dst, rules);
    EXPECT_EQ(Show(got), Show(flatExpected)) << flat.out;
    EXPECT_EQ(flat.status, StatusFor(flatExpected));
}

TEST(CliTest, SettingsFileChangesTheComparison)
{
    TempTree tree;
    BuildTrees(tree);
    const std::string src = tree.Path("src"), dst = tree.Path("dst");
    tree.WriteFile("tdl.ini",
                   "[Source]\r\n\r\n[Destination]\r\n\r\n[Project]\r\n\r\n\r\n[Option]\r\n"
                   "IgnoreTime=2\r\nIgnoreType=0\r\nIgnoreArchive=0\r\nIgnoreHidden=0\r\nIgnoreReadonly=0\r\n"
                   "IgnoreSystem=1\r\nOverwriting=True\r\nIgnoreError=True\r\nPlaySound=False\r\n\r\n"
                   "[IgnoreFile]\r\n*.tmp\r\n");

    Rules rules;
    rules.skipHidden = false;
    rules.toleranceSeconds = 2;
    rules.ignoredSuffixes = {".tmp"};
    const Counts expected = Expected(src, dst, rules);
    const CliRun summary = RunCli({"compare", "--summary", "--settings", tree.Path("tdl.ini"), src, dst});
    ASSERT_EQ(summary.status, StatusFor(expected)) << summary.out;
    Counts got;
    ASSERT_TRUE(ParseSummary(summary.out, got)) << summary.out;
    EXPECT_EQ(Show(got), Show(expected)) << summary.out;
    // And it differs from the defaults' answer (hidden files, tolerance, ignored names).
    EXPECT_NE(Show(expected), Show(Expected(src, dst, Rules{})));
}

TEST(CliTest, RefusesFoldersThatAreNotThere)
{
    TempTree tree;
    tree.MakeDir("src");
    const CliRun missing = RunCli({"compare", "--summary", tree.Path("src"), tree.Path("nope")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    const CliRun one = RunCli({"compare", "--summary", tree.Path("src")});
    EXPECT_EQ(one.status, 2);
}

} // namespace
} // namespace tandrel::test
