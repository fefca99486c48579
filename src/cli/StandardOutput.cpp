#include "cli/StandardOutput.h"

#include "cli/Console.h"
#include "cli/StatusLine.h"

#include <iostream>
#include <string>

namespace tandrel::cli {

namespace {

// Holds each line until its LF and passes it on made safe; the line end
// itself (LF, or CR LF) goes out as it came.
class TerminalLines : public std::streambuf {
public:
    explicit TerminalLines(std::streambuf* out) : m_out(out) {}

protected:
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        const char c = traits_type::to_char_type(ch);
        return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
    }

    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        const std::string_view text(data, static_cast<std::size_t>(count));
        std::size_t start = 0;
        for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
            m_line.append(text.substr(start, end - start));
            if (!PassLine(true))
                return 0;
        }
        m_line.append(text.substr(start));
        return count;
    }

    int sync() override
    {
        if (!m_line.empty() && !PassLine(false))
            return -1;
        return m_out->pubsync();
    }

private:
    bool PassLine(bool ended)
    {
        std::string_view end = ended ? "\n" : "";
        std::string_view body = m_line;
        if (ended && body.ends_with('\r')) {
            body.remove_suffix(1);
            end = "\r\n";
        }
        const std::string shown = TerminalText(body) + std::string(end);
        m_line.clear();
        return m_out->sputn(shown.data(), static_cast<std::streamsize>(shown.size())) ==
               static_cast<std::streamsize>(shown.size());
    }

    std::streambuf* m_out;
    std::string m_line;
};

} // namespace

StandardOutput::StandardOutput()
{
    if (!IsTerminal(kStandardOutput))
        return;
    m_lines = std::make_unique<TerminalLines>(std::cout.rdbuf());
    m_previous = std::cout.rdbuf(m_lines.get());
}

StandardOutput::~StandardOutput()
{
    if (!m_previous)
        return;
    std::cout.flush();
    std::cout.rdbuf(m_previous);
}

} // namespace tandrel::cli
