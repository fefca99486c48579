#pragma once

#include <cstdint>
#include <string>

namespace tandrel::platform {

// The outcome of a file operation: empty on success, otherwise what failed
// and why, in the system's words, with the path. `cancelled` marks work
// abandoned on request rather than failed; nothing was changed then.
struct FileResult {
    std::string error;
    bool cancelled = false;
    int errorNumber = 0; // the errno value of a failure made by ErrnoFailure, else 0
    bool ok() const { return error.empty(); }
    static FileResult Success() { return {}; }
    static FileResult Failure(std::string text) { return FileResult{std::move(text), false, 0}; }
    static FileResult Cancelled(std::string text) { return FileResult{std::move(text), true, 0}; }
};

// "<what> '<path>': <strerror(err)>"
FileResult ErrnoFailure(const std::string& what, const std::string& path, int err);

// "<what> '<path>': " and the system's own text of a refused access
// (strerror(EACCES) on POSIX, FormatMessageW's ERROR_ACCESS_DENIED on Windows),
// for what the program itself refuses to touch.
FileResult AccessDenied(const std::string& what, const std::string& path);

// "<what> '<path>': it is larger than 16 MiB", for a file refused past `limit` bytes.
FileResult TooLargeFailure(const std::string& what, const std::string& path, std::uint64_t limit);

// The folder a path's entry lives in ("." for a bare name, "/" for an entry
// of the root), where temporary files for replacing it are made.
std::string FolderOf(const std::string& path);

} // namespace tandrel::platform
