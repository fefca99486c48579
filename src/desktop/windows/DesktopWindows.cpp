#include "desktop/DesktopWindows.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace tandrel::desktop {

// Windows has one desktop per session and no connection to make.
struct DesktopWindows::Connection {};

DesktopWindows::DesktopWindows()
{
    Connect(nullptr);
}

DesktopWindows::DesktopWindows(const std::string& displayName)
{
    Connect(displayName.c_str());
}

DesktopWindows::~DesktopWindows() = default;

void DesktopWindows::Connect(const char*)
{
    m_connection = std::make_unique<Connection>();
}

namespace {

// Window handles are 32 bits wide on 64-bit Windows as well, so that
// 32- and 64-bit programs can hand them to each other.
HWND ToHandle(std::uint32_t window)
{
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(window));
}

} // namespace

std::optional<std::uint32_t> DesktopWindows::FindTopLevelWindow(const std::string& title) const
{
    std::wstring wide;
    if (!platform::ToWide(title, wide))
        return std::nullopt;
    const HWND window = FindWindowW(nullptr, wide.c_str());
    if (!window)
        return std::nullopt;
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
}

std::string DesktopWindows::WindowTitle(std::uint32_t window) const
{
    const HWND handle = ToHandle(window);
    const int length = GetWindowTextLengthW(handle);
    if (length <= 0)
        return {};
    std::wstring title(static_cast<std::size_t>(length) + 1, L'\0');
    title.resize(static_cast<std::size_t>(GetWindowTextW(handle, title.data(), length + 1)));
    std::string utf8;
    return platform::ToUtf8(title, utf8) ? utf8 : std::string();
}

bool DesktopWindows::Activate(std::uint32_t window) const
{
    const HWND handle = ToHandle(window);
    if (!IsWindow(handle))
        return false;
    if (IsIconic(handle))
        ShowWindow(handle, SW_RESTORE);
    // The system may refuse the foreground to a program that is not itself in
    // front; the window then flashes on the taskbar instead.
    SetForegroundWindow(handle);
    return true;
}

} // namespace tandrel::desktop
