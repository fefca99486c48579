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
    // The separator ending the root ("/", "C:\" or "\\server\share\") is
    // stepped over: the first candidate is the path up to the first separator
    // after the root.
    for (std::size_t i = rules.RootLengthOf(path); i < path.size(); ++i) {
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

std::string LinkOnTheWay(const std::string& root, const std::string& path, engine::PathRules rules)
{
    const std::string base = rules.WithTrailingSeparator(root);
    const std::size_t start =
        !root.empty() && path.size() >= base.size() && path.compare(0, base.size(), base) == 0 ? base.size()
                                                                                            : rules.rootLength;
    for (std::size_t i = start; i < path.size(); ++i) {
        if (path[i] != rules.separator)
            continue;
        const std::string folder = path.substr(0, i);
        const platform::EntryKind kind = platform::LookUp(folder).kind;
        if (kind == platform::EntryKind::SymbolicLink)
            return folder;
        if (kind != platform::EntryKind::Folder)
            break;
    }
    return {};
}

} // namespace tandrel::sync
