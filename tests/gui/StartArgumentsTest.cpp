#include "RunTestSupport.h"
#include "gui/app/AppSetup.h"
#include "gui/run/ComparisonRun.h"
#include "gui/mainwindow/Form1.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/run/FormWait.h"
#include "gui/app/Registry.h"
#include "gui/app/CommandLineText.h"
#include "gui/app/StartArguments.h"

#include "ModalDriver.h"
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "support/TempTree.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>

#include <QDir>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace tandrel::gui {
namespace {

using engine::ResultCategory;

StartRequest Parse(const QStringList& arguments)
{
    return ParseStartArguments(QStringList{QStringLiteral("/usr/bin/tandrel")} + arguments,
                               QStringLiteral("/home/u/work"));
}

TEST(StartArgumentsTest, FoldersComeOutAbsoluteAndAnythingElseIsAnswered)
{
    EXPECT_TRUE(Parse({}).start);
    EXPECT_TRUE(Parse({}).source.isEmpty());
    const StartRequest two = Parse({QStringLiteral("photos/"), QStringLiteral("../b/./c")});
    EXPECT_TRUE(two.start);
    EXPECT_EQ(two.source, QDir::toNativeSeparators(QStringLiteral("/home/u/work/photos")));
    EXPECT_EQ(two.destination, QDir::toNativeSeparators(QStringLiteral("/home/u/b/c")));

    // As a file manager may give them: addresses with escaped characters.
#ifdef _WIN32
    const StartRequest urls = Parse({QStringLiteral("file:///D:/My%20Photos"), QStringLiteral("file:///E:/b")});
    EXPECT_TRUE(urls.start);
    EXPECT_EQ(urls.source, QStringLiteral("D:\\My Photos"));
    EXPECT_EQ(urls.destination, QStringLiteral("E:\\b"));
#else
    const StartRequest urls = Parse({QStringLiteral("file:///media/My%20Photos"), QStringLiteral("file:///srv/b")});
    EXPECT_TRUE(urls.start);
    EXPECT_EQ(urls.source, QStringLiteral("/media/My Photos"));
    EXPECT_EQ(urls.destination, QStringLiteral("/srv/b"));
#endif

    // Folders on an SSH host stay as typed.
    const StartRequest remote = Parse({QStringLiteral("me@host:photos"), QStringLiteral("sftp://host:2222/srv/b")});
    EXPECT_EQ(remote.source, QStringLiteral("me@host:photos"));
    EXPECT_EQ(remote.destination, QStringLiteral("sftp://host:2222/srv/b"));

    const StartRequest three = Parse({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    EXPECT_FALSE(three.start);
    EXPECT_EQ(three.exitCode, 2);
    EXPECT_TRUE(three.error.contains(QStringLiteral("at most two folders")));
    const StartRequest unknown = Parse({QStringLiteral("--frobnicate")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.error.contains(QStringLiteral("frobnicate")));
    EXPECT_FALSE(AsksOnlyForText({QStringLiteral("tandrel"), QStringLiteral("--frobnicate")}));

    const StartRequest help = Parse({QStringLiteral("--help")});
    EXPECT_FALSE(help.start);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains(QStringLiteral("[SOURCE [DESTINATION]]")));
    EXPECT_TRUE(AsksOnlyForText({QStringLiteral("tandrel"), QStringLiteral("-h")}));
    const QString oldVersion = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral("5.0"));
    const StartRequest version = Parse({QStringLiteral("--version")});
    QCoreApplication::setApplicationVersion(oldVersion);
    EXPECT_EQ(version.output, QCoreApplication::applicationName() + QStringLiteral(" 5.0\n"));
    EXPECT_TRUE(AsksOnlyForText({QStringLiteral("tandrel"), QStringLiteral("--version")}));
}

// `tandrel SOURCE DESTINATION`: the dialog opens filled with the two folders
// in place of the last ones used, and the comparison runs on them only when
// the user presses Compare.
TEST(StartArgumentsTest, TheDialogShowsTheGivenFoldersAndCompareRunsOnThem)
{
    ImmediateEvents immediate;
    WriteRegistryValue(QStringLiteral("SourceDir"), QStringLiteral("/last/source/"));
    test::StartedProgram started;
    test::TempTree& tree = started.tree;
    AppState& state = started.state;
    tree.WriteFile("src/only-here.txt", "s");
    tree.WriteFile("dst/only-there.txt", "d");
    state.settings.options.PlaySound = false;
    const StartRequest request = ParseStartArguments(
        {QStringLiteral("tandrel"), QStringLiteral("src"), QStringLiteral("dst/")}, ToQ(tree.Root()));
    state.givenSource = request.source;
    state.givenDestination = request.destination;

    Form1 form(state, started.dialogs);
    QString shownSource, shownDestination;
    bool ranBeforeCompare = true;
    test::WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        shownSource = guide->Combo1->currentText();
        shownDestination = guide->Combo2->currentText();
        ranBeforeCompare = state.runFlag.IsSet() || state.store.Count(ResultCategory::NotInDestination) > 0;
        guide->Command1->click();
        if (guide->isVisible()) // a refused Compare: end the test rather than hang
            guide->reject();
    });
    form.Start();
    WriteRegistryValue(QStringLiteral("SourceDir"), QString());

    // The folders in the system's own form, as given on its command line.
    const QString source = QDir::toNativeSeparators(ToQ(tree.Path("src")));
    EXPECT_EQ(shownSource, source);
    EXPECT_EQ(shownDestination, QDir::toNativeSeparators(ToQ(tree.Path("dst"))));
    EXPECT_FALSE(ranBeforeCompare);
    EXPECT_TRUE(state.givenSource.isEmpty()); // a later dialog offers the last folders again
    ASSERT_EQ(state.store.Count(ResultCategory::NotInDestination), 1u);
    EXPECT_EQ(state.store.Row(ResultCategory::NotInDestination, 0).relativePath, "only-here.txt");
    EXPECT_EQ(state.store.Count(ResultCategory::NotInSource), 1u);
    EXPECT_EQ(state.settings.recentSources[0], FromQ(source));
    EXPECT_TRUE(started.dialogs.requests.empty());
    ASSERT_NE(ProgressWindow(&form), nullptr);
    ProgressWindow(&form)->Command1->click();
}

#ifndef Q_OS_WIN
// A Linux folder name is bytes: one named in Latin-1 ("caf\xe9", not UTF-8)
// comes through argv, the dialog and the comparison exactly.
TEST(StartArgumentsTest, AFolderNameThatIsNotUtf8KeepsItsBytes)
{
    ImmediateEvents immediate;
    test::StartedProgram started;
    test::TempTree& tree = started.tree;
    tree.WriteFile("caf\xe9/only-here.txt", "s");
    tree.WriteFile("dst/there.txt", "d"); // no side is empty: no warning about it
    std::string program = "tandrel", source = tree.Path("caf\xe9"), destination = "dst";
    char* argv[] = {program.data(), source.data(), destination.data(), nullptr};
    const QStringList arguments = CommandLineArguments(3, argv);
    ASSERT_EQ(arguments.size(), 3);
    EXPECT_EQ(FromQ(arguments[1]), source);

    const StartRequest request = ParseStartArguments(arguments, ToQ(tree.Root()));
    EXPECT_EQ(FromQ(request.source), source);
    EXPECT_EQ(FromQ(request.destination), tree.Path("dst"));
    EXPECT_EQ(FromQ(Parse({QStringLiteral("file:///media/caf%E9")}).source), "/media/caf\xe9");

    AppState& state = started.state;
    state.settings.options.PlaySound = false;
    state.givenSource = request.source;
    state.givenDestination = request.destination;
    Form1 form(state, started.dialogs);
    test::WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        guide->Command1->click();
        if (guide->isVisible())
            guide->reject();
    });
    form.Start();
    EXPECT_TRUE(started.dialogs.requests.empty());
    EXPECT_EQ(FromQ(state.sourceRoot), source + "/");
    ASSERT_EQ(state.store.Count(ResultCategory::NotInDestination), 1u);
    EXPECT_EQ(state.store.Row(ResultCategory::NotInDestination, 0).relativePath, "only-here.txt");
    ASSERT_NE(ProgressWindow(&form), nullptr);
    ProgressWindow(&form)->Command1->click();
}

TEST(StartArgumentsTest, TheCurrentFolderKeepsItsBytes)
{
    test::TempTree tree;
    tree.MakeDir("caf\xe9");
    const QString before = CurrentFolderText();
    ASSERT_EQ(::chdir(tree.Path("caf\xe9").c_str()), 0);
    const QString inside = CurrentFolderText();
    ASSERT_EQ(::chdir(FromQ(before).c_str()), 0);
    char resolved[PATH_MAX];
    ASSERT_NE(::realpath(tree.Path("caf\xe9").c_str(), resolved), nullptr);
    EXPECT_EQ(FromQ(inside), std::string(resolved));
}
#endif

} // namespace
} // namespace tandrel::gui
