#pragma once

#include "engine/PathRules.h"

#include <string>
#include <vector>

namespace tandrel::sync {

// The characters of `path` before its last separator, the separator
// excluded; empty text when there is none ("/a/b.txt" gives "/a").
std::string ParentFolder(const std::string& path, engine::PathRules rules = engine::PathRules::Native());

// The folders MakeFolderPath tries to create, in order: for every separator
// after the root the path up to it, then the whole path.
std::vector<std::string> FolderPathSteps(const std::string& path,
                                         engine::PathRules rules = engine::PathRules::Native());

// Creates the folder and every missing folder above it. A creation that
// fails (it exists, the name is not valid, access is denied) is passed over;
// nothing is reported. A copy into a folder that could not be made fails
// later, at the copy.
void MakeFolderPath(const std::string& path);

// The first folder on the way from `root` down to the folder holding `path`
// that is a symbolic link, or empty text when there is none. The root itself
// may be a link (the user chose it); what lies below it is never followed, so
// an item whose way passes a link is neither written nor deleted. The walk
// stops at the first level that is missing or not a folder.
std::string LinkOnTheWay(const std::string& root, const std::string& path,
                         engine::PathRules rules = engine::PathRules::Native());

} // namespace tandrel::sync
