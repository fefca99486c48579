#include "sync/PathRoutines.h"

namespace tandrel::sync {

std::string ParentFolder(const std::string& path, engine::PathRules rules)
{
    return rules.ParentFolder(path);
}

} // namespace tandrel::sync
