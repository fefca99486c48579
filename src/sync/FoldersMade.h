#pragma once

#include "engine/PathRules.h"

#include <mutex>
#include <string>
#include <unordered_set>

namespace tandrel::sync {

// The folders a copy run has made, for rows below them: what is in such a
// folder is what the run put there, so nothing needs a look. Rows on several
// threads note and ask at once.
class FoldersMade {
public:
    void Add(const std::string& relativePath)
    {
        const std::lock_guard lock(m_mutex);
        m_made.insert(relativePath);
    }
    bool HoldsParentOf(const std::string& relativePath)
    {
        const std::size_t cut = relativePath.rfind(engine::PathRules::Native().separator);
        if (cut == std::string::npos)
            return false;
        const std::lock_guard lock(m_mutex);
        return m_made.count(relativePath.substr(0, cut)) > 0;
    }

private:
    std::mutex m_mutex;
    std::unordered_set<std::string> m_made;
};

} // namespace tandrel::sync
