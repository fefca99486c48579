#include "RunTestSupport.h"
#include "gui/AppSetup.h"
#include "gui/ComparisonRun.h"
#include "gui/Form1.h"
#include "gui/FormGuide.h"
#include "gui/FormWait.h"
#include "gui/Registry.h"
#include "gui/StartArguments.h"

#include "ModalDriver.h"
#include "ScriptedDialogs.h"
#include "support/TempTree.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QSettings>

#include <gtest/gtest.h>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;

StartRequest Parse(const QStringList& arguments)
{
    return ParseStartArguments(QStringList{QStringLiteral("/usr/bin/tandrel")} + arguments,
                               QStringLiteral("/home/u/work"));
}

TEST(StartArgumentsTest, NoArgumentsStartsAsUsual)
{
    const StartRequest request = Parse({});
    EXPECT_TRUE(request.start);
    EXPECT_TRUE(request.source.isEmpty());
    EXPECT_TRUE(request.destination.isEmpty());
    EXPECT_TRUE(request.output.isEmpty());
    EXPECT_TRUE(request.error.isEmpty());
}

TEST(StartArgumentsTest, TwoFoldersComeOutAbsoluteAndClean)
{
    const StartRequest request = Parse({QStringLiteral("photos/"), QStringLiteral("/media/backup/./photos")});
    EXPECT_TRUE(request.start);
    EXPECT_EQ(request.source, QStringLiteral("/home/u/work/photos"));
    EXPECT_EQ(request.destination, QStringLiteral("/media/backup/photos"));

    const StartRequest one = Parse({QStringLiteral("../a")});
    EXPECT_TRUE(one.start);
    EXPECT_EQ(one.source, QStringLiteral("/home/u/a"));
    EXPECT_TRUE(one.destination.isEmpty());
}

TEST(StartArgumentsTest, WhatCannotBeUnderstoodEndsWithStatusTwo)
{
    const StartRequest three = Parse({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    EXPECT_FALSE(three.start);
    EXPECT_EQ(three.exitCode, 2);
    EXPECT_TRUE(three.error.contains(QStringLiteral("at most two folders")));
    EXPECT_TRUE(three.error.contains(QStringLiteral("tandrel --help")));

    const StartRequest unknown = Parse({QStringLiteral("--frobnicate"), QStringLiteral("a")});
    EXPECT_FALSE(unknown.start);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.error.contains(QStringLiteral("frobnicate")));
    EXPECT_TRUE(unknown.output.isEmpty());
    EXPECT_FALSE(AsksOnlyForText(QStringList{QStringLiteral("tandrel"), QStringLiteral("--frobnicate")}));
}

TEST(StartArgumentsTest, HelpAndVersionAnswerOnStandardOutput)
{
    const StartRequest help = Parse({QStringLiteral("--help")});
    EXPECT_FALSE(help.start);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains(QStringLiteral("[SOURCE [DESTINATION]]"))) << help.output.toStdString();
    EXPECT_TRUE(help.output.contains(QStringLiteral("--version")));
    EXPECT_TRUE(help.error.isEmpty());
    EXPECT_TRUE(AsksOnlyForText(QStringList{QStringLiteral("tandrel"), QStringLiteral("-h")}));

    const QString oldName = QCoreApplication::applicationName();
    const QString oldVersion = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationName(QStringLiteral("Tandrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral("5.0"));
    const StartRequest version = Parse({QStringLiteral("--version")});
    QCoreApplication::setApplicationName(oldName);
    QCoreApplication::setApplicationVersion(oldVersion);
    EXPECT_FALSE(version.start);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, QStringLiteral("Tandrel 5.0\n"));
    EXPECT_TRUE(AsksOnlyForText(QStringList{QStringLiteral("tandrel"), QStringLiteral("--version")}));
    EXPECT_FALSE(AsksOnlyForText(QStringList{QStringLiteral("tandrel"), QStringLiteral("a"), QStringLiteral("b")}));
}

class TwoFolderStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.MakeDir("prog");
        tree.WriteFile("src/only-here.txt", "s");
        tree.WriteFile("dst/only-there.txt", "d");
        QSettings(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication)).clear();
        WriteRegistryValue(QStringLiteral("SourceDir"), QStringLiteral("/last/source/"));
        WriteRegistryValue(QStringLiteral("TargetDir"), QStringLiteral("/last/destination/"));
        PrepareAppState(state, ToQ(tree.Path("prog")));
        state.settings.options.PlaySound = false;
        const StartRequest request =
            ParseStartArguments({QStringLiteral("tandrel"), QStringLiteral("src"), QStringLiteral("dst/")},
                                ToQ(tree.Root()));
        ASSERT_TRUE(request.start);
        state.givenSource = request.source;
        state.givenDestination = request.destination;
    }

    void TearDown() override
    {
        QSettings(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication)).clear();
    }

    test::TempTree tree;
    AppState state;
    test::ScriptedDialogs dialogs;
};

// `tandrel SOURCE DESTINATION`: the dialog opens filled with the two folders
// and the comparison starts only when the user presses Compare.
TEST_F(TwoFolderStartTest, TheDialogShowsTheFoldersAndCompareRunsOnThem)
{
    ImmediateEvents immediate;
    Form1 form(state, dialogs);
    QString shownSource, shownDestination;
    bool ranBeforeCompare = true;
    test::WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        shownSource = guide->Combo1->currentText();
        shownDestination = guide->Combo2->currentText();
        ranBeforeCompare = state.runFlag.IsSet() || state.store.Count(ResultCategory::NotInDestination) > 0;
        guide->Command1->click();
        // A Compare that was refused leaves the dialog open; close it so that the test ends.
        if (guide->isVisible())
            guide->reject();
    });
    form.Start();

    EXPECT_EQ(shownSource, ToQ(tree.Path("src")));
    EXPECT_EQ(shownDestination, ToQ(tree.Path("dst")));
    EXPECT_FALSE(ranBeforeCompare);
    ASSERT_EQ(state.store.Count(ResultCategory::NotInDestination), 1u);
    EXPECT_EQ(state.store.Row(ResultCategory::NotInDestination, 0).relativePath, "only-here.txt");
    ASSERT_EQ(state.store.Count(ResultCategory::NotInSource), 1u);
    EXPECT_EQ(state.sourceRoot, ToQ(tree.Path("src/")));
    EXPECT_EQ(state.destinationRoot, ToQ(tree.Path("dst/")));
    // The folders entered the recent lists like any compared pair.
    EXPECT_EQ(state.settings.recentSources[0], tree.Path("src"));
    EXPECT_TRUE(dialogs.requests.empty());
    ASSERT_NE(ProgressWindow(&form), nullptr);
    ProgressWindow(&form)->Command1->click();
}

// Closing the dialog instead keeps the given folders out of everything
// else: no comparison, no stored roots, and the next dialog offers the
// last folders used as it always does.
TEST_F(TwoFolderStartTest, ClosingTheDialogForgetsTheGivenFolders)
{
    Form1 form(state, dialogs);
    QString firstSource;
    test::WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        firstSource = guide->Combo1->currentText();
        guide->Command2->click();
    });
    form.Start();
    EXPECT_EQ(firstSource, ToQ(tree.Path("src")));
    EXPECT_FALSE(state.runFlag.IsSet());
    EXPECT_TRUE(state.sourceRoot.isEmpty());
    EXPECT_EQ(state.store.Count(ResultCategory::NotInDestination), 0u);

    QString nextSource, nextDestination;
    test::WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        nextSource = guide->Combo1->currentText();
        nextDestination = guide->Combo2->currentText();
        guide->Command2->click();
    });
    form.StartNewComparison();
    EXPECT_EQ(nextSource, QStringLiteral("/last/source/"));
    EXPECT_EQ(nextDestination, QStringLiteral("/last/destination/"));
}

} // namespace
} // namespace tandrel::gui
