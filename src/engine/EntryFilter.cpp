#include "engine/EntryFilter.h"

#include "engine/Scanner.h"

#include <string_view>

namespace tandrel::engine {

namespace {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

} // namespace

bool MatchesIgnoredType(const std::string& name, const std::vector<std::string>& ignoredTypes)
{
    const std::string_view n(name);
    for (const std::string& pattern : ignoredTypes) {
        if (pattern.empty())
            continue;
        if (pattern.size() >= 2 && pattern[0] == '*' && pattern[1] == '.') {
            const std::string_view suffix = std::string_view(pattern).substr(1);
            if (n.size() >= suffix.size() && EqualsNoCase(n.substr(n.size() - suffix.size()), suffix))
                return true;
        } else if (EqualsNoCase(n, pattern)) {
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
