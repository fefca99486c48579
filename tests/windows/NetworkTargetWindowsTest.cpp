#include "platform/NetworkTarget.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace tandrel::platform {
namespace {

// Whether a target gets rows in flight: shares by their UNC name (which is
// not looked up), and the system's remote drives, but no local folder.
TEST(NetworkTargetWindows, SharesAndRemoteDrivesAreNetworkTargetsLocalFoldersAreNot)
{
    EXPECT_TRUE(IsNetworkTarget("\\\\server\\share"));
    EXPECT_TRUE(IsNetworkTarget("\\\\server\\share\\backup\\photos"));
    EXPECT_TRUE(IsNetworkTarget("//server/share/backup"));

    test::TempTree t;
    EXPECT_FALSE(IsNetworkTarget(t.Root()));
    EXPECT_FALSE(IsNetworkTarget(t.Path("not-there-yet")));
    EXPECT_FALSE(IsNetworkTarget(""));

    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(drives & (1u << letter)))
            continue;
        const std::string root{static_cast<char>('A' + letter), ':', '\\'};
        const std::wstring wideRoot{static_cast<wchar_t>(L'A' + letter), L':', L'\\'};
        EXPECT_EQ(IsNetworkTarget(root + "folder"), GetDriveTypeW(wideRoot.c_str()) == DRIVE_REMOTE) << root;
    }
}

} // namespace
} // namespace tandrel::platform
