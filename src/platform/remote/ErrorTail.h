#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace tandrel::platform::remote {

// The end of what a child process writes to its error output, collected by
// one thread and read by others: enough to carry its reason for failing.
class ErrorTail {
public:
    void Append(std::string_view bytes);
    // The last lines kept, without carriage returns, blank lines or the
    // trailing newline, joined by "; ".
    std::string Text() const;

private:
    static constexpr std::size_t kLimit = 4096;
    mutable std::mutex m_mutex;
    std::string m_bytes;
};

} // namespace tandrel::platform::remote
