#include "RunTestSupport.h"
#include "gui/AppSetup.h"
#include "gui/ComparisonRun.h"
#include "gui/EventPump.h"
#include "gui/Form1.h"
#include "gui/FormWait.h"
#include "gui/ResultListModel.h"

#include "ModalDriver.h"
#include "ScriptedDialogs.h"
#include "gui/FormGuide.h"
#include "support/TempTree.h"

#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;

// A main window over a fresh program folder and the trees src and dst, whose
// files each test writes; the roots point at the two trees.
struct Program {
    test::TempTree tree;
    AppState state;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<Form1> form;

    explicit Program(bool playSound)
    {
        for (const char* folder : {"prog", "src", "dst"})
            tree.MakeDir(folder);
        PrepareAppState(state, ToQ(tree.Path("prog")));
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

    test::TempTree tree;
    tree.MakeDir("prog");
    for (int i = 0; i < 30; ++i)
        tree.WriteFile("src/many/f" + std::to_string(i) + ".txt", "x" + std::to_string(i));
    tree.WriteFile("dst/extra.txt", "e");

    AppState state;
    PrepareAppState(state, ToQ(tree.Path("prog")));
    state.settings.options.PlaySound = false;
    state.sourceRoot = ToQ(tree.Path("src"));
    state.destinationRoot = ToQ(tree.Path("dst"));
    test::ScriptedDialogs dialogs;
    Form1 form(state, dialogs);
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

// New during a delete: the delete stops after the item in hand and only
// then does the new comparison start. Nothing of the new lists is deleted
// without its own question.
TEST(RunWithMainWindowTest, NewDuringADeleteStopsItBeforeTheNextComparison)
{
    ImmediateEvents immediate;
    Program p(false);
    constexpr int kFiles = 40;
    p.WriteFiles("dst", kFiles);
    p.Compare();
    AppState& state = p.state;
    Form1& form = *p.form;
    test::ScriptedDialogs& dialogs = p.dialogs;
    ASSERT_EQ(state.store.Count(ResultCategory::NotInSource), static_cast<std::size_t>(kFiles));
    auto remaining = [&] { return p.ExistingFiles("dst", kFiles); };

    // Part way through the delete the user asks for a new comparison and
    // confirms the folders.
    int guides = 0;
    int leftWhenAsked = -1;
    bool deleteStillRunning = false;
    QTimer during;
    during.setInterval(0);
    QObject::connect(&during, &QTimer::timeout, [&] {
        if (leftWhenAsked < 0 && remaining() <= kFiles - 5) {
            leftWhenAsked = remaining();
            test::WhenModalShown([&](QWidget* modal) {
                auto* guide = qobject_cast<FormGuide*>(modal);
                ASSERT_NE(guide, nullptr);
                ++guides;
                deleteStillRunning = !form.CmdDelete->isEnabled();
                guide->Command1->click();
            });
            form.Execute(CommandId::ID_NEW);
        }
    });
    during.start();
    form.TabStrip1->setCurrentIndex(3);
    dialogs.messageReplies.push_back(MessageReply::Yes);
    QTest::mouseClick(form.CmdDelete, Qt::LeftButton);
    during.stop();
    ASSERT_GE(leftWhenAsked, 0);

    // The delete has wound up; the dialog comes next, then the comparison.
    QTRY_COMPARE_WITH_TIMEOUT(guides, 1, 5000);
    EXPECT_FALSE(deleteStillRunning);
    ASSERT_NE(ProgressWindow(&form), nullptr);
    ProgressWindow(&form)->Command1->click();
    EXPECT_GE(remaining(), leftWhenAsked - 1);
    EXPECT_GT(remaining(), 0);
    EXPECT_EQ(state.store.Count(ResultCategory::NotInSource), static_cast<std::size_t>(remaining()));
    for (const auto& row : state.store.List(ResultCategory::NotInSource))
        EXPECT_TRUE(row.checked);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.CmdDelete->isEnabled());
    EXPECT_EQ(dialogs.Messages().size(), 1u); // the one question of the first delete
}

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
