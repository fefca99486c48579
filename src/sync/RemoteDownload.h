#pragma once

#include "platform/remote/SftpClient.h"
#include "sync/RowRun.h"

#include <cstddef>
#include <string>

namespace tandrel::sync {

// The rows of a copy from a remote side to this machine, `window` of them at
// once on `client`, each written as safely as a local copy and noted in
// `pending` for the flush at the end of the run.
SyncOutcome DownloadRows(RowRun& frame, platform::remote::SftpClient& client,
                         const platform::remote::SideAddress& side, std::size_t window, const std::string& fromRoot,
                         const std::string& toRoot, bool targetSeen, bool toDestination, const CopyChoices& choices,
                         PendingFlush& pending);

} // namespace tandrel::sync
