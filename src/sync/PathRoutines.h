#pragma once

#include "engine/PathRules.h"

#include <string>

namespace tandrel::sync {

// The characters of `path` before its last separator, the separator
// excluded; empty text when there is none ("/a/b.txt" gives "/a").
std::string ParentFolder(const std::string& path, engine::PathRules rules = engine::PathRules::Native());

} // namespace tandrel::sync
