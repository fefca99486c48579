#pragma once

#include "platform/FileResult.h"

#include <cstdint>
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
// What a copy carries over from its source.
inline constexpr std::uint32_t kCarriedAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

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

// Wine opens a folder link as the folder it leads to, even with
// FILE_FLAG_OPEN_REPARSE_POINT, and shows the link only in the attributes of
// its name: there, the name's attributes are asked as well (elsewhere that
// would cost a round trip per folder on a network share, for nothing).
// The link bit when the name at `path` shows a link there, otherwise 0.
std::uint32_t LinkBitOfName(const std::wstring& path);

// For tests: the Recycle Bin is asked to take items without the request to
// be warned before anything is deleted for good, as a shell that ignores
// that request would, so that the check made afterwards can be seen at work.
void SetTrashWithoutNukeWarningForTesting(bool without);

FileResult ReadAttributes(const std::string& path, std::uint32_t& attributes);
FileResult WriteAttributes(const std::string& path, std::uint32_t attributes);

} // namespace tandrel::platform
