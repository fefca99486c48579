#pragma once

#include "platform/FileResult.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace tandrel::platform {

// The program's text files (the settings file, the reports) are 8-bit text
// with CR LF. They are written in the system's text (SystemText.h) whenever
// it can hold every line exactly, so that older files and the user's tools
// keep working. When a line cannot be held (on Windows, a name with letters
// outside the ANSI code page), the whole file is written as UTF-8 behind a
// byte-order mark instead: a name is never lost or written as another name.

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// Writes the UTF-8 text that `render` puts into the stream it is given to
// the file at `path`, through a temporary file renamed over the old one.
// `render` may be called twice: once for the system's text and, if that
// cannot hold it, once more for UTF-8.
FileResult WriteTextFile(const std::string& path, const std::function<void(std::ostream&)>& render);

// Turns the lines of a text file, in order, into the core's text.
//
// A file that begins with the mark is UTF-8 throughout; the mark is left at
// the start of the first line, as in the file. In a file without it, a line
// that is valid UTF-8 is taken as UTF-8: files saved by editors that write
// UTF-8 without a mark, or copied from a POSIX system, keep their names; an
// ANSI line is practically never valid UTF-8 (the writer makes sure its own
// never are). Any other line is in the system's text. A line valid in
// neither (a file from a machine with another code page, or damaged) keeps
// its bytes untouched: shown with replacement characters, refused as a path,
// and written back as it came, rather than guessed into a different name.
class TextFileLines {
public:
    std::string_view operator()(std::string_view line);

private:
    bool m_first = true;
    bool m_marked = false;
    std::string m_decoded;
};

// Well-formed UTF-8: no overlong forms, surrogates or characters above U+10FFFF.
bool IsValidUtf8(std::string_view text);

} // namespace tandrel::platform
