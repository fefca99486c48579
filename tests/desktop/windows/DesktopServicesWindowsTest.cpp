#include "desktop/DesktopWindows.h"
#include "desktop/Sound.h"
#include "desktop/windows/TaskbarButton.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <optional>

namespace tandrel::desktop {
namespace {

// A top-level window of this test's own, as the companion's would be.
class OwnWindow {
public:
    explicit OwnWindow(const wchar_t* title)
        : m_window(CreateWindowExW(0, L"STATIC", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~OwnWindow()
    {
        if (m_window)
            DestroyWindow(m_window);
    }
    HWND Handle() const { return m_window; }
    std::uint32_t Id() const { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(m_window)); }

private:
    HWND m_window;
};

TEST(SoundWindows, WhatIsNotAWaveIsNotHandedToTheSoundSystem)
{
    const unsigned char notWave[] = "RIFF\x04\x00\x00\x00WAVX";
    EXPECT_FALSE(PlayWaveFromMemory(notWave, sizeof notWave - 1));
    EXPECT_FALSE(PlayWaveFromMemory(nullptr, 0));
}

TEST(DesktopWindowsWindows, FindsTheWindowByItsWholeTitleAndRestoresIt)
{
    OwnWindow window(L"Daylark test window \u00e9");
    if (!window.Handle())
        GTEST_SKIP() << "no window can be made here (Wine without a display)";
    const DesktopWindows desktop;
    ASSERT_TRUE(desktop.IsConnected());
    EXPECT_EQ(desktop.FindTopLevelWindow("Daylark test window \xc3\xa9"), window.Id());
    EXPECT_EQ(desktop.FindTopLevelWindow("Daylark test"), std::nullopt);
    EXPECT_EQ(desktop.WindowTitle(window.Id()), "Daylark test window \xc3\xa9");

    ShowWindow(window.Handle(), SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window.Handle()));
    EXPECT_TRUE(desktop.Activate(window.Id()));
    EXPECT_FALSE(IsIconic(window.Handle()));
}

TEST(TaskbarButtonWindows, AWindowThatIsNotThereIsRefused)
{
    EXPECT_FALSE(SetTaskbarButtonState(0, TaskbarButtonState::Busy));
    EXPECT_FALSE(FlashTaskbarButton(0, true));
    EXPECT_FALSE(DesktopWindows().Activate(0));
}

} // namespace
} // namespace tandrel::desktop
