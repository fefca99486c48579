#pragma once

#include <string>

namespace tandrel::platform {

// Whether files can be made in the folder (given with a trailing separator).
// A folder's read-only attribute says nothing on Windows; its access rules
// (those of Program Files, say) do, and only a try tells: a file is made
// there and goes again when closed.
bool CanCreateFilesIn(const std::wstring& folder);
bool CanCreateFilesIn(const std::string& folderUtf8);

} // namespace tandrel::platform
