#include "ModalDriver.h"
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "ShownPaths.h"
#include "gui/app/AppSetup.h"
#include "gui/mainwindow/Form1.h"
#include "gui/dialogs/FormAbout.h"
#include "gui/dialogs/FormEditPrj.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/dialogs/FormOptions.h"
#include "gui/dialogs/FormProjects.h"
#include "gui/dialogs/FormReport.h"
#include "gui/dialogs/ModBrowser.h"
#include "gui/mainwindow/PathCellDelegate.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTreeView>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;

// A main window over two rows in every list, shown and active.
struct Window : test::StartedProgram {
    std::unique_ptr<Form1> form;

    Window()
    {
        state.sourceRoot = ToQ(tree.Path("src/"));
        state.destinationRoot = ToQ(tree.Path("dst/"));
        for (const ResultCategory category : engine::kAllCategories)
            for (const char* name : {"a.txt", "b.txt"}) {
                engine::CompareItem item;
                item.relativePath = name;
                item.checked = true;
                state.store.AddResultRow(category, std::move(item));
            }
        form = std::make_unique<Form1>(state, dialogs);
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    bool Checked(int list, int row) const
    {
        return state.store.Row(static_cast<ResultCategory>(list), static_cast<std::size_t>(row)).checked;
    }
};

TEST(WindowHandlingTest, SpaceTogglesTheCurrentRowWhateverItsColumn)
{
    Window w;
    QTreeView* view = w.form->ListView1[1];
    view->setFocus();
    for (const int column : {0, 1, 3, 6}) {
        view->setCurrentIndex(view->model()->index(1, column));
        const bool before = w.Checked(1, 1);
        QTest::keyClick(view, Qt::Key_Space);
        EXPECT_NE(w.Checked(1, 1), before) << column;
        EXPECT_TRUE(w.Checked(1, 0)) << column;
    }
}

TEST(WindowHandlingTest, ShiftF10OpensTheContextMenu)
{
    Window w;
    QTreeView* view = w.form->ListView1[1];
    view->setCurrentIndex(view->model()->index(0, 2));
    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(w.form->PopMenu->isVisible());
    w.form->PopMenu->close();
}

TEST(WindowHandlingTest, TabKeysStepThroughTheLists)
{
    Window w;
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int tab; // from the first
    } cases[] = {
        {Qt::Key_Tab, Qt::ControlModifier, 1},
        {Qt::Key_PageDown, Qt::ControlModifier, 1},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 4},
        {Qt::Key_PageUp, Qt::ControlModifier, 4},
    };
    for (const auto& c : cases) {
        w.form->TabStrip1->setCurrentIndex(0);
        w.form->ListView1[1]->setFocus();
        QTest::keyClick(w.form->ListView1[1], c.key, c.modifiers);
        EXPECT_EQ(w.form->TabStrip1->currentIndex(), c.tab) << c.key;
        EXPECT_EQ(w.state.currentTab, c.tab + 1) << c.key;
    }
    // Not while a run holds the lists.
    w.form->TabStrip1->setCurrentIndex(0);
    w.form->DisableResultCommands();
    QTest::keyClick(w.form.get(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(w.form->TabStrip1->currentIndex(), 0);
    w.form->EnableResultCommands();
}

TEST(WindowHandlingTest, PathColumnsLoseTheirBeginning)
{
    Window w;
    for (int list = 1; list <= engine::kCategoryCount; ++list) {
        QTreeView* view = w.form->ListView1[static_cast<std::size_t>(list)];
        const int target = engine::TargetColumn(static_cast<ResultCategory>(list));
        for (int column = 0; column < view->model()->columnCount(); ++column) {
            auto* paths = qobject_cast<PathCellDelegate*>(view->itemDelegateForColumn(column));
            const bool pathColumn = column == 0 || column == target;
            ASSERT_EQ(paths != nullptr, pathColumn) << list << " " << column;
            if (paths) {
                EXPECT_EQ(paths->CellOption(view->model()->index(0, column)).textElideMode, Qt::ElideLeft);
            }
        }
    }
}

// Every dialog: a title and a close box only, centred on its owner, and a
// tab order that reads its layout from the top left: each next control is
// on a lower row or further right on the same one.
TEST(WindowHandlingTest, DialogsFramesPlacesAndTabOrders)
{
    Window w;
    std::vector<std::unique_ptr<QWidget>> dialogs;
    dialogs.push_back(std::make_unique<FormGuide>(w.state, w.dialogs, w.form.get()));
    dialogs.push_back(std::make_unique<FormOptions>(w.state, w.dialogs, w.form.get()));
    dialogs.push_back(std::make_unique<FormProjects>(w.state, w.dialogs, w.form.get()));
    dialogs.push_back(std::make_unique<FormEditPrj>(QString(), settings::ProjectRecord{}, w.dialogs, w.form.get()));
    dialogs.push_back(std::make_unique<FormReport>(w.state, w.dialogs, QStringList{"1", "2", "3", "4", "5"}, w.form.get()));
    dialogs.push_back(std::make_unique<FormAbout>(w.form.get()));
    for (const auto& dialog : dialogs) {
        const std::string name = dialog->metaObject()->className();
        const Qt::WindowFlags flags = dialog->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint)) << name;
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint) || flags.testFlag(Qt::WindowMaximizeButtonHint)) << name;
        dialog->show();
        QApplication::processEvents();
        const QPoint offset = dialog->geometry().center() - w.form->geometry().center();
        EXPECT_LE(offset.manhattanLength(), 24) << name;

        QWidget* first = dialog->nextInFocusChain();
        QWidget* previous = nullptr;
        int controls = 0;
        for (QWidget* next = first; next != dialog.get() && controls < 100; next = next->nextInFocusChain()) {
            if (!(next->focusPolicy() & Qt::TabFocus) || !next->isVisibleTo(dialog.get()) || next->focusProxy()
                || (qobject_cast<QLineEdit*>(next) && qobject_cast<QComboBox*>(next->parentWidget())))
                continue;
            const QRect place(next->mapTo(dialog.get(), QPoint(0, 0)), next->size());
            if (previous) {
                const QRect before(previous->mapTo(dialog.get(), QPoint(0, 0)), previous->size());
                const bool sameRow = place.top() < before.bottom() && before.top() < place.bottom();
                EXPECT_TRUE(sameRow ? place.left() > before.left() : place.top() > before.top())
                    << name << ": " << previous->objectName().toStdString() << " before "
                    << next->objectName().toStdString();
            }
            previous = next;
            ++controls;
        }
        EXPECT_GE(controls, 1) << name;
        dialog->close();
    }
}

TEST(WindowHandlingTest, BrowseStartsAtTheNearestExistingFolder)
{
    test::TempTree tree;
    tree.MakeDir("here");
    const QString here = test::Shown(tree.Path("here"));
    const struct {
        QString typed;
        QString start;
    } cases[] = {
        {here, here},
        {here + QDir::separator() + "gone" + QDir::separator() + "deeper", here},
        {QString(), QString()},
        {QStringLiteral("not/absolute"), QString()},
    };
    for (const auto& c : cases) {
        test::ScriptedDialogs dialogs;
        BrowseForFolder(dialogs, nullptr, QStringLiteral("t"), c.typed);
        ASSERT_EQ(dialogs.requests.size(), 1u);
        EXPECT_EQ(dialogs.requests[0].startFolder, c.start) << c.typed.toStdString();
    }
}

TEST(WindowHandlingTest, TheMainWindowHasTheKeysBackAfterASavedReport)
{
    Window w;
    w.dialogs.saveReplies = {ToQ(w.tree.Path("report.txt"))};
    test::WhenModalShown([](QWidget* modal) {
        if (auto* report = qobject_cast<FormReport*>(modal))
            report->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    });
    w.form->Execute(CommandId::ID_REPORT);
    EXPECT_EQ(w.dialogs.Messages().size(), 1u);
    EXPECT_TRUE(QTest::qWaitForWindowActive(w.form.get(), 1000));
    EXPECT_EQ(QApplication::activeWindow(), w.form.get());
}

} // namespace
} // namespace tandrel::gui
