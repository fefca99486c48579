#include "platform/SystemText.h"

namespace tandrel::platform {

// File names here are bytes; the files hold them exactly as the system gives them.
bool ToSystemText(std::string_view text, std::string& bytes)
{
    bytes.assign(text);
    return true;
}

bool FromSystemText(std::string_view bytes, std::string& text)
{
    text.assign(bytes);
    return true;
}

} // namespace tandrel::platform
