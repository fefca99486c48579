#include "gui/run/CompanionStart.h"

#include "support/TempTree.h"

#include <QFile>
#include <QtTest/QTest>

#include <windows.h>

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

// The companion opens maximised: the show state it is handed says so.
TEST(CompanionStartWindows, TheCompanionIsStartedMaximisedInItsOwnFolder)
{
    test::TempTree tree;
    tree.MakeDir("Daylark");
    const QString program = QString::fromStdString(tree.Path("Daylark/Larkrun.exe"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TANDREL_SHOW_STATE_PROBE), program));

    ASSERT_TRUE(StartCompanionProgram(program));
    const std::string noted = tree.Path("Daylark/show-state");
    EXPECT_TRUE(QTest::qWaitFor([&] { return tree.Exists("Daylark/show-state"); }, 20000)) << noted;
    EXPECT_EQ(tree.ReadFile("Daylark/show-state"), "1 " + std::to_string(SW_SHOWMAXIMIZED));
}

TEST(CompanionStartWindows, AMissingProgramIsNotStarted)
{
    test::TempTree tree;
    EXPECT_FALSE(StartCompanionProgram(QString::fromStdString(tree.Path("Daylark/Larkrun.exe"))));
}

} // namespace
} // namespace tandrel::gui
