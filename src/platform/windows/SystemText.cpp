#include "platform/SystemText.h"

#include "platform/windows/WideText.h"

#include <climits>
#include <windows.h>

namespace tandrel::platform {

namespace {

bool AnsiToWide(std::string_view bytes, std::wstring& wide)
{
    wide.clear();
    if (bytes.empty())
        return true;
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), length) == length;
}

} // namespace

bool ToSystemText(std::string_view text, std::string& bytes)
{
    bytes.clear();
    std::wstring wide;
    if (text.size() > INT_MAX || !ToWide(text, wide))
        return false;
    // A system set to UTF-8 as its code page holds everything; it also
    // refuses the "default character used" question for that code page.
    if (GetACP() == CP_UTF8) {
        bytes.assign(text);
        return true;
    }
    if (wide.empty())
        return true;
    const int size = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const int length =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr, &usedDefault);
    if (length <= 0 || usedDefault)
        return false;
    bytes.resize(static_cast<std::size_t>(length));
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, bytes.data(), length, nullptr,
                            &usedDefault) != length ||
        usedDefault)
        return false;
    // What is written must read back as the same name, whatever mapping the
    // code page's tables hold.
    std::wstring back;
    return AnsiToWide(bytes, back) && back == wide;
}

bool FromSystemText(std::string_view bytes, std::string& text)
{
    text.clear();
    std::wstring wide;
    return bytes.size() <= INT_MAX && AnsiToWide(bytes, wide) && ToUtf8(wide, text);
}

} // namespace tandrel::platform
