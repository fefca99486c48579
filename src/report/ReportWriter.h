#pragma once

#include "engine/ResultCategory.h"
#include "engine/ResultStore.h"
#include "platform/FileResult.h"

#include <array>
#include <ostream>
#include <string>
#include <string_view>

namespace tandrel::report {

enum class ReportFormat { Text, Csv };

char FieldSeparator(ReportFormat format);          // '\t' or ','
const char* ReportExtension(ReportFormat format);  // ".txt" or ".csv"
const char* ReportFilterDescription(ReportFormat format);

// Which lists go into the report, and the caption each section's title shows
// (the tab caption with its count, such as "Newer than destination (3)").
struct ReportRequest {
    ReportFormat format = ReportFormat::Text;
    std::array<bool, engine::kCategoryCount + 1> include{}; // index 1..5
    engine::CategoryCaptions sectionCaptions;               // index 1..5
    std::string_view lineEnd = "\r\n";                      // a report file's; the command line's own output differs
};

// A cell as written: unchanged, unless it holds the separator (a comma or a
// tab), a double quote, CR or LF, in which case it is quoted as CSV does.
std::string ReportCell(const std::string& text, ReportFormat format);

// One list's column line, rows and closing empty line.
void WriteListSection(std::ostream& out, const engine::ResultStore& store, engine::ResultCategory category,
                      ReportFormat format, std::string_view lineEnd = "\r\n");
// The whole report into a stream.
void WriteReport(std::ostream& out, const engine::ResultStore& store, const ReportRequest& request);
// The whole report into a file (created or emptied), in the system's 8-bit
// text where it can hold every line, otherwise UTF-8 behind a byte-order
// mark (platform/TextFile.h); what failed, if anything.
platform::FileResult WriteReport(const std::string& path, const engine::ResultStore& store,
                                 const ReportRequest& request);

// The save flow's name rule: the extension is appended unless the last four
// characters already equal it without regard to case.
std::string WithReportExtension(const std::string& path, ReportFormat format);

} // namespace tandrel::report
