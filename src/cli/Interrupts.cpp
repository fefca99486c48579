#include "cli/Interrupts.h"

namespace tandrel::cli {

static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the interrupt handlers may only touch lock-free atomics");

void Interrupts::Note()
{
    m_count.fetch_add(1);
    m_flag.Set(false);
}

bool Interrupts::Raise()
{
    m_flag.Set(true);
    if (Stopping())
        m_flag.Set(false);
    return m_flag.IsSet();
}

Interrupts& ProcessInterrupts()
{
    static Interrupts interrupts;
    return interrupts;
}

} // namespace tandrel::cli
