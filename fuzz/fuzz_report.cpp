// Report cells: a report of rows made from any bytes, in either format, is
// read back by a strict RFC 4180 reader (the tab format read with a tab as
// the separator) and every line and cell comes back exactly as written.

#include "FuzzCheck.h"

#include "engine/ResultStore.h"
#include "report/ReportWriter.h"
#include "support/CsvRecords.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

using namespace tandrel;
using engine::ResultCategory;
using fuzz::Fail;
using fuzz::Require;
using fuzz::RequireEqual;
using report::ReportFormat;

namespace {

using Record = test::CsvRecord;

void RequireSameRecords(const std::vector<Record>& actual, const std::vector<Record>& expected, const char* format)
{
    if (actual.size() != expected.size())
        Fail(std::string(format) + " report read back as " + std::to_string(actual.size()) + " lines, written " +
             std::to_string(expected.size()));
    for (std::size_t r = 0; r < actual.size(); ++r) {
        if (actual[r].size() != expected[r].size())
            Fail(std::string(format) + " report line " + std::to_string(r) + " read back with " +
                 std::to_string(actual[r].size()) + " cells, written with " + std::to_string(expected[r].size()));
        for (std::size_t c = 0; c < actual[r].size(); ++c) {
            if (actual[r][c] != expected[r][c])
                Fail(std::string(format) + " report line " + std::to_string(r) + " cell " + std::to_string(c) +
                     " read back as \"" + fuzz::Escaped(actual[r][c]) + "\", written \"" +
                     fuzz::Escaped(expected[r][c]) + "\"");
        }
    }
}

std::string Bytes(FuzzedDataProvider& input, std::size_t most)
{
    return input.ConsumeRandomLengthString(most);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    engine::ResultStore store;
    // Any offset a real time zone can have.
    const auto offset = input.ConsumeIntegralInRange<std::int64_t>(-14 * 3600, 14 * 3600);
    store.Reset(Bytes(input, 40), Bytes(input, 40), offset);

    report::ReportRequest request;
    for (std::size_t k = 1; k <= engine::kCategoryCount; ++k)
        request.include[k] = input.ConsumeBool();

    while (input.remaining_bytes() > 0 && store.TotalCount() < 40) {
        const auto category = static_cast<ResultCategory>(input.ConsumeIntegralInRange<int>(1, engine::kCategoryCount));
        engine::CompareItem item;
        item.relativePath = Bytes(input, 60);
        item.isFolder = input.ConsumeBool();
        item.size = input.ConsumeIntegral<std::int64_t>();
        item.modified = input.ConsumeIntegral<std::int64_t>();
        item.counterpartSize = input.ConsumeIntegral<std::int64_t>();
        item.counterpartModified = input.ConsumeIntegral<std::int64_t>();
        if (input.ConsumeBool())
            item.SetStatusText(Bytes(input, 60));
        store.AddResultRow(category, std::move(item));
    }

    // The save flow's name rule: the extension is appended unless the name
    // already ends in it, in any letter case.
    for (const ReportFormat format : {ReportFormat::Text, ReportFormat::Csv}) {
        const std::string& chosen = store.SourceRoot();
        const std::string named = report::WithReportExtension(chosen, format);
        const std::string extension = report::ReportExtension(format);
        const auto foldedEnd = [](const std::string& text, std::size_t count) {
            std::string end = text.substr(text.size() - count);
            for (char& c : end)
                c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
            return end;
        };
        const bool hadIt = chosen.size() >= extension.size() && foldedEnd(chosen, extension.size()) == extension;
        RequireEqual(named, hadIt ? chosen : chosen + extension, "report file name");
    }

    const engine::CategoryCaptions titles = engine::DefaultCategoryCaptions();
    for (const auto category : engine::kAllCategories) {
        const auto k = static_cast<std::size_t>(engine::Index(category));
        request.sectionCaptions[k] = titles[k] + " (" + std::to_string(store.Count(category)) + ")";
    }

    // The lines the report must hold, cell by cell.
    std::vector<Record> expected;
    for (const auto category : engine::kAllCategories) {
        const auto k = static_cast<std::size_t>(engine::Index(category));
        if (!request.include[k])
            continue;
        expected.push_back({"---" + request.sectionCaptions[k] + "---"});
        expected.push_back(engine::ColumnHeaders(category));
        for (const auto& item : store.List(category))
            expected.push_back(engine::RowCells(store, category, item));
        expected.push_back({""});
    }

    for (const ReportFormat format : {ReportFormat::Text, ReportFormat::Csv}) {
        const char* name = format == ReportFormat::Text ? "tab-delimited" : "comma-delimited";
        request.format = format;
        std::ostringstream out;
        report::WriteReport(out, store, request);
        const std::string text = out.str();
        Require(text.empty() == expected.empty(), "a report with sections is empty, or one without is not");
        Require(text.empty() || text.compare(text.size() - 2, 2, "\r\n") == 0, "the report does not end in CR LF");
        const auto records = test::ParseCsvRecords(text, report::FieldSeparator(format));
        if (!records)
            Fail(std::string(name) + " report is not well-formed: \"" + fuzz::Escaped(text) + "\"");
        RequireSameRecords(*records, expected, name);

        // A cell that needs no quotes is written exactly as the list shows it.
        for (const auto& record : expected) {
            for (const auto& cell : record) {
                const std::string written = report::ReportCell(cell, format);
                const bool plain = cell.find_first_of(format == ReportFormat::Text ? "\t\"\r\n" : ",\"\r\n") ==
                                   std::string::npos;
                if (plain)
                    RequireEqual(written, cell, "a plain cell was changed");
                else
                    Require(written.size() >= cell.size() + 2 && written.front() == '"' && written.back() == '"',
                            "a cell that needs quotes is not quoted");
            }
        }
    }
    return 0;
}
