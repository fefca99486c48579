#include "report/ReportWriter.h"

#include "report/ReportTestSupport.h"
#include "support/CsvRecords.h"
#include "support/Holds.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <limits>
#include <sstream>

namespace tandrel::report {
namespace {

using engine::CompareItem;
using engine::ResultCategory;
using test::CsvRecord;

// 2020-01-02 03:04:05 UTC.
constexpr std::int64_t kJan2 = 1577934245;

std::string Written(const engine::ResultStore& store, ReportFormat format)
{
    std::ostringstream out;
    WriteReport(out, store, test::AllLists(store, format));
    return out.str();
}

// The rows of one list as a reader must find them: the list's title line,
// column line, rows and empty line.
std::vector<CsvRecord> Expected(const engine::ResultStore& store)
{
    std::vector<CsvRecord> records;
    const auto titles = engine::DefaultCategoryCaptions();
    for (const auto category : engine::kAllCategories) {
        const auto k = static_cast<std::size_t>(engine::Index(category));
        records.push_back({"---" + titles[k] + " (" + std::to_string(store.Count(category)) + ")---"});
        records.push_back(engine::ColumnHeaders(category));
        for (const auto& item : store.List(category))
            records.push_back(engine::RowCells(store, category, item));
        records.push_back({""});
    }
    return records;
}

void ExpectReadsBackExactly(const engine::ResultStore& store)
{
    for (const ReportFormat format : {ReportFormat::Text, ReportFormat::Csv}) {
        SCOPED_TRACE(format == ReportFormat::Text ? "text format" : "comma format");
        const auto records = test::ParseCsvRecords(Written(store, format), FieldSeparator(format));
        ASSERT_TRUE(records.has_value());
        EXPECT_EQ(*records, Expected(store));
    }
}

class ReportReadBackTest : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_TIME, "C"); }
};

// Found by the report fuzzer: a cell of quotes in the text format was written
// bare, and a reader took its first quote for the start of a quoted cell.
TEST_F(ReportReadBackTest, CellOfQuotesInTheTextFormat)
{
    engine::ResultStore store;
    store.Reset("", "\xe8\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"\"", 0);
    CompareItem item;
    item.size = std::numeric_limits<std::int64_t>::min();
    item.modified = std::numeric_limits<std::int64_t>::min();
    item.counterpartSize = std::numeric_limits<std::int64_t>::min();
    item.counterpartModified = std::numeric_limits<std::int64_t>::max();
    store.AddResultRow(ResultCategory::OnlySizeChanged, std::move(item));
    ExpectReadsBackExactly(store);
}

TEST_F(ReportReadBackTest, NamesWithQuotesSeparatorsAndLineBreaks)
{
    engine::ResultStore store;
    store.Reset("/src/", "/dst/", 0);
    for (const char* name : {"\"draft\" notes.txt", "a,b\tc.txt", "two\r\nlines", "cr\ronly", "lf\nonly", "\"",
                             "plain.txt"}) {
        CompareItem item;
        item.relativePath = name;
        item.size = 12;
        item.modified = kJan2;
        item.SetStatusText(std::string("\"") + name + "\" failed, again");
        store.AddResultRow(ResultCategory::NotInDestination, std::move(item));
    }
    ExpectReadsBackExactly(store);
    const std::string text = Written(store, ReportFormat::Text);
    EXPECT_TRUE(test::Holds(text, "\r\n/src/plain.txt\t12\t")) << "plain cells stay bare";
    EXPECT_TRUE(test::Holds(text, "\r\n\"/src/\"\"draft\"\" notes.txt\"\t12\t"));
}

TEST(CsvRecords, ReaderRefusesWhatIsNotCsv)
{
    EXPECT_FALSE(test::ParseCsvRecords("a\"b\r\n", ',').has_value());
    EXPECT_FALSE(test::ParseCsvRecords("\"open\r\n", ',').has_value());
    EXPECT_FALSE(test::ParseCsvRecords("\"x\"y\r\n", ',').has_value());
    EXPECT_FALSE(test::ParseCsvRecords("lone\nlf\r\n", ',').has_value());
    EXPECT_EQ(test::ParseCsvRecords("a,\"b\"\"c\r\nd\"\r\n\r\n", ','),
              (std::vector<CsvRecord>{{"a", "b\"c\r\nd"}, {""}}));
    EXPECT_EQ(test::ParseCsvRecords("a\tb,c\t", '\t'), (std::vector<CsvRecord>{{"a", "b,c", ""}}));
}

} // namespace
} // namespace tandrel::report
