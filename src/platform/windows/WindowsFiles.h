#pragma once

#include "platform/FileResult.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tandrel::platform {

// The attribute bits as Windows keeps them.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrFolder = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrReparsePoint = 0x400; // junction or symbolic link: never followed

// One name of a folder as FindFirstFileExW reports it, "." and ".." left out.
struct WindowsEntry {
    std::string name;           // UTF-8
    std::uint32_t attributes = 0;
    std::int64_t size = 0;
    std::int64_t mtime = 0;     // last write, seconds since the epoch (UTC)
    bool IsFolder() const { return (attributes & kAttrFolder) && !(attributes & kAttrReparsePoint); }
};

// Every entry of `folder` in the order the file system gives them. A name
// that is not valid UTF-16 (a lone surrogate) cannot be named in UTF-8 and
// fails the listing rather than being altered.
FileResult ListFolder(const std::string& folder, std::vector<WindowsEntry>& entries);

// FILETIME ticks (100 ns since 1601) to whole seconds since 1970, rounded down.
std::int64_t EpochSecondsFromFileTime(std::uint64_t ticks);

FileResult ReadAttributes(const std::string& path, std::uint32_t& attributes);
FileResult WriteAttributes(const std::string& path, std::uint32_t attributes);
FileResult SetArchiveOnly(const std::string& path);

FileResult CreateFolder(const std::string& path);
FileResult RemoveFolder(const std::string& path);
// A read-only file is refused unless `removeReadOnly`; then its flag is cleared first.
FileResult RemoveFile(const std::string& path, bool removeReadOnly);

// Copies `from` over `to` without ever leaving a half-written `to`: the data
// goes to a temporary file in the target's folder, which gets the source's
// last-write time and attributes and is then moved over the target in one
// step. `progress` may cancel between steps; a failed or cancelled copy
// leaves the old target as it was and no temporary file behind.
// With `overwriteReadOnly` off, a read-only target is refused.
using CopySteps = std::function<bool(std::uint64_t bytesDone, std::uint64_t fileSize)>;
FileResult CopyFileSafely(const std::string& from, const std::string& to, bool overwriteReadOnly,
                          const CopySteps& progress = {});

} // namespace tandrel::platform
