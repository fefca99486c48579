#pragma once

#include "engine/ContentCheck.h"
#include "engine/RunFlag.h"

#include <string>
#include <vector>

namespace tandrel::platform::remote {
class RemoteSides;
}

namespace tandrel::engine {

// CheckContents for a comparison of which one side or both are on remote
// hosts: each pair's paths are the roots' texts with the relative path
// appended. A remote file is read with many reads in flight on its host's
// connection (from `sides`), and many pairs are read at once; a local file
// is read as CheckContents reads it, without following links. The findings
// are those of CheckContents: the first differing offset, links compared by
// their texts, Unreadable with the server's or the system's reason (a lost
// connection gives ssh's), delivered in input order on the calling thread.
ContentCheckSummary CheckRemoteContents(const std::vector<FilePair>& pairs, const std::string& sourceRoot,
                                        const std::string& destinationRoot, platform::remote::RemoteSides& sides,
                                        const RunFlag& runFlag, ContentCheckObserver& observer,
                                        const ContentCheckOptions& options = {});

} // namespace tandrel::engine
