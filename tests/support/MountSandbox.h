#pragma once

#include <functional>
#include <string>

namespace tandrel::test {

// The outcome of a body run in a child with a mount namespace of its own.
struct SandboxOutcome {
    bool skipped = false; // no private mount namespace could be had; `text` says why
    std::string text;     // what the body found wrong (empty: nothing), or why it was skipped
};

// Runs `body` in a forked child that has a private mount namespace (which
// takes root), so that it may mount without touching the rest of the system.
// The body returns the description of what it found wrong, empty when all
// held; gtest assertions cannot report from the child.
SandboxOutcome RunInMountSandbox(const std::function<std::string()>& body);

// Mount a fresh tmpfs on the folder `where`, or bind the folder `from`
// there; the error text, empty on success. For use inside the sandbox.
std::string MountTmpfs(const std::string& where, const std::string& options = "mode=0755");
std::string BindMount(const std::string& from, const std::string& where);

// Why no exFAT file system can be mounted here (its tools, FUSE or loop
// devices missing); empty when one can.
std::string ExfatUnavailable();

// Makes an exFAT file system in the new file `image` and mounts it on `where`
// through exfat-fuse (on a loop device, as exfat-fuse run by root wants a
// block device); the error text, empty on success. For use inside the
// sandbox; UnmountExfat undoes it before the sandbox ends.
std::string MountExfat(const std::string& image, const std::string& where);
void UnmountExfat(const std::string& where);

// Why no folder can be served through sshfs here (sshfs, the SFTP server or
// FUSE missing); empty when one can.
std::string SshfsUnavailable();

// Mounts the folder `served` on `where` through sshfs talking straight to a
// local SFTP server over two pipes (no ssh, no network); the server logs every
// request it handles into the file `log`. The error text, empty on success.
// For use inside the sandbox; UnmountSshfs undoes it before the sandbox ends.
std::string MountSshfs(const std::string& served, const std::string& where, const std::string& log);
void UnmountSshfs(const std::string& where);

} // namespace tandrel::test
