#include "platform/CaseFold.h"

#include <windows.h>

namespace tandrel::platform {

char32_t UpperCase(char32_t c)
{
    // The invariant upper case, as the file systems' ordinal comparison
    // without regard to case uses it; a character beyond the 16-bit range
    // goes as its surrogate pair.
    wchar_t in[2];
    int length = 1;
    if (c <= 0xFFFF) {
        in[0] = static_cast<wchar_t>(c);
    } else {
        const char32_t above = c - 0x10000;
        in[0] = static_cast<wchar_t>(0xD800 + (above >> 10));
        in[1] = static_cast<wchar_t>(0xDC00 + (above & 0x3FF));
        length = 2;
    }
    wchar_t out[4];
    const int got = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, in, length, out, 4, nullptr, nullptr, 0);
    if (got == 1 && length == 1)
        return out[0];
    if (got == 2 && length == 2 && out[0] >= 0xD800 && out[0] <= 0xDBFF && out[1] >= 0xDC00 && out[1] <= 0xDFFF)
        return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) + (static_cast<char32_t>(out[1]) - 0xDC00);
    return c;
}

} // namespace tandrel::platform
