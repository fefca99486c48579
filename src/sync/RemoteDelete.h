#pragma once

#include "platform/remote/SftpClient.h"
#include "sync/RowRun.h"

#include <cstddef>
#include <string>

namespace tandrel::sync {

// The rows of a delete on a remote side, `window` of them at once on
// `client`, each item removed for good; a folder after everything in it.
SyncOutcome RemoveRemoteRows(RowRun& frame, platform::remote::SftpClient& client,
                             const platform::remote::SideAddress& side, std::size_t window);

} // namespace tandrel::sync
