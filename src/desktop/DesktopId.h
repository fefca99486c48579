#pragma once

namespace tandrel::desktop {

// The program's desktop entry id. The desktop entry, the icon and the
// AppStream metadata are installed under this name (cmake/Install.cmake
// reads it from this line), and the taskbar progress names the entry by it.
inline constexpr char kDesktopId[] = "com.orvessa.Tandrel";

} // namespace tandrel::desktop
