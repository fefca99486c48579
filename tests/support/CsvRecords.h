#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::test {

using CsvRecord = std::vector<std::string>;

// A strict reader of RFC 4180 text, with the separator as a parameter (a
// tab for the text report): records end in CR LF, the last one may lack it;
// a field is either quoted, with "" standing for one quote and everything
// else, CR and LF included, taken as it is, or unquoted and free of the
// separator, quotes, CR and LF. Text that breaks these rules gives nothing.
inline std::optional<std::vector<CsvRecord>> ParseCsvRecords(std::string_view text, char separator)
{
    std::vector<CsvRecord> records;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        CsvRecord record;
        for (;;) {
            std::string field;
            if (text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= n)
                        return std::nullopt; // no closing quote
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field += text[i++];
                }
            } else {
                while (i < n && text[i] != separator && text[i] != '"' && text[i] != '\r' && text[i] != '\n')
                    field += text[i++];
            }
            record.push_back(std::move(field));
            if (i < n && text[i] == separator) {
                ++i;
                if (i == n)
                    record.emplace_back(); // an empty last field at the end of the text
                else
                    continue;
            }
            break;
        }
        records.push_back(std::move(record));
        if (i == n)
            break;
        if (text.substr(i, 2) != "\r\n")
            return std::nullopt; // a quote, CR or LF where none may be
        i += 2;
    }
    return records;
}

} // namespace tandrel::test
