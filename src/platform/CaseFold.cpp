#include "platform/CaseFold.h"

#include <cstddef>

namespace tandrel::platform {

namespace {

// Marks a byte that begins no valid character; it is compared as it stands.
constexpr char32_t kLoneByte = 0x80000000;

// The character that begins at text[i]; moves i past it.
char32_t NextCharacter(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4                        ? 4
                                                                                     : 0;
    if (length == 0 || i + length > text.size()) {
        ++i;
        return kLoneByte | lead;
    }
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kLoneByte | lead;
        }
        c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and numbers past Unicode are not characters.
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return kLoneByte | lead;
    }
    i += length;
    return c;
}

char32_t Folded(char32_t c)
{
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
    return (c & kLoneByte) != 0 ? c : UpperCase(c);
}

bool IsAscii(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::size_t CharacterCount(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++count)
        NextCharacter(text, i);
    return count;
}

} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (Folded(NextCharacter(a, i)) != Folded(NextCharacter(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

std::u32string FoldedKey(std::string_view text)
{
    std::u32string key;
    for (std::size_t i = 0; i < text.size();)
        key.push_back(Folded(NextCharacter(text, i)));
    return key;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    // The usual case, an ASCII suffix: the text's last bytes are its last
    // characters when they are ASCII too.
    if (IsAscii(suffix)) {
        if (text.size() < suffix.size())
            return false;
        const std::string_view tail = text.substr(text.size() - suffix.size());
        if (IsAscii(tail))
            return EqualsNoCase(tail, suffix);
    }
    // A character and its upper case may differ in length (the dotless ı is
    // two bytes, I one), so the tail is counted in characters, not bytes.
    const std::size_t textCount = CharacterCount(text);
    const std::size_t suffixCount = CharacterCount(suffix);
    if (textCount < suffixCount)
        return false;
    std::size_t start = 0;
    for (std::size_t skipped = 0; skipped < textCount - suffixCount; ++skipped)
        NextCharacter(text, start);
    return EqualsNoCase(text.substr(start), suffix);
}

} // namespace tandrel::platform
