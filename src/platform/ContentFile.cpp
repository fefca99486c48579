#include "platform/ContentFile.h"

namespace tandrel::platform {

// Read to its end, the file must end where it did when opened, and look as it did then.
bool ContentFile::Unchanged(std::string& reason) const
{
    char past = 0;
    const long long more = ReadSome(&past, 1, m_size, reason);
    if (more < 0)
        return false;
    Stamp now;
    if (!StampNow(now, reason))
        return false;
    if (more == 0 && now == m_opened)
        return true;
    reason = "the file changed while it was being read";
    return false;
}

} // namespace tandrel::platform
