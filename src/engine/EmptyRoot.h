#pragma once

#include "engine/ResultCategory.h"

#include <string>

namespace tandrel::platform::remote {
class RemoteTree;
}

namespace tandrel::engine {

// A root that holds no entry at all while the other root holds some: a
// backup drive that is not mounted, a share that did not connect. Every item
// of the other side then lands in one "Can not find" list, and deleting that
// list's rows would remove them all.
enum class EmptyRoot { None, Source, Destination };

// Which root is empty while the other is not. A root that cannot be read
// counts as not empty here: the scan reports it on its own.
// A root given a remote tree (not null) is judged by the tree's root listing.
EmptyRoot FindEmptyRoot(const std::string& sourceRoot, const std::string& destinationRoot,
                        const platform::remote::RemoteTree* sourceTree = nullptr,
                        const platform::remote::RemoteTree* destinationTree = nullptr);

// The list that then holds every item of the other side: "Can not find
// destination" for an empty destination, "Can not find source" for an empty source.
ResultCategory ListOfEmptyRoot(EmptyRoot root);

// One sentence that says which folder is empty and what that means.
std::string EmptyRootText(EmptyRoot root, const std::string& sourceRoot, const std::string& destinationRoot);

} // namespace tandrel::engine
