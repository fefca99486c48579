#pragma once

#include <QString>

#include <string>

namespace tandrel::gui {

// Conversions at the boundary between the core's text (std::string) and Qt.
//
// The core's text is UTF-8 in practice, but not always: a file name on Linux
// is bytes, and a settings line in no known encoding is kept as it came. The
// conversion therefore loses nothing: valid UTF-8 becomes the same characters
// as QString::fromUtf8 gives, and each byte that is not part of valid UTF-8
// becomes one lone low surrogate U+DC80..U+DCFF (a code point that valid
// UTF-8 can never produce), which FromQ turns back into that byte. So
// FromQ(ToQ(bytes)) == bytes for any bytes, and a name the user did not
// edit goes back to the core, and to the disk, exactly as it came.
QString ToQ(const std::string& bytes);
std::string FromQ(const QString& text);

} // namespace tandrel::gui
