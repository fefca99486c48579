#pragma once

#include "platform/FolderListing.h"
#include "settings/CompareOptions.h"

#include <string>
#include <vector>

namespace tandrel::engine {

// True when the attribute filters or the ignored names leave an entry out.
// Attributes as this platform has them: read-only = no owner write
// permission, hidden = a leading '.', system = not a regular file, folder or
// symbolic link, archive = never set (so IgnoreArchive never skips).
bool IsFilteredOut(const platform::ListedEntry& entry, const settings::CompareOptions& options,
                   const std::vector<std::string>* ignoredTypes);

// "." and "..", and every other folder whose name begins with '.', are never walked.
inline bool IsDotName(const std::string& name)
{
    return !name.empty() && name[0] == '.';
}

} // namespace tandrel::engine
