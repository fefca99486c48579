#include "desktop/windows/TaskbarButton.h"

#include <windows.h>
#include <shobjidl.h>

namespace tandrel::desktop {

bool SetTaskbarButtonState(std::uintptr_t window, TaskbarButtonState state)
{
    const HWND handle = reinterpret_cast<HWND>(window);
    if (!IsWindow(handle))
        return false;
    // S_FALSE when the thread's apartment was set up already (the window
    // toolkit does it); either way it is balanced below.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool done = false;
    ITaskbarList3* taskbar = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                   reinterpret_cast<void**>(&taskbar)))) {
        done = SUCCEEDED(taskbar->HrInit()) &&
               SUCCEEDED(taskbar->SetProgressState(
                   handle, state == TaskbarButtonState::Busy ? TBPF_INDETERMINATE : TBPF_NOPROGRESS));
        taskbar->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return done;
}

bool FlashTaskbarButton(std::uintptr_t window, bool on)
{
    const HWND handle = reinterpret_cast<HWND>(window);
    if (!IsWindow(handle))
        return false;
    FLASHWINFO flash{};
    flash.cbSize = sizeof flash;
    flash.hwnd = handle;
    flash.dwFlags = on ? FLASHW_TRAY | FLASHW_TIMERNOFG : FLASHW_STOP;
    FlashWindowEx(&flash);
    return true;
}

} // namespace tandrel::desktop
