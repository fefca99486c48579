#include "platform/DesktopWindows.h"
#include "platform/Sound.h"
#include "platform/windows/TaskbarButton.h"
#include "platform/windows/WindowsFiles.h"
#include "platform/windows/WritableFolder.h"
#include "windows/WinTestFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace tandrel::platform {
namespace {

using test::WinTestFolder;

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

TEST(WritableFolderWindows, OnlyAFolderThatTakesAFileCounts)
{
    WinTestFolder t;
    EXPECT_TRUE(CanCreateFilesIn(t.Root()));
    EXPECT_FALSE(CanCreateFilesIn(t.Path("missing\\")));
    // The probe goes again.
    std::vector<WindowsEntry> entries;
    ASSERT_TRUE(ListFolder(t.Root(), entries).ok());
    EXPECT_TRUE(entries.empty());
}

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
} // namespace tandrel::platform
