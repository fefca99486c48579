#include "platform/CaseFold.h"

#include <locale.h>
#include <wctype.h>

namespace tandrel::platform {

char32_t UpperCase(char32_t c)
{
    // The C library's UTF-8 form of the C locale holds the Unicode mappings
    // (built into glibc since 2.35), whatever locale the user runs in.
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (unicode == static_cast<locale_t>(nullptr))
        return c;
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), unicode));
}

} // namespace tandrel::platform
