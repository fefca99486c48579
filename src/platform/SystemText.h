#pragma once

#include <string>
#include <string_view>

namespace tandrel::platform {

// The system's 8-bit text, which the program's text files (the settings file,
// the reports) are written in: on POSIX the bytes as they are (file names as
// the system gives them, UTF-8 in practice); on Windows the ANSI code page.
// The core's text is UTF-8.

// False when `text` holds anything the system's text cannot hold exactly
// (a letter outside the code page, or bytes that are not UTF-8); `bytes` is
// then of no use. Nothing is ever replaced by a look-alike or a '?'.
bool ToSystemText(std::string_view text, std::string& bytes);

// False when `bytes` are not valid in the system's text; `text` is then of no use.
bool FromSystemText(std::string_view bytes, std::string& text);

} // namespace tandrel::platform
