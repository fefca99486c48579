#pragma once

#include "platform/FileResult.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tandrel::platform {

// Reads the regular file at `path` from start to end, handing each piece to
// `piece`. Opened without waiting, so that a pipe or device in the file's
// place cannot stall the caller; anything but a regular file is not read.
// False when nothing could be read at all; a read error later ends the file
// with what came before it.
bool ReadRegularFile(const std::string& path, const std::function<void(std::string_view)>& piece);

// Reads whatever `path` names to its end (a regular file, a pipe, a device
// such as standard input), waiting for data as it comes, handing each piece
// to `piece`. Fails ("<what> '<path>': <reason>") when it cannot be opened or
// read, and as soon as more than `limit` bytes came.
FileResult ReadWholeFile(const std::string& what, const std::string& path, std::uint64_t limit,
                         const std::function<void(std::string_view)>& piece);

} // namespace tandrel::platform
