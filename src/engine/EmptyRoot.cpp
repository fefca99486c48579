#include "engine/EmptyRoot.h"

#include "platform/FolderListing.h"
#include "platform/remote/RemoteTree.h"

#include <vector>

namespace tandrel::engine {

namespace {

enum class Holding { Nothing, Something, Unknown };

Holding HoldingOf(const platform::remote::RemoteTree& tree)
{
    const platform::remote::RemoteFolder& root = tree.Root();
    if (!root.status.ok())
        return Holding::Unknown;
    return root.entries.empty() ? Holding::Nothing : Holding::Something;
}

Holding HoldingOf(const std::string& root, const platform::remote::RemoteTree* tree)
{
    if (tree)
        return HoldingOf(*tree);
    const platform::Fd fd(platform::OpenFolder(root, platform::kOpenToList));
    if (!fd.Valid())
        return Holding::Unknown;
    std::vector<platform::ListedEntry> entries;
    std::uint32_t count = 0;
    if (!platform::ReadListing(fd.Get(), entries, count))
        return Holding::Unknown;
    for (const platform::ListedEntry& entry : entries)
        if (entry.name != "." && entry.name != "..")
            return Holding::Something;
    return Holding::Nothing;
}

} // namespace

EmptyRoot FindEmptyRoot(const std::string& sourceRoot, const std::string& destinationRoot,
                        const platform::remote::RemoteTree* sourceTree,
                        const platform::remote::RemoteTree* destinationTree)
{
    const Holding source = HoldingOf(sourceRoot, sourceTree);
    const Holding destination = HoldingOf(destinationRoot, destinationTree);
    if (source == Holding::Nothing && destination == Holding::Something)
        return EmptyRoot::Source;
    if (destination == Holding::Nothing && source == Holding::Something)
        return EmptyRoot::Destination;
    return EmptyRoot::None;
}

ResultCategory ListOfEmptyRoot(EmptyRoot root)
{
    return root == EmptyRoot::Source ? ResultCategory::NotInSource : ResultCategory::NotInDestination;
}

std::string EmptyRootText(EmptyRoot root, const std::string& sourceRoot, const std::string& destinationRoot)
{
    if (root == EmptyRoot::None)
        return {};
    const bool source = root == EmptyRoot::Source;
    return std::string("The ") + (source ? "source" : "destination") + " folder '" +
           (source ? sourceRoot : destinationRoot) + "' is empty while the " + (source ? "destination" : "source") +
           " folder is not: if it is a drive or share that is not mounted, every item of the other side is listed "
           "under \"" + (source ? "Can not find source" : "Can not find destination") +
           "\", and deleting those rows would remove them all.";
}

} // namespace tandrel::engine
