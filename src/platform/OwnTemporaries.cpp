#include "platform/OwnTemporaries.h"

#include "platform/FileOps.h"

#include <cstddef>
#include <cstring>

namespace tandrel::platform {

namespace {

// Skips a run of at least one character satisfying `accept`; null when there is none.
template <typename Accept>
const char* SkipRun(const char* p, Accept accept, std::size_t exactly = 0)
{
    const char* start = p;
    while (*p && accept(*p))
        ++p;
    const auto length = static_cast<std::size_t>(p - start);
    if (length == 0 || (exactly != 0 && length != exactly))
        return nullptr;
    return p;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHex(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f');
}

const char* Expect(const char* p, const char* text)
{
    if (!p)
        return nullptr;
    const std::size_t n = std::strlen(text);
    return std::strncmp(p, text, n) == 0 ? p + n : nullptr;
}

} // namespace

bool IsOwnTemporaryName(const char* name)
{
    const char* p = Expect(name, kTempFilePrefix);
    if (p)
        p = SkipRun(p, IsDigit);
    p = Expect(p, "-");
    if (p)
        p = SkipRun(p, IsDigit);
    p = Expect(p, "-");
    if (p)
        p = SkipRun(p, IsHex, 8);
    p = Expect(p, ".tmp");
    return p && *p == '\0';
}

TemporarySweep::TemporarySweep(const struct timespec& runStart)
    : m_runStart(runStart)
{
}

void TemporarySweep::MadeByThisRun(const std::string& folder)
{
    const std::lock_guard lock(m_mutex);
    m_swept.emplace(folder, true); // a sweep already begun there runs to its end
}

void TemporarySweep::SweepOnce(const std::string& folder, const std::function<void()>& sweep)
{
    std::unique_lock lock(m_mutex);
    const auto added = m_swept.emplace(folder, false);
    const auto entry = added.first;
    if (!added.second) {
        m_sweepOver.wait(lock, [entry] { return entry->second; });
        return;
    }
    lock.unlock();
    sweep();
    lock.lock();
    entry->second = true;
    m_sweepOver.notify_all();
}

} // namespace tandrel::platform
