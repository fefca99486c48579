#include "platform/NetworkTarget.h"

#include "platform/FolderListing.h"

namespace tandrel::platform {

bool IsNetworkTarget(const std::string& root)
{
    const Fd folder(OpenFolder(root, kOpenAsAnchor));
    return folder.Valid() && IsNetworkFileSystem(folder.Get());
}

} // namespace tandrel::platform
