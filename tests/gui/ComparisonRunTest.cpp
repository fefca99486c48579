#include "RunTestSupport.h"
#include "gui/run/ComparisonRun.h"

#include "FakeResultView.h"
#include "ScriptedDialogs.h"
#include "gui/run/EventPump.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/run/FormWait.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <QDir>

#include <gtest/gtest.h>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <set>
#include <string>
#include <vector>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;
using test::FakeResultView;
using test::TempTree;

bool AllChecked(const engine::ResultStore& store)
{
    for (ResultCategory c : engine::kAllCategories)
        for (const auto& row : store.List(c))
            if (!row.checked)
                return false;
    return true;
}

std::set<std::string> Paths(const engine::ResultStore& store, ResultCategory c)
{
    std::set<std::string> out;
    for (const auto& row : store.List(c))
        out.insert(row.relativePath);
    return out;
}

TEST(ComparisonRunTest, WholeRunFillsTabsChecksRowsAndEndsCompleted)
{
    ImmediateEvents immediate;
    RecordedSounds sounds;
    TempTree tree;
    const std::int64_t t = test::LocalTime(2024, 5, 1, 12, 0, 0);
    tree.WriteFile("src/newer.txt", "same", t + 100);
    tree.WriteFile("dst/newer.txt", "same", t);
    tree.WriteFile("src/older.txt", "same", t);
    tree.WriteFile("dst/older.txt", "same", t + 100);
    tree.WriteFile("src/onlysrc.txt", "x", t);
    tree.WriteFile("dst/onlydst.txt", "x", t);
    tree.WriteFile("src/size.txt", "abc", t);
    tree.WriteFile("dst/size.txt", "abcdef", t);
    tree.WriteFile("src/same.txt", "same", t);
    tree.WriteFile("dst/same.txt", "same", t);
    tree.WriteFile("src/sub/deep.txt", "x", t);
    tree.MakeDir("dst/sub");

    AppState app;
    app.settings.options = settings::CompareOptions::Defaults();
    app.settings.options.PlaySound = true;
    app.sourceRoot = ToQ(tree.Path("src"));
    app.destinationRoot = ToQ(tree.Path("dst/"));
    app.includeSubdirectories = false;
    FakeResultView view(app);
    QWidget main;
    main.show();

    bool sawWindow = false;
    bool mainHiddenDuringRun = true;
    DuringRun watch([&] {
        if (FormWait* wait = ProgressWindow(&main)) {
            sawWindow = true;
            // A root gets the system's separator; one that ends in '/' keeps it.
            EXPECT_EQ(wait->TextSource->text(), ToQ(tree.Path("src")) + QDir::separator());
            EXPECT_EQ(wait->TextDes->text(), ToQ(tree.Path("dst/")));
            EXPECT_EQ(wait->Label1->text(), QStringLiteral("Comparing, please wait..."));
            EXPECT_EQ(wait->Command1->text(), QStringLiteral("&Cancel"));
            EXPECT_TRUE(app.runFlag.IsSet());
            EXPECT_TRUE(view.busy);
            EXPECT_FALSE(view.commandsEnabled);
            EXPECT_TRUE(view.tabStripEnabled);
            if (main.isVisible())
                mainHiddenDuringRun = false;
        }
    });
    RunComparison(app, view, &main);

    EXPECT_TRUE(sawWindow);
    EXPECT_TRUE(mainHiddenDuringRun);
    EXPECT_EQ(app.sourceRoot, ToQ(tree.Path("src")) + QDir::separator());
    EXPECT_EQ(app.destinationRoot, ToQ(tree.Path("dst/"))); // not doubled
    EXPECT_EQ(view.sourceLabel, app.sourceRoot);
    EXPECT_EQ(view.destinationLabel, app.destinationRoot);

    EXPECT_EQ(Paths(app.store, ResultCategory::NewerThanDestination), std::set<std::string>{"newer.txt"});
    EXPECT_EQ(Paths(app.store, ResultCategory::OlderThanDestination), std::set<std::string>{"older.txt"});
    EXPECT_EQ(Paths(app.store, ResultCategory::NotInDestination), std::set<std::string>{"onlysrc.txt"});
    EXPECT_EQ(Paths(app.store, ResultCategory::NotInSource), std::set<std::string>{"onlydst.txt"});
    EXPECT_EQ(Paths(app.store, ResultCategory::OnlySizeChanged), std::set<std::string>{"size.txt"});
    EXPECT_TRUE(AllChecked(app.store));

    EXPECT_EQ(view.tabCaptions[1], QStringLiteral("Newer than destination (1)"));
    EXPECT_EQ(view.tabCaptions[2], QStringLiteral("Older than destination (1)"));
    EXPECT_EQ(view.tabCaptions[3], QStringLiteral("Can not find destination (1)"));
    EXPECT_EQ(view.tabCaptions[4], QStringLiteral("Can not find source (1)"));
    EXPECT_EQ(view.tabCaptions[5], QStringLiteral("Only size changed (1)"));
    EXPECT_EQ(view.resetDepth, 0);
    EXPECT_EQ(view.resets, 1);
    EXPECT_GE(view.layouts, 1);
    EXPECT_FALSE(view.busy);
    EXPECT_TRUE(view.commandsEnabled);
    const std::vector<QString> order{QStringLiteral("SetRootLabels"), QStringLiteral("BeginStoreReset"),
                                     QStringLiteral("DisableResultCommands"), QStringLiteral("EndStoreReset"),
                                     QStringLiteral("UpdateTabCaption 1"), QStringLiteral("UpdateTabCaption 2"),
                                     QStringLiteral("UpdateTabCaption 3"), QStringLiteral("UpdateTabCaption 4"),
                                     QStringLiteral("UpdateTabCaption 5"), QStringLiteral("EnableResultCommands")};
    EXPECT_EQ(view.calls, order);

    // The warning sound of the desktop's theme, once, at the end.
    EXPECT_EQ(RecordedSounds::Themed(), std::vector<std::string>{"dialog-warning"});

    // Finished: the window says so, the main window stays hidden until OK.
    EXPECT_FALSE(app.runFlag.IsSet());
    EXPECT_FALSE(main.isVisible());
    FormWait* wait = ProgressWindow(&main);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->Label1->text(), QStringLiteral("Compare completed"));
    EXPECT_EQ(wait->Command1->text(), QStringLiteral("&OK"));
    wait->Timer1Tick();
    EXPECT_EQ(wait->LabelCount[0]->text(), QStringLiteral("1"));
    EXPECT_FALSE(wait->Timer1->isActive());
    EXPECT_TRUE(wait->Timer2->isActive());

    QTest::mouseClick(wait->Command1, Qt::LeftButton);
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(ProgressWindow(&main), nullptr);
}

TEST(ComparisonRunTest, CancelStopsWithPartialRowsAllChecked)
{
    ImmediateEvents immediate;
    RecordedSounds sounds;
    TempTree tree;
    for (int i = 0; i < 40; ++i)
        tree.WriteFile("src/many/f" + std::to_string(i) + ".txt", "x");
    tree.WriteFile("dst/extra.txt", "x");

    AppState app;
    app.settings.options = settings::CompareOptions::Defaults();
    app.settings.options.PlaySound = true; // sounds after a cancel too
    app.sourceRoot = ToQ(tree.Path("src"));
    app.destinationRoot = ToQ(tree.Path("dst"));
    FakeResultView view(app);
    QWidget main;
    main.show();

    std::size_t seenAtCancel = 0;
    DuringRun cancelAtFive([&] {
        if (seenAtCancel != 0)
            return;
        FormWait* wait = ProgressWindow(&main);
        if (wait && app.store.Count(ResultCategory::NotInDestination) >= 5) {
            seenAtCancel = app.store.Count(ResultCategory::NotInDestination);
            QTest::mouseClick(wait->Command1, Qt::LeftButton);
        }
    });
    RunComparison(app, view, &main);

    ASSERT_GE(seenAtCancel, 5u);
    // The entry in hand is finished, then the walk stops; the destination pass never starts.
    const std::size_t found = app.store.Count(ResultCategory::NotInDestination);
    EXPECT_GE(found, seenAtCancel);
    EXPECT_LE(found, seenAtCancel + 1);
    EXPECT_LT(found, 41u);
    EXPECT_EQ(app.store.Count(ResultCategory::NotInSource), 0u);
    EXPECT_TRUE(AllChecked(app.store));
    EXPECT_EQ(view.tabCaptions[3], QStringLiteral("Can not find destination (%1)").arg(found));
    EXPECT_EQ(view.tabCaptions[4], QStringLiteral("Can not find source (0)"));
    EXPECT_FALSE(app.runFlag.IsSet());
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(ProgressWindow(&main), nullptr);
    EXPECT_EQ(view.resetDepth, 0);
    EXPECT_TRUE(view.commandsEnabled);
    EXPECT_FALSE(view.busy);
    EXPECT_EQ(RecordedSounds::Themed(), std::vector<std::string>{"dialog-warning"});
}

TEST(ComparisonRunTest, EmptyFoldersEndNormallyAndANewRunReplacesTheOldWindow)
{
    RecordedSounds sounds;
    TempTree tree;
    tree.MakeDir("a");
    tree.MakeDir("b");
    AppState app;
    app.settings.options.PlaySound = false; // no sound at all
    app.sourceRoot = ToQ(tree.Path("a"));
    app.destinationRoot = ToQ(tree.Path("b"));
    FakeResultView view(app);
    QWidget main;
    main.show();

    RunComparison(app, view, &main);
    EXPECT_EQ(app.store.TotalCount(), 0u);
    for (int i = 1; i <= 5; ++i)
        EXPECT_TRUE(view.tabCaptions[i].endsWith(QStringLiteral(" (0)"))) << view.tabCaptions[i].toStdString();
    FormWait* first = ProgressWindow(&main);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Label1->text(), QStringLiteral("Compare completed"));

    // The user starts another run without pressing OK: one progress window only.
    tree.WriteFile("a/new.txt", "x");
    RunComparison(app, view, &main);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(main.findChildren<FormWait*>().size(), 1);
    EXPECT_EQ(app.store.Count(ResultCategory::NotInDestination), 1u);
    EXPECT_FALSE(main.isVisible());
    CloseProgressWindow(&main);
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(ProgressWindow(&main), nullptr);
    EXPECT_TRUE(RecordedSounds::Themed().empty());
}

#ifdef __linux__
// Takes from this thread (and the threads it starts) the rights that let
// root read any folder, so that a locked folder stops the scan as it would
// stop any user; gives them back when it goes.
class WithoutReadOverride {
public:
    WithoutReadOverride()
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &m_header, reduced);
    }
    ~WithoutReadOverride() { ::syscall(SYS_capset, &m_header, m_saved); }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

TEST(ComparisonRunTest, AnEmptySideIsToldAfterTheComparisonWhateverIgnoreErrorSays)
{
    RecordedSounds sounds;
    TempTree tree;
    tree.WriteFile("src/a.txt", "x");
    tree.MakeDir("dst");
    tree.MakeDir("empty2");
    AppState app;
    app.settings.options.IgnoreError = true;
    app.sourceRoot = ToQ(tree.Path("src"));
    app.destinationRoot = ToQ(tree.Path("dst"));
    FakeResultView view(app);
    QWidget main;
    main.show();
    test::ScriptedDialogs dialogs;
    RunComparison(app, view, &main, &dialogs);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const auto& told = dialogs.requests[0];
    EXPECT_EQ(told.text, QStringLiteral("The destination folder '%1/' is empty while the source folder is not: if it is "
                                        "a drive or share that is not mounted, every item of the other side is listed "
                                        "under \"Can not find destination\", and deleting those rows would remove "
                                        "them all.")
                             .arg(ToQ(tree.Path("dst"))));
    EXPECT_EQ(told.title, QStringLiteral("Empty folder"));
    EXPECT_EQ(told.icon, MessageIcon::Warning);
    EXPECT_EQ(app.store.EmptyRootFound(), engine::EmptyRoot::Destination);
    CloseProgressWindow(&main);

    // Both empty: nothing to tell.
    app.sourceRoot = ToQ(tree.Path("empty2"));
    RunComparison(app, view, &main, &dialogs);
    EXPECT_EQ(dialogs.requests.size(), 1u);
    CloseProgressWindow(&main);
}

TEST(ComparisonRunTest, FoldersThatCouldNotBeReadAreNamedOnceUnlessErrorsAreIgnored)
{
    for (const bool ignoreErrors : {false, true}) {
        RecordedSounds sounds;
        TempTree tree;
        tree.WriteFile("src/photos/a.jpg", "x");
        tree.WriteFile("dst/photos/a.jpg", "x");
        tree.Chmod("src/photos", 0);
        AppState app;
        app.settings.options.IgnoreError = ignoreErrors;
        app.sourceRoot = ToQ(tree.Path("src"));
        app.destinationRoot = ToQ(tree.Path("dst"));
        FakeResultView view(app);
        QWidget main;
        main.show();
        test::ScriptedDialogs dialogs;
        {
            WithoutReadOverride unprivileged;
            RunComparison(app, view, &main, &dialogs);
        }
        EXPECT_EQ(app.store.TotalCount(), 0u);
        if (ignoreErrors) {
            EXPECT_TRUE(dialogs.requests.empty());
        } else {
            ASSERT_EQ(dialogs.requests.size(), 1u);
            const auto& asked = dialogs.requests[0];
            EXPECT_EQ(asked.text, QStringLiteral("These folders could not be read, so nothing inside them was listed "
                                                 "as missing:\n\n%1 (Permission denied)")
                                      .arg(ToQ(tree.Path("src/photos"))));
            EXPECT_EQ(asked.title, QStringLiteral("Folders not read"));
            EXPECT_EQ(asked.icon, MessageIcon::Warning);
            EXPECT_EQ(asked.owner, ProgressWindow(&main));
        }
        CloseProgressWindow(&main);
    }
}
#endif // a folder locked against its owner, and root's override taken away, are Linux's

#ifndef _WIN32 // where a name is bytes, not necessarily UTF-8
TEST(ComparisonRunTest, AProjectWhoseFoldersAreNotUtf8IsComparedAndRemembered)
{
    RecordedSounds sounds;
    TempTree tree;
    tree.WriteFile("caf\xE9/r\xE9sum\xE9.txt", "x");
    tree.WriteFile("caf\xE9/same.txt", "x", 1700000000);
    tree.WriteFile("\xFF\xFE dst/same.txt", "x", 1700000000);
    const std::string source = tree.Path("caf\xE9");
    const std::string destination = tree.Path("\xFF\xFE dst");
    AppState app;
    app.settingsPath = ToQ(tree.Path("tdl.ini"));
    app.settings.projectList = {"Old|" + source + "|" + destination};
    QWidget main;
    main.show();
    test::ScriptedDialogs dialogs;

    FormGuide guide(app, dialogs, &main);
    guide.show();
    guide.Combo3->setCurrentIndex(0);
    emit guide.Combo3->activated(0);
    QTest::mouseClick(guide.Command1, Qt::LeftButton);
    EXPECT_TRUE(dialogs.requests.empty()); // both folders pass as the very folders named
    ASSERT_TRUE(app.runFlag.IsSet());
    EXPECT_EQ(FromQ(app.sourceRoot), source);
    EXPECT_EQ(FromQ(app.destinationRoot), destination);
    const std::string file = tree.ReadFile("tdl.ini");
    EXPECT_TRUE(test::Holds(file, "[Source]\r\n" + source + "\r\n\r\n[Destination]\r\n" + destination + "\r\n"));

    FakeResultView view(app);
    RunComparison(app, view, &main, &dialogs);
    EXPECT_TRUE(dialogs.requests.empty());
    EXPECT_EQ(Paths(app.store, ResultCategory::NotInDestination), std::set<std::string>{"r\xE9sum\xE9.txt"});
    EXPECT_EQ(app.store.TotalCount(), 1u);
    CloseProgressWindow(&main);
}
#endif

} // namespace
} // namespace tandrel::gui
