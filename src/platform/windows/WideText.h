#pragma once

#include "platform/FileResult.h"

#include <string>
#include <string_view>

namespace tandrel::platform {

// UTF-8 is the core's text; UTF-16 is spoken only at the system calls.
// Text that is not valid in its encoding is refused, never patched with
// replacement characters: a name altered on the way would name another file.
bool ToWide(std::string_view utf8, std::wstring& wide);
bool ToUtf8(std::wstring_view wide, std::string& utf8);

// The form of `path` handed to the file system: absolute, with backslashes,
// "." and ".." resolved, and behind the "\\?\" prefix ("\\?\UNC\" for a
// share) so that paths longer than MAX_PATH work.
FileResult SystemPath(const std::string& path, std::wstring& systemPath);

// The system path ("\\?\C:\...") of what an open handle names, links resolved.
bool FinalPathOf(void* handle, std::wstring& path);

// The system's message for a GetLastError() code, without the closing full stop.
std::string SystemMessage(unsigned long error);

// "<what> '<path>': <the system's message for `error`>"
FileResult WindowsFailure(const std::string& what, const std::string& path, unsigned long error);

} // namespace tandrel::platform
