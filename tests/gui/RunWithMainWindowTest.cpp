#include "RunTestSupport.h"
#include "gui/app/AppSetup.h"
#include "gui/run/ComparisonRun.h"
#include "gui/run/EventPump.h"
#include "gui/mainwindow/Form1.h"
#include "gui/run/FormWait.h"
#include "gui/mainwindow/ResultListModel.h"

#include "ModalDriver.h"
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/app/ProjectPatternFiles.h"
#include "engine/PathRules.h"
#include "support/TempTree.h"

#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QIcon>
#include <QTabBar>
#include <QTreeView>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;

// A main window over a fresh program folder and the trees src and dst, whose
// files each test writes; the roots point at the two trees.
struct Program : test::StartedProgram {
    std::unique_ptr<Form1> form;

    explicit Program(bool playSound)
    {
        for (const char* folder : {"src", "dst"})
            tree.MakeDir(folder);
        state.settings.options.PlaySound = playSound;
        state.sourceRoot = ToQ(tree.Path("src"));
        state.destinationRoot = ToQ(tree.Path("dst"));
        form = std::make_unique<Form1>(state, dialogs);
    }

    void WriteFiles(const std::string& folder, int count)
    {
        for (int i = 0; i < count; ++i)
            tree.WriteFile(folder + "/f" + std::to_string(i) + ".txt", "x");
    }
    int ExistingFiles(const std::string& folder, int count) const
    {
        int n = 0;
        for (int i = 0; i < count; ++i)
            n += tree.Exists(folder + "/f" + std::to_string(i) + ".txt") ? 1 : 0;
        return n;
    }

    // A whole comparison with the window shown, ended with the progress window's OK.
    void Compare()
    {
        form->show();
        RunComparison(state, *form, form.get());
        ASSERT_NE(ProgressWindow(form.get()), nullptr);
        ProgressWindow(form.get())->Command1->click();
    }
};

// The progress window and the copy runner against the real main window:
// a comparison cancelled part way, then a copy of what it found.
TEST(RunWithMainWindowTest, CancelledRunThenCopyThroughTheLists)
{
    ImmediateEvents immediate;

    Program program(false);
    test::TempTree& tree = program.tree;
    for (int i = 0; i < 30; ++i)
        tree.WriteFile("src/many/f" + std::to_string(i) + ".txt", "x" + std::to_string(i));
    tree.WriteFile("dst/extra.txt", "e");
    AppState& state = program.state;
    test::ScriptedDialogs& dialogs = program.dialogs;
    Form1& form = *program.form;
    form.show();

    std::size_t atCancel = 0;
    QTimer during;
    during.setInterval(0);
    QObject::connect(&during, &QTimer::timeout, [&] {
        FormWait* wait = ProgressWindow(&form);
        if (atCancel == 0 && wait && state.store.Count(ResultCategory::NotInDestination) >= 6) {
            EXPECT_FALSE(form.isVisible());
            atCancel = state.store.Count(ResultCategory::NotInDestination);
            QTest::mouseClick(wait->Command1, Qt::LeftButton);
        }
    });
    during.start();
    RunComparison(state, form, &form);
    during.stop();

    ASSERT_GE(atCancel, 6u);
    const int found = static_cast<int>(state.store.Count(ResultCategory::NotInDestination));
    ASSERT_LT(found, 31); // the folder row and 30 files: the walk stopped part way
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(ProgressWindow(&form), nullptr);
    EXPECT_EQ(form.TabStrip1->tabText(2), QStringLiteral("Can not find destination (%1)").arg(found));
    EXPECT_EQ(form.TabStrip1->tabText(3), QStringLiteral("Can not find source (0)"));
    EXPECT_TRUE(form.TabStrip1->isEnabled());
    EXPECT_TRUE(form.CmdDelete->isEnabled());
    ResultListModel* list3 = form.ListModel[3];
    ASSERT_EQ(list3->rowCount(), found);
    for (int row = 0; row < found; ++row)
        EXPECT_EQ(list3->data(list3->index(row, 0), Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);

    // Copy all but the last row found to the destination.
    form.TabStrip1->setCurrentIndex(2);
    ASSERT_EQ(state.currentTab, 3);
    ASSERT_TRUE(form.CmdS2D->isEnabled());
    ASSERT_TRUE(list3->setData(list3->index(found - 1, 0), Qt::Unchecked, Qt::CheckStateRole));
    const std::string kept = state.store.Row(ResultCategory::NotInDestination, static_cast<std::size_t>(found - 1))
                                 .relativePath;
    dialogs.messageReplies.push_back(MessageReply::Yes);
    QTest::mouseClick(form.CmdS2D, Qt::LeftButton);

    ASSERT_EQ(dialogs.Messages().size(), 1u);
    EXPECT_EQ(dialogs.Messages()[0].icon, MessageIcon::Question);
    EXPECT_EQ(list3->rowCount(), 1);
    EXPECT_EQ(state.store.Row(ResultCategory::NotInDestination, 0).relativePath, kept);
    EXPECT_EQ(form.TabStrip1->tabText(2), QStringLiteral("Can not find destination (1)"));
    EXPECT_FALSE(tree.Exists("dst/" + kept));
    EXPECT_TRUE(tree.Exists("dst/many"));
    EXPECT_TRUE(form.CmdS2D->isEnabled());
    EXPECT_FALSE(form.CmdD2S->isEnabled()); // list 3 offers no copy back
    EXPECT_TRUE(form.CmdDelete->isEnabled());
    EXPECT_TRUE(form.TabStrip1->isEnabled());

    // The window goes while shown, as the program's end destroys it.
}

// While a delete runs, the commands that would start another run or change
// the options, projects or lists are unavailable and New leaves the run
// alone; Exit and Help stay. They all come back when the delete ends.
TEST(RunWithMainWindowTest, CommandsThatWouldDisturbADeleteAreUnavailableWhileItRuns)
{
    ImmediateEvents immediate;
    Program p(false);
    constexpr int kFiles = 30;
    p.WriteFiles("dst", kFiles);
    p.tree.WriteFile("src/other.txt", "an empty source would ask a second question");
    p.Compare();
    Form1& form = *p.form;
    const CommandId blocked[] = {CommandId::ID_NEW, CommandId::ID_PROJECTS, CommandId::ID_OPTIONS,
                                 CommandId::ID_REPORT, CommandId::ID_AUTO};
    auto enabled = [&](CommandId id) {
        int on = 0;
        for (QAction* action : form.Actions(id))
            on += action->isEnabled() ? 1 : 0;
        return on;
    };
    bool looked = false;
    DuringRun during([&] {
        if (looked || p.ExistingFiles("dst", kFiles) > kFiles - 3)
            return;
        looked = true;
        for (const CommandId id : blocked)
            EXPECT_EQ(enabled(id), 0) << static_cast<int>(id);
        EXPECT_GT(enabled(CommandId::ID_EXIT), 0);
        EXPECT_GT(enabled(CommandId::ID_CONTENTS), 0);
        form.Execute(CommandId::ID_NEW);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    });
    form.TabStrip1->setCurrentIndex(3);
    p.dialogs.messageReplies.push_back(MessageReply::Yes);
    QTest::mouseClick(form.CmdDelete, Qt::LeftButton);

    EXPECT_TRUE(looked);
    EXPECT_EQ(p.ExistingFiles("dst", kFiles), 0);
    EXPECT_EQ(p.state.store.Count(ResultCategory::NotInSource), 0u);
    for (const CommandId id : blocked)
        EXPECT_GT(enabled(id), 0) << static_cast<int>(id);
    EXPECT_EQ(p.dialogs.Messages().size(), 1u);
}

// The finished progress window answers the keyboard: OK is the default
// button and has the focus, and Enter, Esc and Space each close it.
TEST(RunWithMainWindowTest, TheFinishedProgressWindowClosesFromTheKeyboard)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space}) {
        Program p(false);
        p.form->show();
        RunComparison(p.state, *p.form, p.form.get());
        QPointer<FormWait> wait = ProgressWindow(p.form.get());
        ASSERT_NE(wait, nullptr);
        EXPECT_TRUE(wait->Command1->isDefault());
        ASSERT_EQ(wait->focusWidget(), wait->Command1) << key;
        QTest::keyClick(wait->focusWidget(), key);
        QApplication::processEvents();
        EXPECT_TRUE(wait.isNull() || !wait->isVisible()) << key;
        EXPECT_TRUE(p.form->isVisible()) << key;
    }
}

// A list of `count` newer files under a long folder name, compared.
void CompareNewerFiles(Program& p, int count)
{
    for (int i = 0; i < count; ++i) {
        const std::string name = "/a rather long folder name/f" + std::to_string(i) + ".txt";
        p.tree.WriteFile("src" + name, "new", 2000000100);
        p.tree.WriteFile("dst" + name, "old", 2000000000);
    }
    p.Compare();
}

std::vector<int> ColumnWidths(const QTreeView& view)
{
    std::vector<int> widths;
    for (int c = 0; c < view.model()->columnCount(); ++c)
        widths.push_back(view.header()->sectionSize(c));
    return widths;
}

// After a copy with failures, the first failed row is current and in sight
// with its check box; its text is read in the status bar and the tooltip,
// the status column grows at most to the list's width, and the path columns
// keep their widths. The next comparison brings the designed widths back.
TEST(RunWithMainWindowTest, AFailedRowIsBroughtIntoSightWithTheListIntact)
{
    ImmediateEvents immediate;
    Program p(false);
    p.state.settings.options.IgnoreError = true;
    constexpr int kRows = 60;
    CompareNewerFiles(p, kRows);
    p.form->TabStrip1->setCurrentIndex(0);
    QTreeView* view = p.form->ListView1[1];
    ResultListModel* model = p.form->ListModel[1];
    ASSERT_EQ(model->rowCount(), kRows);
    const std::vector<int> designed = ColumnWidths(*view);
    // Only the last two rows are copied, and the last one fails.
    for (int row = 0; row < kRows - 2; ++row)
        model->setData(model->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
    const QString failing = model->index(kRows - 1, 0).data().toString();
    p.tree.Remove("src/" + FromQ(failing.mid(p.state.sourceRoot.size())));
    p.dialogs.messageReplies.push_back(MessageReply::Yes);
    QTest::mouseClick(p.form->CmdS2D, Qt::LeftButton);
    QApplication::processEvents();

    ASSERT_EQ(model->rowCount(), kRows - 1);
    const int status = model->columnCount() - 1;
    const QModelIndex failed = model->index(kRows - 2, 0);
    const QString text = failed.siblingAtColumn(status).data().toString();
    ASSERT_FALSE(text.isEmpty());
    EXPECT_EQ(view->currentIndex().row(), failed.row());
    EXPECT_EQ(p.form->focusWidget(), view);
    EXPECT_TRUE(view->selectionModel()->isRowSelected(failed.row(), QModelIndex()));
    EXPECT_TRUE(view->viewport()->rect().contains(view->visualRect(failed).center()));
    EXPECT_EQ(view->header()->sectionViewportPosition(0), 0); // the check boxes stay in sight
    EXPECT_EQ(failed.siblingAtColumn(status).data(Qt::ToolTipRole).toString(), text);
    const auto* line = p.form->findChild<QLabel*>(QStringLiteral("RowStatus"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), text);
    const std::vector<int> after = ColumnWidths(*view);
    for (int c = 0; c < status; ++c)
        EXPECT_EQ(after[static_cast<std::size_t>(c)], designed[static_cast<std::size_t>(c)]) << c;
    EXPECT_GE(after.back(), std::min(view->fontMetrics().horizontalAdvance(text), view->viewport()->width()));
    EXPECT_LE(after.back(), std::max(designed.back(), view->viewport()->width()));

    // Another row as current: the status bar follows it.
    view->setCurrentIndex(model->index(0, 0));
    EXPECT_TRUE(line->text().isEmpty());

    p.Compare();
    EXPECT_EQ(ColumnWidths(*view), designed);
    EXPECT_EQ(view->horizontalScrollBar()->value(), 0);
}

// A new comparison shows every list from its top, and the keys go to the
// visible list when the progress window has gone.
TEST(RunWithMainWindowTest, ANewComparisonStartsAtTheTopWithTheKeysInTheList)
{
    Program p(false);
    CompareNewerFiles(p, 80);
    QTreeView* view = p.form->ListView1[1];
    EXPECT_EQ(p.form->focusWidget(), view);
    view->scrollToBottom();
    ASSERT_GT(view->verticalScrollBar()->value(), 0);
    p.form->TabStrip1->setFocus();
    p.Compare();
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    EXPECT_EQ(p.form->focusWidget(), view);
}

// The rows of the "Can not find destination" list, by their paths below the root.
std::vector<std::string> NotInDestination(const AppState& state)
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < state.store.Count(ResultCategory::NotInDestination); ++i)
        paths.push_back(state.store.Row(ResultCategory::NotInDestination, i).relativePath);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Folders picked from a project that names a pattern file: what it matches is not compared.
TEST(RunWithMainWindowTest, AProjectsPatternFileLeavesOutWhatItMatches)
{
    // Rows hold paths with the system's separator.
    const std::string kDocsTmp = std::string("docs") + engine::PathRules::Native().separator + "b.tmp";
    Program p(false);
    p.tree.WriteFile("src/keep.txt", "x");
    p.tree.WriteFile("src/scratch.tmp", "x");
    p.tree.WriteFile("src/cache/a.txt", "x");
    p.tree.WriteFile("src/docs/b.tmp", "x");
    p.tree.WriteFile("dst/there.txt", "x"); // no side is empty: no warning about it
    p.tree.WriteFile("prog/patterns", "# scratch\n*.tmp\ncache/\n!docs/b.tmp\n");
    p.state.settings.projectList = {"Other|/elsewhere|/nowhere",
                                    "Work|" + p.tree.Path("src") + "|" + p.tree.Path("dst")};
    WriteProjectPatternFiles({{"Work", p.tree.Path("prog/patterns")}, {"Other", p.tree.Path("prog/none")}});

    test::WhenModalShown([](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        guide->Combo3->setCurrentIndex(1);
        emit guide->Combo3->activated(1);
        guide->Command1->click();
    });
    p.form->Start();
    EXPECT_EQ(NotInDestination(p.state), (std::vector<std::string>{"docs", kDocsTmp, "keep.txt"}));
    EXPECT_TRUE(p.dialogs.requests.empty());
    ASSERT_NE(ProgressWindow(p.form.get()), nullptr);
    ProgressWindow(p.form.get())->Command1->click();

    // The same folders typed by hand are still the project's; others are no project's.
    test::WhenModalShown([&p](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        guide->Combo1->setEditText(ToQ(p.tree.Path("src") + "/"));
        guide->Combo2->setEditText(ToQ(p.tree.Path("dst")));
        guide->Command1->click();
    });
    p.form->StartNewComparison();
    EXPECT_EQ(NotInDestination(p.state), (std::vector<std::string>{"docs", kDocsTmp, "keep.txt"}));
    ProgressWindow(p.form.get())->Command1->click();

    test::WhenModalShown([&p](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        guide->Combo1->setEditText(ToQ(p.tree.Path("src/docs")));
        guide->Command1->click();
    });
    p.form->StartNewComparison();
    EXPECT_EQ(NotInDestination(p.state), (std::vector<std::string>{"b.tmp"}));
    WriteProjectPatternFiles({});
}

// The file the project names cannot be read: nothing is compared, and the message says which file and why.
TEST(RunWithMainWindowTest, AMissingPatternFileStopsTheStartOfTheComparison)
{
    Program p(false);
    p.tree.WriteFile("src/keep.txt", "x");
    const std::string missing = p.tree.Path("prog/gone");
    p.state.settings.projectList = {"Work|" + p.tree.Path("src") + "|" + p.tree.Path("dst")};
    WriteProjectPatternFiles({{"Work", missing}});

    bool stayedOpen = false;
    test::WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        guide->Combo3->setCurrentIndex(0);
        emit guide->Combo3->activated(0);
        guide->Command1->click();
        stayedOpen = guide->isVisible();
        guide->Command2->click();
    });
    p.form->Start();
    EXPECT_TRUE(stayedOpen);
    EXPECT_FALSE(p.state.runFlag.IsSet());
    EXPECT_EQ(p.state.store.TotalCount(), 0u);
    ASSERT_EQ(p.dialogs.requests.size(), 1u);
    // The reason is the system's own: its words differ between systems.
    const QString text = p.dialogs.requests[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Cannot read the pattern file '"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("gone"))) << text.toStdString();
#ifndef _WIN32
    EXPECT_EQ(text, ToQ("Cannot read the pattern file '" + missing + "': " + std::strerror(ENOENT)));
#endif
    EXPECT_EQ(p.dialogs.requests[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(p.state.settings.recentSources[0].empty()); // nothing remembered
    WriteProjectPatternFiles({});
}

#ifndef Q_OS_WIN
// A link and a FIFO made by the test: Linux only.
TEST(RunWithMainWindowTest, LinksAndFifosLookDifferentFromFiles)
{
    Program p(false);
    p.tree.WriteFile("src/a file", "x");
    p.tree.Symlink("a file", "src/b link");
    p.tree.MakeFifo("src/c fifo");
    p.Compare();
    ResultListModel* list = p.form->ListModel[3];
    ASSERT_EQ(list->rowCount(), 3);
    auto image = [&](int row) { return list->data(list->index(row, 0), Qt::DecorationRole).value<QIcon>().cacheKey(); };
    EXPECT_NE(image(1), image(0)); // three kinds, three images
    EXPECT_NE(image(2), image(0));
    EXPECT_NE(image(2), image(1));
}
#endif

// Closing the main window while a copy runs: the copy stops after the row
// in hand, no finish sound plays, and the program's event loop ends although
// the close came from inside the copy's own event pass.
TEST(RunWithMainWindowTest, ClosingDuringACopyEndsTheProgramSilently)
{
    ImmediateEvents immediate;
    RecordedSounds sounds;
    Program p(true);
    constexpr int kFiles = 40;
    p.WriteFiles("src", kFiles);
    p.Compare();
    ASSERT_EQ(p.state.store.Count(ResultCategory::NotInDestination), static_cast<std::size_t>(kFiles));
    RecordedSounds::Themed().clear();
    AppState& state = p.state;
    Form1& form = *p.form;
    auto copied = [&] { return p.ExistingFiles("dst", kFiles); };
    bool closed = false;
    DuringRun during([&] {
        if (!closed && copied() >= 5) {
            closed = true;
            form.close();
        }
    });
    form.TabStrip1->setCurrentIndex(2);
    p.dialogs.messageReplies.push_back(MessageReply::Yes);
    QTimer::singleShot(0, form.CmdS2D, &QPushButton::click);
    EXPECT_EQ(EventLoopWithGuard(state), 0);

    EXPECT_TRUE(closed);
    EXPECT_LT(copied(), kFiles);
    EXPECT_FALSE(state.runFlag.IsSet());
    EXPECT_EQ(sounds.FinishSounds(), 0);
    EXPECT_TRUE(RecordedSounds::Themed().empty());
    EXPECT_FALSE(form.isVisible());
}

// The start-up comparison is cancelled and the main window, back on screen,
// is closed before the scan has noticed: the program ends instead of waiting
// in an event loop with no window, and the end of the scan is silent.
TEST(RunWithMainWindowTest, ClosingBeforeTheCancelledStartUpScanStopsEndsTheProgram)
{
    ImmediateEvents immediate;
    RecordedSounds sounds;
    Program p(true);
    p.WriteFiles("src", 30);
    AppState& state = p.state;
    Form1& form = *p.form;

    test::WhenModalShown([](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        guide->Command1->click();
    });
    bool closed = false;
    DuringRun during([&] {
        FormWait* wait = ProgressWindow(&form);
        if (!closed && wait && state.store.Count(ResultCategory::NotInDestination) >= 5) {
            closed = true;
            wait->Command1->click();
            EXPECT_TRUE(form.isVisible());
            form.close();
        }
    });
    form.Start();
    ASSERT_TRUE(closed);
    EXPECT_LT(state.store.Count(ResultCategory::NotInDestination), 30u);

    EXPECT_EQ(EventLoopWithGuard(state), 0);
    EXPECT_TRUE(RecordedSounds::Themed().empty());
    EXPECT_FALSE(form.isVisible());
}

} // namespace
} // namespace tandrel::gui
