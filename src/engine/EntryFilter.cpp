#include "engine/EntryFilter.h"

#include "engine/Scanner.h"
#include "platform/CaseFold.h"

#include <string_view>

namespace tandrel::engine {

bool MatchesIgnoredType(const std::string& name, const std::vector<std::string>& ignoredTypes)
{
    const std::string_view n(name);
    for (const std::string& pattern : ignoredTypes) {
        if (pattern.empty())
            continue;
        if (pattern.size() >= 2 && pattern[0] == '*' && pattern[1] == '.') {
            if (platform::EndsWithNoCase(n, std::string_view(pattern).substr(1)))
                return true;
        } else if (platform::EqualsNoCase(n, pattern)) {
            return true;
        }
    }
    return false;
}

bool IsFilteredOut(const platform::ListedEntry& entry, const settings::CompareOptions& o,
                   const std::vector<std::string>* ignoredTypes)
{
    if (settings::FilterOn(o.IgnoreArchive) && platform::IsArchived(entry))
        return true;
    if (settings::FilterOn(o.IgnoreHidden) && platform::IsHidden(entry))
        return true;
    if (settings::FilterOn(o.IgnoreReadonly) && platform::IsReadOnly(entry))
        return true;
    if (settings::FilterOn(o.IgnoreSystem) && platform::IsSystem(entry))
        return true;
    return ignoredTypes && MatchesIgnoredType(entry.name, *ignoredTypes);
}

} // namespace tandrel::engine
