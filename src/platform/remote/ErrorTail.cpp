#include "platform/remote/ErrorTail.h"

namespace tandrel::platform::remote {

void ErrorTail::Append(std::string_view bytes)
{
    std::lock_guard lock(m_mutex);
    m_bytes.append(bytes);
    if (m_bytes.size() > kLimit)
        m_bytes.erase(0, m_bytes.size() - kLimit);
}

std::string ErrorTail::Text() const
{
    std::string bytes;
    {
        std::lock_guard lock(m_mutex);
        bytes = m_bytes;
    }
    std::string text;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty())
            text += (text.empty() ? "" : "; ") + line;
        start = end + 1;
    }
    return text;
}

} // namespace tandrel::platform::remote
