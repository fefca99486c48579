#include "settings/SettingsFile.h"

#include "platform/FileOps.h"
#include "platform/windows/WindowsFiles.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::settings {
namespace {

using test::TempTree;

SettingsState SampleState()
{
    SettingsState state;
    ReadSettingsText("", state);
    state.recentSources[0] = "C:\\Users\\ana\\Documents";
    state.recentDestinations[0] = "\\\\nas\\backup\\docs";
    state.projectList.push_back("Photos|C:\\Photos|E:\\Photos");
    state.ignoredTypes.push_back("*.tmp");
    return state;
}

TEST(SettingsFileWindows, WrittenAndReadBackThroughTheSystem)
{
    TempTree t;
    const SettingsState written = SampleState();
    ASSERT_TRUE(WriteSettings(t.Path(kSettingsFileName), written).ok());
    EXPECT_EQ(t.ReadFile(kSettingsFileName), SettingsText(written));
    SettingsState read;
    ReadSettings(t.Path(kSettingsFileName), read);
    EXPECT_EQ(SettingsText(read), SettingsText(written));
    EXPECT_EQ(read.recentDestinations[0], "\\\\nas\\backup\\docs");
}

TEST(SettingsFileWindows, NothingButARegularFileIsRead)
{
    TempTree t;
    ASSERT_TRUE(platform::CreateFolder(t.Path("folder.ini")).ok());
    SettingsState defaults;
    ReadSettingsText("", defaults);
    for (const char* name : {"folder.ini", "absent.ini"}) {
        SettingsState state;
        state.options.IgnoreHidden = 7;
        ReadSettings(t.Path(name), state);
        EXPECT_EQ(SettingsText(state), SettingsText(defaults)) << name;
    }
}

} // namespace
} // namespace tandrel::settings
