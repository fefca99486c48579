#include "platform/TextFile.h"

#include "platform/AtomicFile.h"
#include "platform/SystemText.h"

#include <algorithm>
#include <streambuf>

namespace tandrel::platform {

namespace {

bool IsAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Passes text on line by line in the system's text, as long as every line
// can be held; after the first that cannot, the rest is only swallowed.
class SystemTextBuffer : public std::streambuf {
public:
    explicit SystemTextBuffer(std::ostream& out) : m_out(out) {}

    // Passes an unfinished last line on; whether everything could be held.
    bool Finish()
    {
        if (!m_line.empty())
            PassLine();
        return m_held;
    }

protected:
    int_type overflow(int_type ch) override
    {
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            const char c = traits_type::to_char_type(ch);
            xsputn(&c, 1);
        }
        return traits_type::not_eof(ch);
    }

    std::streamsize xsputn(const char* data, std::streamsize count) override
    {
        std::string_view text(data, static_cast<std::size_t>(count));
        while (m_held && !text.empty()) {
            const auto end = text.find('\n');
            if (end == std::string_view::npos) {
                m_line.append(text);
                break;
            }
            m_line.append(text.substr(0, end + 1));
            text.remove_prefix(end + 1);
            PassLine();
        }
        return count;
    }

private:
    void PassLine()
    {
        if (IsAscii(m_line)) {
            m_out << m_line;
        } else if (ToSystemText(m_line, m_bytes) && (m_bytes == m_line || !IsValidUtf8(m_bytes))) {
            // Code-page bytes that happen to be valid UTF-8 would be read back
            // as UTF-8, naming something else; such a file needs the mark.
            m_out << m_bytes;
        } else {
            m_held = false;
        }
        m_line.clear();
    }

    std::ostream& m_out;
    std::string m_line;
    std::string m_bytes;
    bool m_held = true;
};

} // namespace

FileResult WriteTextFile(const std::string& path, const std::function<void(std::ostream&)>& render)
{
    {
        AtomicFile file(path);
        if (auto opened = file.Open(); !opened.ok())
            return opened;
        SystemTextBuffer buffer(file.Stream());
        std::ostream out(&buffer);
        render(out);
        if (buffer.Finish())
            return file.Commit();
    } // the temporary file of the first attempt goes here
    AtomicFile file(path);
    if (auto opened = file.Open(); !opened.ok())
        return opened;
    file.Stream() << kUtf8Mark;
    render(file.Stream());
    return file.Commit();
}

std::string_view TextFileLines::operator()(std::string_view line)
{
    if (m_first) {
        m_first = false;
        m_marked = line.starts_with(kUtf8Mark);
    }
    if (m_marked || IsValidUtf8(line))
        return line;
    if (FromSystemText(line, m_decoded))
        return m_decoded;
    return line;
}

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t size = text.size();
    while (i < size) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0; // no overlong forms
            else if (lead == 0xED)
                high = 0x9F; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F; // nothing above U+10FFFF
        } else {
            return false;
        }
        if (size - i < length)
            return false;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high)
            return false;
        for (std::size_t k = 2; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if (next < 0x80 || next > 0xBF)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace tandrel::platform
