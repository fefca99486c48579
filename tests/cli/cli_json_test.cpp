// --json, --null and the pattern options of the command line, read back with a JSON parser.

#include "cli/CliProcess.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <sstream>
#include <unistd.h>

namespace tandrel::cli {
namespace {

using nlohmann::json;
using test::CliRun;
using test::RunCli;
using test::TempTree;

// Every line of standard output as a JSON object; a line that is not one fails the test.
std::vector<json> JsonLines(const std::string& out)
{
    std::vector<json> objects;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        json object = json::parse(line, nullptr, false);
        EXPECT_FALSE(object.is_discarded()) << line;
        objects.push_back(std::move(object));
    }
    return objects;
}

std::map<std::string, json> RowsByPath(const std::vector<json>& objects)
{
    std::map<std::string, json> rows;
    for (const json& o : objects)
        if (o["type"] == "row")
            rows[o.contains("path") ? o["path"].get<std::string>() : o["path_bytes"].get<std::string>()] = o;
    return rows;
}

TEST(CliJson, CompareWritesOneObjectPerRowThenTheSummary)
{
    TempTree t;
    t.WriteFile("src/newer.txt", "newer", 1'700'000'000);
    t.WriteFile("dst/newer.txt", "old", 1'600'000'000);
    t.WriteFile("src/sub/only.txt", "only", 1'650'000'000);
    t.WriteFile("dst/\"quoted\"\n\\name.txt", "x", 1'650'000'000);
    test::CliStart start;
    start.environment = {"TZ=CET-1"}; // one offset all year
    const CliRun r = RunCli({"compare", t.Path("src"), t.Path("dst"), "--json"}, start);
    EXPECT_EQ(r.status, 1) << r.err;
    const auto objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 5u) << r.out; // newer, sub, sub/only.txt, the quoted name, the summary
    const auto rows = RowsByPath(objects);
    const json& newer = rows.at("newer.txt");
    EXPECT_EQ(newer["list"], 1);
    EXPECT_EQ(newer["list_name"], "Newer than destination");
    EXPECT_EQ(newer["kind"], "file");
    EXPECT_EQ(newer["size"], 5);
    EXPECT_EQ(newer["other_size"], 3);
    EXPECT_EQ(newer["modified"], "2023-11-14T23:13:20+01:00");
    EXPECT_EQ(newer["other_modified"], "2020-09-13T13:26:40+01:00");
    EXPECT_EQ(newer["full_path"], t.Path("src/newer.txt"));
    EXPECT_EQ(rows.at("sub")["kind"], "folder");
    EXPECT_EQ(rows.at("sub/only.txt")["list"], 3);
    EXPECT_EQ(rows.at("\"quoted\"\n\\name.txt")["list"], 4);
    const json& summary = objects.back();
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["command"], "compare");
    EXPECT_EQ(summary["lists"][2]["rows"], 2);
    EXPECT_EQ(summary["not_compared"], 0);
}

TEST(CliJson, NamesThatAreNotUtf8AreEscapedBytes)
{
    TempTree t;
    t.WriteFile("src/caf\xE9 100%.txt", "latin-1 name");
    t.MakeDir("dst");
    const CliRun r = RunCli({"compare", t.Path("src"), t.Path("dst"), "--json"});
    const auto rows = RowsByPath(JsonLines(r.out));
    ASSERT_EQ(rows.count("caf%E9%20100%25.txt"), 1u) << r.out;
    EXPECT_FALSE(rows.at("caf%E9%20100%25.txt").contains("path"));

    const CliRun nul = RunCli({"compare", t.Path("src"), t.Path("dst"), "--null"});
    EXPECT_EQ(nul.out, t.Path("src/caf\xE9 100%.txt") + std::string(1, '\0'));
}

TEST(CliJson, CopyAndDeleteGiveEachRowsOutcome)
{
    TempTree t;
    t.WriteFile("src/ok.txt", "fine");
    t.WriteFile("src/locked/in.txt", "x");
    t.WriteFile("src/same.txt", "s", 1'600'000'000);
    t.WriteFile("dst/same.txt", "s", 1'600'000'000);
    t.MakeDir("dst/locked");
    t.Chmod("dst/locked", 0555);
    const CliRun r = RunCli({"copy", t.Path("src"), t.Path("dst"), "--lists", "3", "--to", "destination", "--json"});
    t.Chmod("dst/locked", 0755);
    const auto objects = JsonLines(r.out);
    const auto rows = RowsByPath(objects);
    EXPECT_EQ(rows.at("ok.txt")["outcome"], "done");
    if (::geteuid() != 0) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(rows.at("locked/in.txt")["outcome"], "failed");
        EXPECT_TRUE(test::Holds(rows.at("locked/in.txt")["error"].get<std::string>(), "Permission denied"));
    }
    EXPECT_EQ(objects.back()["lists"][0]["done"], ::geteuid() != 0 ? 1 : 2);
    EXPECT_EQ(objects.back()["dry_run"], false);

    const CliRun dry = RunCli({"delete", t.Path("src"), t.Path("dst"), "--lists", "3", "--json", "--dry-run"});
    for (const auto& [path, row] : RowsByPath(JsonLines(dry.out)))
        EXPECT_EQ(row["outcome"], "dry run") << path;
}

TEST(CliJson, VerifyListsThePairsThatDifferWithTheirKindsSizesAndTimes)
{
    TempTree t;
    t.WriteFile("src/a.bin", "abcd", 1'600'000'000);
    t.WriteFile("dst/a.bin", "abXd", 1'600'000'000);
    t.WriteFile("src/b.bin", "same", 1'600'000'000);
    t.WriteFile("dst/b.bin", "same", 1'600'000'000);
    t.Symlink("a.bin", "src/link");
    t.Symlink("b.bin", "dst/link");
    test::CliStart start;
    start.environment = {"TZ=CET-1"}; // one offset all year
    const CliRun r = RunCli({"verify", t.Path("src"), t.Path("dst"), "--json"}, start);
    EXPECT_EQ(r.status, 1) << r.err;
    const auto objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 3u) << r.out;
    const auto rows = RowsByPath(objects);
    const json& file = rows.at("a.bin");
    EXPECT_EQ(file["outcome"], "different");
    EXPECT_EQ(file["offset"], 2);
    EXPECT_EQ(file["kind"], "file");
    EXPECT_FALSE(file.contains("other_kind"));
    EXPECT_EQ(file["size"], 4);
    EXPECT_EQ(file["other_size"], 4);
    EXPECT_EQ(file["modified"], "2020-09-13T13:26:40+01:00");
    EXPECT_EQ(file["other_modified"], "2020-09-13T13:26:40+01:00");
    const json& link = rows.at("link");
    EXPECT_EQ(link["kind"], "link");
    EXPECT_EQ(link["size"], 5);
    EXPECT_EQ(link["offset"], 0);
    EXPECT_EQ(objects.back()["pairs_checked"], 3);
    EXPECT_EQ(objects.back()["pairs_different"], 2);
}

TEST(CliPatterns, OptionsKeepTheirOrderAndSummaryCountsEachPattern)
{
    TempTree t;
    t.WriteFile("src/a.log", "1");
    t.WriteFile("src/keep.log", "1");
    t.WriteFile("src/x/deep/z.txt", "1");
    t.WriteFile("src/notes.txt", "1");
    t.WriteFile("dst/build/o", "1");
    t.WriteFile("patterns", "# from a file\n**/deep\n");
    const CliRun r = RunCli({"compare", t.Path("src"), t.Path("dst"), "--summary", "--exclude", "*.log", "--include",
                             "keep.log", "--exclude-from", t.Path("patterns"), "--exclude", "/build/"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(test::Holds(r.out, "Can not find destination: 3\n")); // keep.log, x, notes.txt
    EXPECT_TRUE(test::Holds(r.out, "Can not find source: 0\n"));
    EXPECT_TRUE(test::Holds(r.out, "Not compared (filters, folders named .*): 3\n"));
    EXPECT_TRUE(test::Holds(r.out, "Pattern *.log (--exclude): 1 left out\n"));
    EXPECT_TRUE(test::Holds(r.out, "Pattern keep.log (--include): takes entries back\n"));
    EXPECT_TRUE(test::Holds(r.out, "Pattern **/deep (" + t.Path("patterns") + ":2): 1 left out\n"));
    EXPECT_TRUE(test::Holds(r.out, "Pattern /build/ (--exclude): 1 left out\n"));

    // The other order: the later --exclude decides over the --include.
    const CliRun later =
        RunCli({"compare", t.Path("src"), t.Path("dst"), "--summary", "--include", "keep.log", "--exclude", "*.log"});
    EXPECT_TRUE(test::Holds(later.out, "Pattern *.log (--exclude): 2 left out\n"));
}

TEST(CliPatterns, IgnoreFilesReadEitherRootsFile)
{
    TempTree t;
    t.WriteFile("src/a.tmp", "1");
    t.WriteFile("src/b.bak", "1");
    t.WriteFile("src/.tandrelignore", "*.tmp\n");
    t.WriteFile("dst/.tandrelignore", "*.bak\n.tandrelignore\n");
    const CliRun without = RunCli({"compare", t.Path("src"), t.Path("dst"), "--summary"});
    EXPECT_TRUE(test::Holds(without.out, "Can not find destination: 2\n"));
    const CliRun with = RunCli({"compare", t.Path("src"), t.Path("dst"), "--summary", "--ignore-files"});
    EXPECT_EQ(with.status, 0) << with.out << with.err;

    const CliRun missing = RunCli({"compare", t.Path("src"), t.Path("dst"), "--exclude-from", t.Path("none")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(test::Holds(missing.err, "No such file or directory"));
}

} // namespace
} // namespace tandrel::cli
