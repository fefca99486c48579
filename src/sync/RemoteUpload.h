#pragma once

#include "platform/remote/SftpClient.h"
#include "sync/RowRun.h"

#include <cstddef>
#include <string>

namespace tandrel::sync {

// The rows of a copy from this machine to a remote side, `window` of them
// at once on `client`: files by the safe write, links as links, folders
// made and given their sources' times once the run has put their content in.
SyncOutcome UploadRows(RowRun& frame, platform::remote::SftpClient& client, const platform::remote::SideAddress& side,
                       std::size_t window, const std::string& fromRoot, bool targetSeen, bool toDestination,
                       const CopyChoices& choices);

} // namespace tandrel::sync
