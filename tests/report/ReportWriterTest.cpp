#include "report/ReportWriter.h"

#include "report/ReportTestSupport.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <dirent.h>
#include <sstream>

namespace tandrel::report {
namespace {

using test::FolderEntries;

using engine::CompareItem;
using engine::ResultCategory;
using test::AllLists;
using test::TempTree;

// 2020-01-02 03:04:05 and 2019-12-31 23:59:59 in UTC; the store shows them with offset 0.
constexpr std::int64_t kJan2 = 1577934245;
constexpr std::int64_t kDec31 = 1577836799;

const std::string kPairColumns =
    "Name\tSize(Bytes)\tModified\tModified (Destination)\tSize (Destination)\tName (Destination)\t   \r\n";
const std::string kOneSideColumns = "Name\tSize(Bytes)\tModified\tCan not find\t   \r\n";

CompareItem File(std::string relative, std::int64_t size, std::int64_t modified)
{
    CompareItem item;
    item.relativePath = std::move(relative);
    item.size = size;
    item.modified = modified;
    return item;
}

std::string ToText(const engine::ResultStore& store, const ReportRequest& request)
{
    std::ostringstream out;
    WriteReport(out, store, request);
    return out.str();
}

class ReportWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::setlocale(LC_TIME, "C");
        m_store.Reset("/src/", "/dst/", 0);
    }

    engine::ResultStore m_store;
};

TEST_F(ReportWriterTest, TextReportWithOneRowInListThree)
{
    m_store.AddResultRow(ResultCategory::NotInDestination, File("docs/a.txt", 1234, kJan2));
    const std::string expected = "---Newer than destination (0)---\r\n" + kPairColumns + "\r\n" +
                                 "---Older than destination (0)---\r\n" + kPairColumns + "\r\n" +
                                 "---Can not find destination (1)---\r\n" + kOneSideColumns +
                                 "/src/docs/a.txt\t1234\tJan/02/2020 03:04:05\t/dst/docs/a.txt\t\r\n" + "\r\n" +
                                 "---Can not find source (0)---\r\n" + kOneSideColumns + "\r\n" +
                                 "---Only size changed (0)---\r\n" + kPairColumns + "\r\n";
    const ReportRequest request = AllLists(m_store, ReportFormat::Text);
    EXPECT_EQ(ToText(m_store, request), expected);

    TempTree tree;
    const auto result = WriteReport(tree.Path("report.txt"), m_store, request);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(tree.ReadFile("report.txt"), expected);
    EXPECT_EQ(FolderEntries(tree.Root()), std::vector<std::string>{"report.txt"});
}

TEST_F(ReportWriterTest, CommaReportWithPairsFoldersStatusAndQuotedCells)
{
    CompareItem newer = File("a,b.txt", 10, kJan2);
    newer.counterpartSize = 9;
    newer.counterpartModified = kDec31;
    newer.SetStatusText("Access denied");
    m_store.AddResultRow(ResultCategory::NewerThanDestination, std::move(newer));
    CompareItem folder = File("photos", 0, kDec31);
    folder.isFolder = true;
    folder.icon = engine::RowIcon::Folder;
    m_store.AddResultRow(ResultCategory::NotInSource, std::move(folder));
    CompareItem quoted = File("say \"hi\"", 5, kJan2);
    quoted.counterpartSize = 6;
    quoted.counterpartModified = kJan2;
    m_store.AddResultRow(ResultCategory::OnlySizeChanged, std::move(quoted));

    ReportRequest request = AllLists(m_store, ReportFormat::Csv);
    request.include[2] = false;
    request.include[3] = false;
    const std::string pairColumns =
        "Name,Size(Bytes),Modified,Modified (Destination),Size (Destination),Name (Destination),   \r\n";
    const std::string expected =
        "---Newer than destination (1)---\r\n" + pairColumns +
        "\"/src/a,b.txt\",10,Jan/02/2020 03:04:05,Dec/31/2019 23:59:59,9,\"/dst/a,b.txt\",Access denied\r\n" +
        "\r\n" + "---Can not find source (1)---\r\n" + "Name,Size(Bytes),Modified,Can not find,   \r\n" +
        "/dst/photos, ,Dec/31/2019 23:59:59,/src/photos,\r\n" + "\r\n" + "---Only size changed (1)---\r\n" +
        pairColumns +
        "\"/src/say \"\"hi\"\"\",5,Jan/02/2020 03:04:05,Jan/02/2020 03:04:05,6,\"/dst/say \"\"hi\"\"\",\r\n" +
        "\r\n";
    EXPECT_EQ(ToText(m_store, request), expected);

    TempTree tree;
    ASSERT_TRUE(WriteReport(tree.Path("r.csv"), m_store, request).ok());
    EXPECT_EQ(tree.ReadFile("r.csv"), expected);

    // The same store in the text format: commas are plain characters there, and
    // a cell with a quote is quoted as in the comma format.
    request.format = ReportFormat::Text;
    const std::string text = ToText(m_store, request);
    EXPECT_TRUE(test::Holds(text, "/src/a,b.txt\t10\tJan/02/2020 03:04:05\tDec/31/2019 23:59:59\t9\t/dst/a,b.txt\t"
                                  "Access denied\r\n"));
    EXPECT_TRUE(test::Holds(text, "\"/src/say \"\"hi\"\"\"\t5\t"));
}

TEST_F(ReportWriterTest, CellsAreQuotedOnlyWhenTheyWouldBreakTheRow)
{
    // Unchanged: no quoting, escaping or trimming.
    EXPECT_EQ(ReportCell("", ReportFormat::Csv), "");
    EXPECT_EQ(ReportCell("   ", ReportFormat::Csv), "   ");
    EXPECT_EQ(ReportCell(" /a b/c ", ReportFormat::Text), " /a b/c ");
    EXPECT_EQ(ReportCell("a,b", ReportFormat::Text), "a,b");
    EXPECT_EQ(ReportCell("tab\there", ReportFormat::Csv), "tab\there");

    // Comma format.
    EXPECT_EQ(ReportCell("a,b", ReportFormat::Csv), "\"a,b\"");
    EXPECT_EQ(ReportCell("say \"x\"", ReportFormat::Csv), "\"say \"\"x\"\"\"");
    EXPECT_EQ(ReportCell("\"", ReportFormat::Csv), "\"\"\"\"");
    EXPECT_EQ(ReportCell("line\nbreak", ReportFormat::Csv), "\"line\nbreak\"");
    EXPECT_EQ(ReportCell("cr\rhere", ReportFormat::Csv), "\"cr\rhere\"");

    // Text format.
    EXPECT_EQ(ReportCell("tab\there", ReportFormat::Text), "\"tab\there\"");
    EXPECT_EQ(ReportCell("line\r\nbreak", ReportFormat::Text), "\"line\r\nbreak\"");
    EXPECT_EQ(ReportCell("\t\"q\"", ReportFormat::Text), "\"\t\"\"q\"\"\"");
    EXPECT_EQ(ReportCell("say \"x\"", ReportFormat::Text), "\"say \"\"x\"\"\"");

    // A file name with a line break stays one row.
    m_store.AddResultRow(ResultCategory::NotInSource, File("two\nlines", 1, kJan2));
    std::ostringstream out;
    WriteListSection(out, m_store, ResultCategory::NotInSource, ReportFormat::Text);
    EXPECT_EQ(out.str(), kOneSideColumns + "\"/dst/two\nlines\"\t1\tJan/02/2020 03:04:05\t\"/src/two\nlines\"\t\r\n" +
                             "\r\n");
}

TEST_F(ReportWriterTest, NoListCheckedGivesAnEmptyFileAndAnOldFileIsReplaced)
{
    m_store.AddResultRow(ResultCategory::NewerThanDestination, File("x", 1, kJan2));
    TempTree tree;
    tree.WriteFile("old.txt", "an older report\r\n");
    const ReportRequest none;
    ASSERT_TRUE(WriteReport(tree.Path("old.txt"), m_store, none).ok());
    EXPECT_EQ(tree.ReadFile("old.txt"), "");
    ASSERT_TRUE(WriteReport(tree.Path("new.txt"), m_store, none).ok());
    EXPECT_TRUE(tree.Exists("new.txt"));
    EXPECT_EQ(tree.ReadFile("new.txt"), "");

    // A list with no rows still gives its title, its column line and the empty line.
    ReportRequest four;
    four.include[4] = true;
    four.sectionCaptions[4] = "Can not find source (0)";
    ASSERT_TRUE(WriteReport(tree.Path("old.txt"), m_store, four).ok());
    EXPECT_EQ(tree.ReadFile("old.txt"), "---Can not find source (0)---\r\n" + kOneSideColumns + "\r\n");
    EXPECT_EQ(FolderEntries(tree.Root()), (std::vector<std::string>{"new.txt", "old.txt"}));
}

TEST_F(ReportWriterTest, AFailedWriteIsReportedAndLeavesTheOldFile)
{
    m_store.AddResultRow(ResultCategory::NotInDestination, File("a", 1, kJan2));
    const ReportRequest request = AllLists(m_store, ReportFormat::Text);
    TempTree tree;

    const auto missing = WriteReport(tree.Path("gone/r.txt"), m_store, request);
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(test::Holds(missing.error, "No such file or directory"));

    tree.MakeDir("folder.txt");
    EXPECT_FALSE(WriteReport(tree.Path("folder.txt"), m_store, request).ok());

    tree.WriteFile("locked/r.txt", "old\r\n");
    tree.Chmod("locked/r.txt", 0666);
    tree.Chmod("locked", 0555);
    const std::string path = tree.Path("locked/r.txt");
    EXPECT_EQ(test::RunUnprivileged([&] {
                  const auto result = WriteReport(path, m_store, request);
                  return !result.ok() && result.error.find("Permission denied") != std::string::npos;
              }),
              0);
    EXPECT_EQ(tree.ReadFile("locked/r.txt"), "old\r\n");
    EXPECT_EQ(FolderEntries(tree.Path("locked")), std::vector<std::string>{"r.txt"});
    EXPECT_EQ(FolderEntries(tree.Root()), (std::vector<std::string>{"folder.txt", "locked"}));
}

TEST(ReportFormat, SeparatorsExtensionsAndTheSaveNameRule)
{
    EXPECT_EQ(FieldSeparator(ReportFormat::Text), '\t');
    EXPECT_EQ(FieldSeparator(ReportFormat::Csv), ',');
    EXPECT_STREQ(ReportExtension(ReportFormat::Text), ".txt");
    EXPECT_STREQ(ReportExtension(ReportFormat::Csv), ".csv");
    EXPECT_STREQ(ReportFilterDescription(ReportFormat::Text), "Text (tab delimited) (*.txt)");
    EXPECT_STREQ(ReportFilterDescription(ReportFormat::Csv), "CSV (comma delimited) (*.csv)");

    EXPECT_EQ(WithReportExtension("/r/x", ReportFormat::Text), "/r/x.txt");
    EXPECT_EQ(WithReportExtension("/r/x.TXT", ReportFormat::Text), "/r/x.TXT");
    EXPECT_EQ(WithReportExtension("/r/x.Txt", ReportFormat::Text), "/r/x.Txt");
    EXPECT_EQ(WithReportExtension("/r/x.csv", ReportFormat::Text), "/r/x.csv.txt");
    EXPECT_EQ(WithReportExtension("/r/x.txt", ReportFormat::Csv), "/r/x.txt.csv");
    EXPECT_EQ(WithReportExtension("/r/x.CSV", ReportFormat::Csv), "/r/x.CSV");
    EXPECT_EQ(WithReportExtension("/r/xtxt", ReportFormat::Text), "/r/xtxt.txt");
    EXPECT_EQ(WithReportExtension(".txt", ReportFormat::Text), ".txt");
    EXPECT_EQ(WithReportExtension("txt", ReportFormat::Text), "txt.txt");
    EXPECT_EQ(WithReportExtension("", ReportFormat::Csv), ".csv");
}

} // namespace
} // namespace tandrel::report
