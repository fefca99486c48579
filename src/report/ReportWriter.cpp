#include "report/ReportWriter.h"

#include "platform/TextFile.h"

#include <vector>

namespace tandrel::report {

namespace {

void WriteCells(std::ostream& out, const std::vector<std::string>& cells, ReportFormat format,
                std::string_view lineEnd)
{
    const char separator = FieldSeparator(format);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out << separator;
        out << ReportCell(cells[i], format);
    }
    out << lineEnd;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

char FieldSeparator(ReportFormat format)
{
    return format == ReportFormat::Csv ? ',' : '\t';
}

const char* ReportExtension(ReportFormat format)
{
    return format == ReportFormat::Csv ? ".csv" : ".txt";
}

const char* ReportFilterDescription(ReportFormat format)
{
    return format == ReportFormat::Csv ? "CSV (comma delimited) (*.csv)" : "Text (tab delimited) (*.txt)";
}

std::string ReportCell(const std::string& text, ReportFormat format)
{
    // Only a cell that would otherwise break the row apart, or that holds a
    // quote a reader would take for one of ours, is quoted; all others are
    // written exactly as the list shows them. Both formats follow the same
    // rule, so that either reads back exactly with any RFC 4180 reader.
    const char* special = format == ReportFormat::Csv ? ",\"\r\n" : "\t\"\r\n";
    if (text.find_first_of(special) == std::string::npos)
        return text;
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.push_back('"');
    for (const char c : text) {
        if (c == '"')
            quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

void WriteListSection(std::ostream& out, const engine::ResultStore& store, engine::ResultCategory category,
                      ReportFormat format, std::string_view lineEnd)
{
    WriteCells(out, engine::ColumnHeaders(category), format, lineEnd);
    for (const auto& item : store.List(category))
        WriteCells(out, engine::RowCells(store, category, item), format, lineEnd);
    out << lineEnd;
}

void WriteReport(std::ostream& out, const engine::ResultStore& store, const ReportRequest& request)
{
    for (const auto category : engine::kAllCategories) {
        const auto k = static_cast<std::size_t>(engine::Index(category));
        if (!request.include[k])
            continue;
        out << "---" << request.sectionCaptions[k] << "---" << request.lineEnd;
        WriteListSection(out, store, category, request.format, request.lineEnd);
    }
}

platform::FileResult WriteReport(const std::string& path, const engine::ResultStore& store,
                                 const ReportRequest& request)
{
    return platform::WriteTextFile(path, [&](std::ostream& out) { WriteReport(out, store, request); });
}

std::string WithReportExtension(const std::string& path, ReportFormat format)
{
    const std::string extension = ReportExtension(format);
    if (path.size() >= extension.size()) {
        bool same = true;
        const std::size_t start = path.size() - extension.size();
        for (std::size_t i = 0; i < extension.size(); ++i)
            same = same && LowerAscii(path[start + i]) == extension[i];
        if (same)
            return path;
    }
    return path + extension;
}

} // namespace tandrel::report
