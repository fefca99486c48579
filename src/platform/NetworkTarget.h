#pragma once

#include <string>

namespace tandrel::platform {

// True when the folder `root` (which need not exist yet on Windows) lies on
// a network file system, where every step of a file is a round trip: on
// Linux the file system of the folder (NFS, SMB, FUSE such as sshfs, ...);
// on Windows a UNC path (\\server\share) or a drive the system calls remote
// (a mapped network drive). False when it cannot be told.
bool IsNetworkTarget(const std::string& root);

} // namespace tandrel::platform
