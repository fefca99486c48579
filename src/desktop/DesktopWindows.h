#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tandrel::desktop {

// The desktop's top-level windows. On Linux: those of an X11 display,
// reached directly through xcb; the object connects to the display named by
// DISPLAY (or the one given); without an X server, as in a Wayland-only
// session, it stays unconnected and finds nothing. On Windows: the session's
// desktop (the display name is not used), a window being its HWND, which is
// 32 bits wide on 64-bit Windows as well.
class DesktopWindows {
public:
    DesktopWindows();
    explicit DesktopWindows(const std::string& displayName);
    ~DesktopWindows();
    DesktopWindows(const DesktopWindows&) = delete;
    DesktopWindows& operator=(const DesktopWindows&) = delete;

    bool IsConnected() const { return m_connection != nullptr; }

    // The first top-level window whose title (_NET_WM_NAME, else WM_NAME) is
    // exactly `title`. Top-level windows are those of the window manager's
    // client list (_NET_CLIENT_LIST); without an EWMH window manager, the
    // root's children and their children.
    std::optional<std::uint32_t> FindTopLevelWindow(const std::string& title) const;

    std::string WindowTitle(std::uint32_t window) const;

    // Brings the window forward. On Windows: restored when minimised, then
    // made the foreground window. On Linux, as a pager would (source indication 2). With
    // an EWMH window manager: _NET_ACTIVE_WINDOW, unless the window is
    // minimised, which stays minimised and asks for attention instead.
    // Without one: raised to the top and given the input focus if mapped.
    // True when the requests were sent.
    bool Activate(std::uint32_t window) const;

private:
    struct Connection;
    void Connect(const char* displayName);

    std::unique_ptr<Connection> m_connection;
};

} // namespace tandrel::desktop
