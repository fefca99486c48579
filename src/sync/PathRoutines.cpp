#include "sync/PathRoutines.h"

#include "platform/FileOps.h"

namespace tandrel::sync {

std::string ParentFolder(const std::string& path, engine::PathRules rules)
{
    return rules.ParentFolder(path);
}

std::vector<std::string> FolderPathSteps(const std::string& path, engine::PathRules rules)
{
    std::vector<std::string> steps;
    if (path.empty())
        return steps;
    // The separator ending the root ("/" or "C:\") is stepped over: the first
    // candidate is the path up to the first separator after the root.
    for (std::size_t i = rules.rootLength; i < path.size(); ++i) {
        if (path[i] == rules.separator)
            steps.push_back(path.substr(0, i));
    }
    steps.push_back(path);
    return steps;
}

void MakeFolderPath(const std::string& path)
{
    for (const std::string& folder : FolderPathSteps(path))
        platform::CreateFolder(folder);
}

} // namespace tandrel::sync
