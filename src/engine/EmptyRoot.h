#pragma once

#include "engine/ResultCategory.h"

#include <string>

namespace tandrel::engine {

// A root that holds no entry at all while the other root holds some: a
// backup drive that is not mounted, a share that did not connect. Every item
// of the other side then lands in one "Can not find" list, and deleting that
// list's rows would remove them all.
enum class EmptyRoot { None, Source, Destination };

// Which root is empty while the other is not. A root that cannot be read
// counts as not empty here: the scan reports it on its own.
EmptyRoot FindEmptyRoot(const std::string& sourceRoot, const std::string& destinationRoot);

// The list that then holds every item of the other side: "Can not find
// destination" for an empty destination, "Can not find source" for an empty source.
ResultCategory ListOfEmptyRoot(EmptyRoot root);

// One sentence that says which folder is empty and what that means.
std::string EmptyRootText(EmptyRoot root, const std::string& sourceRoot, const std::string& destinationRoot);

} // namespace tandrel::engine
