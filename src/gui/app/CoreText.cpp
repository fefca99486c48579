#include "gui/app/CoreText.h"

#include "platform/TextFile.h"

#include <string_view>

namespace tandrel::gui {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // byte b (0x80..0xFF) is held as U+DC00 + b

bool IsEscapedByte(QChar c)
{
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 if
// none starts there.
std::size_t SequenceLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text.front());
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (text.size() < length)
        return 0;
    return platform::IsValidUtf8(text.substr(0, length)) ? length : 0;
}

} // namespace

QString ToQ(const std::string& bytes)
{
    if (platform::IsValidUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    std::string_view rest(bytes);
    while (!rest.empty()) {
        if (const std::size_t length = SequenceLength(rest)) {
            text += QString::fromUtf8(rest.data(), static_cast<qsizetype>(length));
            rest.remove_prefix(length);
        } else {
            text += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(rest.front())));
            rest.remove_prefix(1);
        }
    }
    return text;
}

std::string FromQ(const QString& text)
{
    std::string bytes;
    qsizetype start = 0; // of the run of characters not yet converted
    const auto flush = [&](qsizetype end) {
        if (end > start)
            bytes += QStringView(text).sliced(start, end - start).toUtf8().toStdString();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        // The low half of a surrogate pair is a character's, not a byte's.
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!IsEscapedByte(text[i]))
            continue;
        flush(i);
        bytes += static_cast<char>(text[i].unicode() - kEscapeBase);
        start = i + 1;
    }
    flush(text.size());
    return bytes;
}

} // namespace tandrel::gui
