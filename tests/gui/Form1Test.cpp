#include "gui/mainwindow/Form1.h"

#include "ModalDriver.h"
#include "ProgramFolder.h"
#include "ScriptedDialogs.h"
#include "ShownPaths.h"
#include "gui/app/AppSetup.h"
#include "gui/run/ComparisonRun.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/run/FormWait.h"
#include "gui/mainwindow/LinkLabel.h"
#include "gui/app/Registry.h"

#include "engine/Scanner.h"
#include "engine/TextForms.h"
#include "support/TempTree.h"

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QtTest/QTest>

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace tandrel::gui {
namespace {

using engine::ResultCategory;
using test::ScriptedDialogs;
using test::TempTree;
using test::WhenModalShown;

void ClearRegistry()
{
    QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    key.clear();
    key.sync();
}

// Empty per-user values while it lives.
struct ClearedRegistry {
    ClearedRegistry() { ClearRegistry(); }
    ~ClearedRegistry() { ClearRegistry(); }
};

// A main window over a fresh program folder and empty per-user values.
struct MainWindow : ClearedRegistry, test::StartedProgram {
    std::unique_ptr<Form1> form = std::make_unique<Form1>(state, dialogs);

    QString Src() const { return test::Shown(tree.Path("src")); }
    QString Dst() const { return test::Shown(tree.Path("dst")); }
};

// One entry of every kind: a newer, an older and a size-changed pair, a
// pair that is equal, a folder and five files only in the source, one file
// only in the destination.
void MakeTrees(TempTree& t)
{
    const std::int64_t T = test::LocalTime(2024, 3, 15, 10, 0, 0);
    t.WriteFile("src/newer.txt", "aa", T + 100);
    t.WriteFile("dst/newer.txt", "aa", T);
    t.WriteFile("src/older.txt", "bb", T);
    t.WriteFile("dst/older.txt", "bb", T + 100);
    t.WriteFile("src/size.txt", "123", T);
    t.WriteFile("dst/size.txt", "12345", T);
    t.WriteFile("src/same.txt", "s", T);
    t.WriteFile("dst/same.txt", "s", T);
    for (int i = 1; i <= 5; ++i)
        t.WriteFile("src/n" + std::to_string(i) + ".txt", std::string(static_cast<std::size_t>(i), 'n'), T);
    t.MakeDir("src/onlysrc");
    t.SetMtime("src/onlysrc", T + 60);
    t.WriteFile("dst/onlydst.txt", "xyz", T + 7);
}

// Fills the store as a comparison run does, around one reset of the lists.
void Scan(MainWindow& w)
{
    w.state.sourceRoot = w.Src() + QDir::separator();
    w.state.destinationRoot = w.Dst() + QDir::separator();
    engine::ScanContext context;
    context.sourceRoot = FromQ(w.state.sourceRoot);
    context.destinationRoot = FromQ(w.state.destinationRoot);
    context.includeSubdirectories = true;
    context.options = &w.state.settings.options;
    context.ignoredTypes = &w.state.settings.ignoredTypes;
    context.runFlag = &w.state.runFlag;
    context.store = &w.state.store;
    w.state.runFlag.Set(true);
    w.form->BeginStoreReset();
    engine::RunScan(context);
    w.state.store.SetAllChecked(true);
    w.form->EndStoreReset();
    w.form->UpdateTabCaptions();
    w.form->SetRootLabels(w.state.sourceRoot, w.state.destinationRoot);
    w.state.runFlag.Set(false);
}

int RowOf(const engine::ResultStore& store, ResultCategory c, const std::string& relativePath)
{
    const auto& list = store.List(c);
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].relativePath == relativePath)
            return static_cast<int>(i);
    return -1;
}

std::vector<bool> Checks(const engine::ResultStore& store, ResultCategory c)
{
    std::vector<bool> out;
    for (const auto& row : store.List(c))
        out.push_back(row.checked);
    return out;
}

QAction* PopEntry(Form1& form, const char* name)
{
    return form.PopMenu->findChild<QAction*>(QString::fromLatin1(name));
}

void SelectRows(QTreeView* view, std::initializer_list<int> rows)
{
    view->selectionModel()->clearSelection();
    for (int row : rows)
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// The window on screen with tab `tab` (1..5) clicked.
void ShowOnTab(Form1& f, int tab)
{
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(tab - 1).center());
}

TEST(Form1Test, WindowAndEmptyListsRightAfterStartUp)
{
    MainWindow w;
    Form1& f = *w.form;
    EXPECT_EQ(f.objectName(), QStringLiteral("Form1"));
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Tandrel"));
    EXPECT_FALSE(w.state.runFlag.IsSet());
    EXPECT_EQ(w.state.currentTab, 1);
    EXPECT_EQ(f.Label1->text(), QStringLiteral("Source:"));
    EXPECT_EQ(f.Label2->text(), QStringLiteral("Destination:"));
    EXPECT_TRUE(f.LabelSource->text().isEmpty());
    EXPECT_TRUE(f.LabelDes->text().isEmpty());
    for (LinkLabel* link : {f.LabelSource, f.LabelDes}) {
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(link->toolTip(), QStringLiteral("Click to open the folder"));
    }
    EXPECT_EQ(f.findChild<QWidget*>(QStringLiteral("Picture1")), f.Picture1);

    ASSERT_EQ(f.TabStrip1->count(), 5);
    EXPECT_EQ(f.TabStrip1->currentIndex(), 0);
    const QStringList captions{QStringLiteral("Newer than destination"), QStringLiteral("Older than destination"),
                               QStringLiteral("Can not find destination"), QStringLiteral("Can not find source"),
                               QStringLiteral("Only size changed")};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(f.TabStrip1->tabText(i), captions[i]);

    for (int i = 1; i <= 5; ++i) {
        QTreeView* view = f.findChild<QTreeView*>(QStringLiteral("ListView1_%1").arg(i));
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view, f.ListView1[static_cast<std::size_t>(i)]);
        EXPECT_EQ(view->model(), f.ListModel[static_cast<std::size_t>(i)]);
        EXPECT_EQ(view->model()->rowCount(), 0);
        EXPECT_EQ(view->model()->columnCount(), (i == 3 || i == 4) ? 5 : 7);
    }
    // List 1 is on top until the first tab click.
    f.show();
    EXPECT_TRUE(f.ListView1[1]->isVisible());
    for (int i = 2; i <= 5; ++i)
        EXPECT_FALSE(f.ListView1[static_cast<std::size_t>(i)]->isVisible());

    // The four list images and the button images are loaded from the resources.
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(f.ImageList1[static_cast<std::size_t>(i)].isNull()) << i;
    for (QPushButton* b : {f.CmdS2D, f.CmdD2S, f.CmdDelete}) {
        EXPECT_FALSE(b->icon().isNull());
        EXPECT_TRUE(b->text().isEmpty()); // image only
        EXPECT_TRUE(b->isEnabled());
    }
}

TEST(Form1Test, ListColumnsHeadersWidthsAndAlignment)
{
    MainWindow w;
    const QStringList twoSided{QStringLiteral("Name"),
                               QStringLiteral("Size(Bytes)"),
                               QStringLiteral("Modified"),
                               QStringLiteral("Modified (Destination)"),
                               QStringLiteral("Size (Destination)"),
                               QStringLiteral("Name (Destination)"),
                               QStringLiteral("   ")};
    const QStringList oneSided{QStringLiteral("Name"), QStringLiteral("Size(Bytes)"), QStringLiteral("Modified"),
                               QStringLiteral("Can not find"), QStringLiteral("   ")};
    // The designed widths, 5000, 1400, 2000 and 2200 twips, in pixels.
    const std::vector<int> twoWidths{333, 93, 133, 133, 147, 333, 133};
    const std::vector<int> oneWidths{333, 93, 133, 333, 133};

    for (int i = 1; i <= 5; ++i) {
        QTreeView* view = w.form->ListView1[static_cast<std::size_t>(i)];
        const bool one = (i == 3 || i == 4);
        const QStringList& headers = one ? oneSided : twoSided;
        const std::vector<int>& widths = one ? oneWidths : twoWidths;
        ASSERT_EQ(view->model()->columnCount(), headers.size());
        for (int c = 0; c < headers.size(); ++c) {
            SCOPED_TRACE(testing::Message() << "list " << i << " column " << c);
            EXPECT_EQ(view->model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), headers[c]);
            const int designed = widths[static_cast<std::size_t>(c)];
            const int width = view->header()->sectionSize(c);
            EXPECT_GE(width, designed);
            // The header reads whole; a column is widened only as far as its
            // header (or, for the times, the widest time text) needs.
            const int header = view->header()->fontMetrics().horizontalAdvance(headers[c]);
            EXPECT_LE(header, width);
            const bool time = c == 2 || (!one && c == 3);
            if (!time) {
                EXPECT_LE(width, std::max(designed, header + 32));
            }
            const bool right = c == 1 || (!one && c == 4);
            const auto align = view->model()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
            EXPECT_EQ(bool(align & Qt::AlignRight), right);
        }
        // The name and status columns keep their designed widths.
        EXPECT_EQ(view->header()->sectionSize(0), 333);
        EXPECT_EQ(view->header()->sectionSize(view->model()->columnCount() - 1), 133);
        // Report view, whole rows, never sorted.
        EXPECT_FALSE(view->rootIsDecorated());
        EXPECT_TRUE(view->uniformRowHeights());
        EXPECT_FALSE(view->isSortingEnabled());
        EXPECT_FALSE(view->header()->sectionsClickable());
        EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    }
}

TEST(Form1Test, ModelsShowTheStoreOfARealScan)
{
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    const engine::ResultStore& store = w.state.store;

    for (ResultCategory c : engine::kAllCategories) {
        const int i = engine::Index(c);
        ResultListModel* model = w.form->ListModel[static_cast<std::size_t>(i)];
        ASSERT_EQ(static_cast<std::size_t>(model->rowCount()), store.Count(c)) << i;
        // Every cell is the text the store gives for that column.
        for (int row = 0; row < model->rowCount(); ++row) {
            const auto cells = engine::RowCells(store, c, store.Row(c, static_cast<std::size_t>(row)));
            ASSERT_EQ(static_cast<int>(cells.size()), model->columnCount());
            for (int col = 0; col < model->columnCount(); ++col)
                EXPECT_EQ(model->data(model->index(row, col), Qt::DisplayRole).toString(), ToQ(cells[static_cast<std::size_t>(col)]))
                    << "list " << i << " row " << row << " col " << col;
            EXPECT_EQ(model->data(model->index(row, 0), Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);
            EXPECT_FALSE(model->data(model->index(row, 1), Qt::CheckStateRole).isValid());
            EXPECT_TRUE(model->flags(model->index(row, 0)) & Qt::ItemIsUserCheckable);
        }
    }
    EXPECT_EQ(store.Count(ResultCategory::NewerThanDestination), 1u);
    EXPECT_EQ(store.Count(ResultCategory::OlderThanDestination), 1u);
    EXPECT_EQ(store.Count(ResultCategory::OnlySizeChanged), 1u);
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 1u);
    EXPECT_EQ(store.Count(ResultCategory::NotInDestination), 6u);

    // Tab captions carry the counts.
    EXPECT_EQ(w.form->TabStrip1->tabText(0), QStringLiteral("Newer than destination (1)"));
    EXPECT_EQ(w.form->TabStrip1->tabText(2), QStringLiteral("Can not find destination (6)"));
    EXPECT_EQ(w.form->TabStrip1->tabText(3), QStringLiteral("Can not find source (1)"));

    // A missing folder in list 3: folder icon, blank size, its modification time.
    ResultListModel* list3 = w.form->ListModel[3];
    const int folderRow = RowOf(store, ResultCategory::NotInDestination, "onlysrc");
    ASSERT_GE(folderRow, 0);
    EXPECT_EQ(list3->data(list3->index(folderRow, 0), Qt::DecorationRole).value<QIcon>().cacheKey(),
              w.form->ImageList1[1].cacheKey());
    EXPECT_TRUE(list3->CellText(folderRow, 1).trimmed().isEmpty());
    EXPECT_EQ(list3->CellText(folderRow, 2),
              ToQ(engine::TimeText(test::LocalTime(2024, 3, 15, 10, 1, 0), store.LocalOffset())));
    EXPECT_EQ(list3->CellText(folderRow, 0), w.Src() + QDir::separator() + QStringLiteral("onlysrc"));
    EXPECT_EQ(list3->CellText(folderRow, 3), w.Dst() + QDir::separator() + QStringLiteral("onlysrc"));
    const int fileRow = RowOf(store, ResultCategory::NotInDestination, "n3.txt");
    ASSERT_GE(fileRow, 0);
    EXPECT_EQ(list3->data(list3->index(fileRow, 0), Qt::DecorationRole).value<QIcon>().cacheKey(),
              w.form->ImageList1[2].cacheKey());
    EXPECT_EQ(list3->CellText(fileRow, 1), QStringLiteral("3"));

    // A missing file in list 4: its destination path under Name, the
    // expected source path under "Can not find".
    ResultListModel* list4 = w.form->ListModel[4];
    EXPECT_EQ(list4->CellText(0, 0), w.Dst() + QDir::separator() + QStringLiteral("onlydst.txt"));
    EXPECT_EQ(list4->CellText(0, 1), QStringLiteral("3"));
    EXPECT_EQ(list4->CellText(0, 3), w.Src() + QDir::separator() + QStringLiteral("onlydst.txt"));
    EXPECT_TRUE(list4->CellText(0, 4).isEmpty());

    // Paths show in full as a tooltip; sizes and times need none.
    EXPECT_EQ(list4->data(list4->index(0, 0), Qt::ToolTipRole).toString(), list4->CellText(0, 0));
    EXPECT_EQ(list4->data(list4->index(0, 3), Qt::ToolTipRole).toString(), list4->CellText(0, 3));
    EXPECT_FALSE(list4->data(list4->index(0, 1), Qt::ToolTipRole).isValid());
    EXPECT_FALSE(list4->data(list4->index(0, 4), Qt::ToolTipRole).isValid()); // empty status

    // Sizes right-aligned in both columns of the two-sided lists.
    ResultListModel* list5 = w.form->ListModel[5];
    EXPECT_EQ(list5->CellText(0, 1), QStringLiteral("3"));
    EXPECT_EQ(list5->CellText(0, 4), QStringLiteral("5"));
    EXPECT_EQ(list5->CellText(0, 5), w.Dst() + QDir::separator() + QStringLiteral("size.txt"));
    for (int col : {1, 4})
        EXPECT_TRUE(list5->data(list5->index(0, col), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    EXPECT_TRUE(list5->data(list5->index(0, 3), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);

    // Clicking the check box toggles the row's check mark, one notification.
    QSignalSpy changed(list3, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(list3->setData(list3->index(fileRow, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(store.Row(ResultCategory::NotInDestination, static_cast<std::size_t>(fileRow)).checked);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(list3->setData(list3->index(fileRow, 1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(list3->setData(list3->index(fileRow, 0), QStringLiteral("x"), Qt::EditRole));

    // Status, icon and tag changes of copy and delete reach the list as one notification.
    auto& row = w.state.store.Row(ResultCategory::NotInDestination, 0);
    row.SetStatusText("Access is denied.");
    row.icon = engine::RowIcon::Failed;
    changed.clear();
    w.form->RowsChanged(3, 0, 0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(list3->CellText(0, 4), QStringLiteral("Access is denied."));
    EXPECT_EQ(list3->data(list3->index(0, 0), Qt::DecorationRole).value<QIcon>().cacheKey(),
              w.form->ImageList1[4].cacheKey());
}

TEST(Form1Test, StoreRefilledDuringAResetIsNeverReadPastItsEnd)
{
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    ResultListModel* list3 = w.form->ListModel[3];
    ASSERT_EQ(list3->rowCount(), 6);
    QSignalSpy resets(list3, &QAbstractItemModel::modelReset);
    w.form->BeginStoreReset();
    w.form->BeginStoreReset(); // nested brackets reset once
    w.state.store.Clear();
    // Between the brackets a view may still ask for the old rows.
    EXPECT_FALSE(list3->data(list3->index(5, 0), Qt::DisplayRole).isValid());
    EXPECT_TRUE(list3->CellText(5, 0).isEmpty());
    w.form->EndStoreReset();
    EXPECT_EQ(resets.count(), 0);
    w.form->EndStoreReset();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(list3->rowCount(), 0);
    w.form->EndStoreReset(); // unbalanced end: ignored
    EXPECT_EQ(resets.count(), 1);
}

TEST(Form1Test, TabClicksSwitchListsAndTheCopyButtons)
{
    MainWindow w;
    Form1& f = *w.form;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.CmdDelete->setEnabled(false); // a tab click leaves the delete button alone
    for (int tab : {3, 4, 1, 2, 5, 4, 3}) {
        SCOPED_TRACE(tab);
        QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(tab - 1).center());
        EXPECT_EQ(w.state.currentTab, tab);
        EXPECT_EQ(f.TabStrip1->currentIndex(), tab - 1);
        for (int i = 1; i <= 5; ++i)
            EXPECT_EQ(f.ListView1[static_cast<std::size_t>(i)]->isVisible(), i == tab);
        EXPECT_EQ(f.CmdS2D->isEnabled(), tab != 4);
        EXPECT_EQ(f.CmdD2S->isEnabled(), tab != 3);
        EXPECT_FALSE(f.CmdDelete->isEnabled());
    }

    // During an operation nothing can start; afterwards the tab rule holds again.
    f.DisableResultCommands();
    for (QWidget* c : std::initializer_list<QWidget*>{f.CmdS2D, f.CmdD2S, f.CmdDelete, f.TabStrip1})
        EXPECT_FALSE(c->isEnabled());
    f.SetTabStripEnabled(true);
    EXPECT_TRUE(f.TabStrip1->isEnabled());
    // A comparison leaves the tabs usable; a tab click then switches the
    // list but enables no copy button before the run's end.
    QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(0).center());
    QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(2).center());
    EXPECT_EQ(w.state.currentTab, 3);
    EXPECT_TRUE(f.ListView1[3]->isVisible());
    EXPECT_FALSE(f.CmdS2D->isEnabled());
    EXPECT_FALSE(f.CmdD2S->isEnabled());
    EXPECT_FALSE(f.CmdDelete->isEnabled());
    f.SetTabStripEnabled(false);
    f.EnableResultCommands();
    EXPECT_TRUE(f.CmdS2D->isEnabled());
    EXPECT_FALSE(f.CmdD2S->isEnabled()); // still on tab 3
    EXPECT_TRUE(f.CmdDelete->isEnabled());
    EXPECT_TRUE(f.TabStrip1->isEnabled());
}

TEST(Form1Test, LayoutKeepsButtonOrderGapsAndCentring)
{
    MainWindow w;
    Form1& f = *w.form;
    f.resize(900, 600);
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    for (QSize size : {QSize(900, 600), QSize(1300, 800), QSize(700, 450)}) {
        f.resize(size);
        QCoreApplication::processEvents();
        SCOPED_TRACE(f.width());
        QTreeView* list = f.ListView1[1];
        const QRect listRect(list->mapTo(&f, QPoint(0, 0)), list->size());
        const QRect d2s(f.CmdD2S->mapTo(&f, QPoint(0, 0)), f.CmdD2S->size());
        const QRect s2d(f.CmdS2D->mapTo(&f, QPoint(0, 0)), f.CmdS2D->size());
        const QRect del(f.CmdDelete->mapTo(&f, QPoint(0, 0)), f.CmdDelete->size());
        EXPECT_EQ(d2s.left(), (f.width() - d2s.width()) / 2);
        EXPECT_EQ(d2s.top(), listRect.bottom() + 1 + 7);
        EXPECT_EQ(s2d.top(), d2s.top());
        EXPECT_EQ(del.top(), d2s.top());
        EXPECT_EQ(s2d.right() + 1 + 2, d2s.left());
        EXPECT_EQ(d2s.right() + 1 + 2, del.left());
        // The tab strip sits above the lists; the buttons fit in the window.
        const QRect tabs(f.TabStrip1->mapTo(&f, QPoint(0, 0)), f.TabStrip1->size());
        EXPECT_LE(tabs.bottom(), listRect.top());
        EXPECT_LE(del.bottom(), f.height());
        // Every list takes the same place.
        for (int i = 2; i <= 5; ++i)
            EXPECT_EQ(f.ListView1[static_cast<std::size_t>(i)]->geometry(), list->geometry());
    }
}

TEST(Form1Test, CheckCommandsActOnTheCurrentListInOneNotification)
{
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    Form1& f = *w.form;
    f.show();
    QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(2).center());
    ASSERT_EQ(w.state.currentTab, 3);
    QTreeView* view = f.ListView1[3];
    ResultListModel* model = f.ListModel[3];
    const auto c3 = ResultCategory::NotInDestination;
    const QString captionBefore = f.TabStrip1->tabText(2);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

    auto run = [&](const char* name) {
        changed.clear();
        QAction* action = PopEntry(f, name);
        EXPECT_NE(action, nullptr) << name;
        if (action)
            action->trigger();
    };

    run("ID_UNCHECKALL");
    EXPECT_EQ(Checks(w.state.store, c3), std::vector<bool>(6, false));
    EXPECT_EQ(changed.count(), 1);

    // Nothing selected: "Check selected items" changes nothing.
    SelectRows(view, {});
    run("ID_CHECKSELECTEDITEMS");
    EXPECT_EQ(Checks(w.state.store, c3), std::vector<bool>(6, false));
    EXPECT_EQ(changed.count(), 0);

    SelectRows(view, {1, 3, 4});
    run("ID_CHECKSELECTEDITEMS");
    EXPECT_EQ(Checks(w.state.store, c3), (std::vector<bool>{false, true, false, true, true, false}));
    EXPECT_EQ(changed.count(), 1);

    run("ID_CHECKUNSELECTEDITEMS");
    EXPECT_EQ(Checks(w.state.store, c3), std::vector<bool>(6, true));
    EXPECT_EQ(changed.count(), 1);

    run("ID_UNCHECKSELECTEDITEMS");
    EXPECT_EQ(Checks(w.state.store, c3), (std::vector<bool>{true, false, true, false, false, true}));

    run("ID_UNCHECKUNSELECTEDITEMS");
    EXPECT_EQ(Checks(w.state.store, c3), std::vector<bool>(6, false));

    run("ID_CHECKALL");
    EXPECT_EQ(Checks(w.state.store, c3), std::vector<bool>(6, true));
    EXPECT_EQ(changed.count(), 1);

    // Every row selected: "Un-check unselected items" changes nothing.
    view->selectAll();
    run("ID_UNCHECKUNSELECTEDITEMS");
    EXPECT_EQ(Checks(w.state.store, c3), std::vector<bool>(6, true));
    EXPECT_EQ(changed.count(), 0);

    // Selection, captions and the other lists are left as they were.
    EXPECT_EQ(view->selectionModel()->selectedRows().size(), 6);
    EXPECT_EQ(f.TabStrip1->tabText(2), captionBefore);
    EXPECT_EQ(Checks(w.state.store, ResultCategory::NotInSource), std::vector<bool>{true});

    // On an empty list a check command does nothing.
    QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(0).center());
    ASSERT_EQ(w.state.currentTab, 1);
    f.Execute(CommandId::ID_UNCHECKALL);
    EXPECT_EQ(Checks(w.state.store, ResultCategory::NewerThanDestination), std::vector<bool>{false});
    EXPECT_EQ(Checks(w.state.store, c3), std::vector<bool>(6, true));
    w.form->BeginStoreReset();
    w.state.store.Clear();
    w.form->EndStoreReset();
    QSignalSpy emptyChanged(f.ListModel[1], &QAbstractItemModel::dataChanged);
    f.Execute(CommandId::ID_CHECKALL);
    f.Execute(CommandId::ID_UNCHECKSELECTEDITEMS);
    EXPECT_EQ(emptyChanged.count(), 0);
}

// Counts the menu requests a widget receives.
struct MenuRequests : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ContextMenu)
            ++count;
        return false;
    }
};

TEST(Form1Test, RightClickOnAListOpensPopMenuForThatList)
{
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    Form1& f = *w.form;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));

    ASSERT_NE(f.PopMenu, nullptr);
    EXPECT_EQ(f.PopMenu->objectName(), QStringLiteral("PopMenu"));
    QStringList entries;
    for (QAction* a : f.PopMenu->actions())
        entries << (a->isSeparator() ? QStringLiteral("—") : a->text());
    EXPECT_EQ(entries, (QStringList{QStringLiteral("Check All"), QStringLiteral("Un-Check All"), QStringLiteral("—"),
                                    QStringLiteral("Check selected items"), QStringLiteral("Un-check selected items"),
                                    QStringLiteral("—"), QStringLiteral("Check unselected items"),
                                    QStringLiteral("Un-check unselected items")}));

    QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(3).center());
    w.state.currentTab = 1; // the right click records the list it was made on
    QWidget* viewport = f.ListView1[4]->viewport();
    const QPoint pos(20, 8);

    // The menu request of the right button's press, and the other buttons, open nothing.
    QContextMenuEvent onPress(QContextMenuEvent::Mouse, pos, viewport->mapToGlobal(pos));
    QCoreApplication::sendEvent(viewport, &onPress);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, pos);
    QTest::mouseClick(viewport, Qt::MiddleButton, {}, pos);
    EXPECT_FALSE(f.PopMenu->isVisible());
    EXPECT_EQ(w.state.currentTab, 1);
    QTest::mousePress(viewport, Qt::RightButton, {}, pos);
    EXPECT_FALSE(f.PopMenu->isVisible());

    // The release of the right button opens it, where the mouse is.
    QTest::mouseRelease(viewport, Qt::RightButton, {}, pos);
    EXPECT_EQ(w.state.currentTab, 4);
    EXPECT_TRUE(f.PopMenu->isVisible());
    EXPECT_LE((f.PopMenu->pos() - viewport->mapToGlobal(pos)).manhattanLength(), 2);
    f.PopMenu->hide();

    // The same through the window, as the desktop delivers a click: the
    // press brings its own menu request, which opens nothing.
    w.state.currentTab = 1;
    const QPoint inWindow = viewport->mapTo(&f, pos);
    MenuRequests requests;
    viewport->installEventFilter(&requests);
    QTest::mousePress(f.windowHandle(), Qt::RightButton, {}, inWindow);
    viewport->removeEventFilter(&requests);
    EXPECT_EQ(requests.count, 1);
    EXPECT_FALSE(f.PopMenu->isVisible());
    QTest::mouseRelease(f.windowHandle(), Qt::RightButton, {}, inWindow);
    EXPECT_EQ(w.state.currentTab, 4);
    EXPECT_TRUE(f.PopMenu->isVisible());
    f.PopMenu->hide();

    // The keyboard's menu key opens it as well: its request goes to the
    // list that has the focus, not to the rows' viewport.
    w.state.currentTab = 1;
    QTreeView* list4 = f.ListView1[4];
    const QPoint middle = list4->rect().center();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, middle, list4->mapToGlobal(middle));
    QCoreApplication::sendEvent(list4, &menuKey);
    EXPECT_EQ(w.state.currentTab, 4);
    EXPECT_TRUE(f.PopMenu->isVisible());
    f.PopMenu->hide();

    // The chosen entry acts on that list.
    PopEntry(f, "ID_UNCHECKALL")->trigger();
    EXPECT_EQ(Checks(w.state.store, ResultCategory::NotInSource), std::vector<bool>{false});
    EXPECT_EQ(Checks(w.state.store, ResultCategory::NewerThanDestination), std::vector<bool>{true});
}

TEST(Form1Test, MenusToolbarAndKeyBindings)
{
    MainWindow w;
    Form1& f = *w.form;
    QMenuBar* bar = f.menuBar();
    EXPECT_EQ(bar->windowTitle(), QStringLiteral("Menu Bar"));
    const QList<QAction*> menus = bar->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("&File"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("&Tools"));
    EXPECT_EQ(menus[2]->text(), QStringLiteral("&Help"));
    EXPECT_EQ(menus[0]->toolTip(), QStringLiteral("File"));
    EXPECT_EQ(menus[1]->toolTip(), QStringLiteral("Tools"));
    EXPECT_EQ(menus[2]->toolTip(), QStringLiteral("Help"));

    struct Entry {
        QString caption;
        QString tip;
        CommandId id;
        QKeySequence keys;
    };
    auto entriesOf = [](QMenu* menu) {
        std::vector<Entry> out;
        for (QAction* a : menu->actions())
            if (a->isSeparator())
                out.push_back({QStringLiteral("—"), QString(), CommandId::ID_FILE, QKeySequence()});
            else
                out.push_back({a->text(), a->toolTip(), static_cast<CommandId>(a->data().toInt()), a->shortcut()});
        return out;
    };
    auto expectEntries = [](const std::vector<Entry>& got, const std::vector<Entry>& want) {
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].caption, want[i].caption);
            if (want[i].caption == QStringLiteral("—"))
                continue;
            EXPECT_EQ(got[i].tip, want[i].tip) << got[i].caption.toStdString();
            EXPECT_EQ(got[i].id, want[i].id) << got[i].caption.toStdString();
            EXPECT_EQ(got[i].keys, want[i].keys) << got[i].caption.toStdString();
        }
    };
    expectEntries(entriesOf(menus[0]->menu()),
                  {{QStringLiteral("&New"), QStringLiteral("New"), CommandId::ID_NEW, QKeySequence(QStringLiteral("Ctrl+N"))},
                   {QStringLiteral("—"), {}, CommandId::ID_FILE, {}},
                   {QStringLiteral("E&xit"), QStringLiteral("Exit"), CommandId::ID_EXIT, {}}});
    expectEntries(entriesOf(menus[1]->menu()),
                  {{QStringLiteral("&Projects"), QStringLiteral("Projects"), CommandId::ID_PROJECTS,
                    QKeySequence(QStringLiteral("Ctrl+P"))},
                   {QStringLiteral("&Daylark"), QStringLiteral("Auto"), CommandId::ID_AUTO, {}},
                   {QStringLiteral("&Options"), QStringLiteral("Options"), CommandId::ID_OPTIONS,
                    QKeySequence(QStringLiteral("Ctrl+O"))},
                   {QStringLiteral("&Report"), QStringLiteral("Report"), CommandId::ID_REPORT,
                    QKeySequence(QStringLiteral("Ctrl+R"))}});
    expectEntries(entriesOf(menus[2]->menu()),
                  {{QStringLiteral("&Contents"), QStringLiteral("Contents"), CommandId::ID_CONTENTS,
                    QKeySequence(QStringLiteral("F1"))},
                   {QStringLiteral("&About"), QStringLiteral("About"), CommandId::ID_ABOUT, {}}});

    QToolBar* toolbar = f.findChild<QToolBar*>(QStringLiteral("IDR_TOOLBAR"));
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(toolbar->windowTitle(), QStringLiteral("toolbar"));
    std::vector<Entry> buttons;
    for (QAction* a : toolbar->actions())
        if (!a->isSeparator() && a->data().isValid())
            buttons.push_back({a->text(), a->toolTip(), static_cast<CommandId>(a->data().toInt()), a->shortcut()});
    expectEntries(buttons, {{QStringLiteral("&New"), QStringLiteral("New Comparison"), CommandId::ID_NEW, {}},
                            {QStringLiteral("&Projects"), QStringLiteral("Projects Manager"), CommandId::ID_PROJECTS, {}},
                            {QStringLiteral("&Report"), QStringLiteral("Create Report"), CommandId::ID_REPORT, {}},
                            {QStringLiteral("Auto"), QStringLiteral("Daylark"), CommandId::ID_AUTO, {}},
                            {QStringLiteral("&Options"), QStringLiteral("Program Options"), CommandId::ID_OPTIONS, {}},
                            {QStringLiteral("&Help"), QStringLiteral("Help Contents"), CommandId::ID_CONTENTS, {}},
                            {QStringLiteral("E&xit"), QStringLiteral("Exit Program"), CommandId::ID_EXIT, {}}});
    for (QAction* a : toolbar->actions()) {
        if (!a->data().isValid())
            continue;
        EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
        // The button shows its caption without the mnemonic marker.
        auto* button = qobject_cast<QToolButton*>(toolbar->widgetForAction(a));
        ASSERT_NE(button, nullptr);
        EXPECT_FALSE(button->text().contains(QLatin1Char('&')));
    }
    // Every command entry of every bar reaches the one dispatcher by its identifier.
    for (CommandId id : {CommandId::ID_NEW, CommandId::ID_EXIT, CommandId::ID_PROJECTS, CommandId::ID_OPTIONS,
                         CommandId::ID_REPORT, CommandId::ID_CONTENTS, CommandId::ID_AUTO})
        EXPECT_EQ(f.Actions(id).size(), 2u) << static_cast<int>(id);
    EXPECT_EQ(f.Actions(CommandId::ID_ABOUT).size(), 1u); // the menu only
    for (CommandId id : {CommandId::ID_CHECKALL, CommandId::ID_UNCHECKALL, CommandId::ID_CHECKSELECTEDITEMS,
                         CommandId::ID_UNCHECKSELECTEDITEMS, CommandId::ID_CHECKUNSELECTEDITEMS,
                         CommandId::ID_UNCHECKUNSELECTEDITEMS})
        EXPECT_EQ(f.Actions(id).size(), 1u) << static_cast<int>(id);

    // Ctrl+N, the menu entry and the toolbar button open the same dialog.
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QStringList opened;
    auto closeGuide = [&opened](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        opened << (guide ? guide->windowTitle() : QStringLiteral("other"));
        if (guide)
            guide->Command2->click();
        else
            modal->close();
    };
    WhenModalShown(closeGuide);
    QTest::keyClick(&f, Qt::Key_N, Qt::ControlModifier);
    WhenModalShown(closeGuide);
    f.findChild<QMenu*>(QStringLiteral("ID_FILE"))->findChild<QAction*>(QStringLiteral("ID_NEW"))->trigger();
    WhenModalShown(closeGuide);
    toolbar->findChild<QAction*>(QStringLiteral("ID_NEW"))->trigger();
    EXPECT_EQ(opened, QStringList(3, QStringLiteral("New Comparison")));
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(w.state.runFlag.IsSet());
}

TEST(Form1Test, StartUpWithoutStoredFoldersAndClose)
{
    MainWindow w;
    QString sourceText = QStringLiteral("unset");
    int recentCount = -1;
    WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        EXPECT_EQ(guide->parentWidget(), w.form.get());
        EXPECT_TRUE(w.form->isVisible()); // shown before the dialog opens
        sourceText = guide->Combo1->currentText();
        recentCount = guide->Combo1->count();
        guide->Command2->click();
    });
    w.form->Start();
    EXPECT_TRUE(sourceText.isEmpty());
    EXPECT_EQ(recentCount, 0);
    // Pressing Close leaves the main window open and idle with empty lists.
    EXPECT_TRUE(w.form->isVisible());
    EXPECT_FALSE(w.state.runFlag.IsSet());
    EXPECT_EQ(ProgressWindow(w.form.get()), nullptr);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(w.form->ListModel[static_cast<std::size_t>(i)]->rowCount(), 0);

    // No comparison ran: shutdown leaves the stored values as they were.
    WriteRegistryValue(QStringLiteral("SourceDir"), QStringLiteral("/kept/source/"));
    w.form->close();
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), QStringLiteral("/kept/source/"));
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("TargetDir")), QString());
}

TEST(Form1Test, StartUpWithStoredFoldersRunsTheComparisonAndShutdownStoresThem)
{
    MainWindow w;
    MakeTrees(w.tree);
    WriteRegistryValue(QStringLiteral("SourceDir"), w.Src());
    WriteRegistryValue(QStringLiteral("TargetDir"), w.Dst());
    QString sourceText;
    QString destinationText;
    WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        sourceText = guide->Combo1->currentText();
        destinationText = guide->Combo2->currentText();
        guide->Command1->click();
    });
    w.form->Start();
    EXPECT_EQ(sourceText, w.Src());
    EXPECT_EQ(destinationText, w.Dst());

    // The run ended normally: the progress window waits for OK, the main window is hidden.
    FormWait* wait = ProgressWindow(w.form.get());
    ASSERT_NE(wait, nullptr);
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_FALSE(w.state.runFlag.IsSet());
    wait->Command1->click();
    EXPECT_TRUE(w.form->isVisible());

    EXPECT_EQ(w.form->LabelSource->text(), w.Src() + QDir::separator());
    EXPECT_EQ(w.form->LabelDes->text(), w.Dst() + QDir::separator());
    EXPECT_EQ(w.form->TabStrip1->tabText(2), QStringLiteral("Can not find destination (6)"));
    EXPECT_EQ(w.form->TabStrip1->tabText(1), QStringLiteral("Older than destination (1)"));
    for (ResultCategory c : engine::kAllCategories) {
        EXPECT_EQ(static_cast<std::size_t>(w.form->ListModel[static_cast<std::size_t>(engine::Index(c))]->rowCount()),
                  w.state.store.Count(c));
        for (bool checked : Checks(w.state.store, c))
            EXPECT_TRUE(checked);
    }
    EXPECT_TRUE(w.form->CmdS2D->isEnabled());
    EXPECT_TRUE(w.form->CmdD2S->isEnabled());
    EXPECT_TRUE(w.form->CmdDelete->isEnabled());

    // A comparison started with tab 3 selected ends with the tab rule in force.
    QTest::mouseClick(w.form->TabStrip1, Qt::LeftButton, {}, w.form->TabStrip1->tabRect(2).center());
    ASSERT_EQ(w.state.currentTab, 3);
    WhenModalShown([&](QWidget* modal) {
        if (auto* guide = qobject_cast<FormGuide*>(modal))
            guide->Command1->click();
        else
            modal->close();
    });
    w.form->Execute(CommandId::ID_NEW);
    ASSERT_NE(ProgressWindow(w.form.get()), nullptr);
    ProgressWindow(w.form.get())->Command1->click();
    EXPECT_EQ(w.state.currentTab, 3);
    EXPECT_TRUE(w.form->CmdS2D->isEnabled());
    EXPECT_FALSE(w.form->CmdD2S->isEnabled());
    EXPECT_TRUE(w.form->CmdDelete->isEnabled());
    EXPECT_TRUE(w.form->TabStrip1->isEnabled());
    EXPECT_EQ(w.form->TabStrip1->tabText(2), QStringLiteral("Can not find destination (6)"));

    // New, then Close: the previous results stay; a progress window left
    // open by a run is closed before the dialog appears.
    const std::size_t before = w.state.store.TotalCount();
    bool waitGone = false;
    WhenModalShown([&](QWidget* modal) {
        waitGone = ProgressWindow(w.form.get()) == nullptr;
        if (auto* guide = qobject_cast<FormGuide*>(modal))
            guide->Command2->click();
        else
            modal->close();
    });
    w.form->Execute(CommandId::ID_NEW);
    EXPECT_TRUE(waitGone);
    EXPECT_EQ(w.state.store.TotalCount(), before);
    EXPECT_EQ(w.form->TabStrip1->tabText(2), QStringLiteral("Can not find destination (6)"));

    // Shutdown stores both folders as held, with their trailing separators.
    w.form->Execute(CommandId::ID_EXIT);
    EXPECT_FALSE(w.form->isVisible());
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), w.Src() + QDir::separator());
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("TargetDir")), w.Dst() + QDir::separator());
}

TEST(Form1Test, ShutdownStoresTheRootFolder)
{
    MainWindow w;
    WriteRegistryValue(QStringLiteral("SourceDir"), QStringLiteral("/old/source/"));
    WriteRegistryValue(QStringLiteral("TargetDir"), QStringLiteral("/old/target/"));
    // The roots as a comparison of the root folder with srv leaves them.
#ifdef Q_OS_WIN
    const QString root = QStringLiteral("C:\\"), srv = QStringLiteral("C:\\srv\\");
#else
    const QString root = QStringLiteral("/"), srv = QStringLiteral("/srv/");
#endif
    w.state.sourceRoot = root;
    w.state.destinationRoot = srv;
    w.state.runFlag.Set(true);
    w.form->show();
    w.form->close();
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("SourceDir")), root);
    EXPECT_EQ(ReadRegistryValue(QStringLiteral("TargetDir")), srv);
    // Anything still running is asked to stop.
    EXPECT_FALSE(w.state.runFlag.IsSet());
}

TEST(Form1Test, ProjectsButtonOfTheDialogOpensTheManagerAndRefreshesTheList)
{
    MainWindow w;
    QString managerClass;
    bool ownedByDialog = false;
    QStringList projectNames;
    QString chosenAfterCancel;
    WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        WhenModalShown(
            [&](QWidget* manager) {
                managerClass = QString::fromLatin1(manager->metaObject()->className());
                ownedByDialog = manager->parentWidget() == guide;
                // What a save in the manager leaves behind.
                w.state.settings.projectList = {"Photos|/home/p|/media/p", "Mail|/home/m|/media/m"};
                qobject_cast<QDialog*>(manager)->accept();
            },
            5000, guide);
        guide->Command5->click();
        for (int i = 0; i < guide->Combo3->count(); ++i)
            projectNames << guide->Combo3->itemText(i);
        // A manager closed without saving leaves the list and its choice alone.
        guide->Combo3->setCurrentIndex(1);
        WhenModalShown([&](QWidget* manager) { manager->close(); }, 5000, guide);
        guide->Command5->click();
        chosenAfterCancel = guide->Combo3->currentText();
        guide->Command2->click();
    });
    w.form->Start();
    EXPECT_EQ(managerClass, QStringLiteral("tandrel::gui::FormProjects"));
    EXPECT_TRUE(ownedByDialog);
    EXPECT_EQ(projectNames, (QStringList{QStringLiteral("Photos"), QStringLiteral("Mail")}));
    EXPECT_EQ(chosenAfterCancel, QStringLiteral("Mail"));
}

TEST(Form1Test, ToolCommandsOpenTheirWindowsOwnedByTheMainWindow)
{
    MainWindow w;
    w.form->show();
    const struct {
        CommandId id;
        const char* windowClass;
    } commands[] = {
        {CommandId::ID_PROJECTS, "tandrel::gui::FormProjects"},
        {CommandId::ID_OPTIONS, "tandrel::gui::FormOptions"},
        {CommandId::ID_REPORT, "tandrel::gui::FormReport"},
        {CommandId::ID_ABOUT, "tandrel::gui::FormAbout"},
    };
    for (const auto& command : commands) {
        QString shown;
        QWidget* owner = nullptr;
        WhenModalShown([&](QWidget* modal) {
            shown = QString::fromLatin1(modal->metaObject()->className());
            owner = modal->parentWidget();
            modal->close();
        });
        // Through the menu entry, as the user would.
        std::vector<QAction*> actions = w.form->Actions(command.id);
        ASSERT_FALSE(actions.empty());
        actions.front()->trigger();
        EXPECT_EQ(shown, QString::fromLatin1(command.windowClass));
        EXPECT_EQ(owner, w.form.get());
    }
    // Closing any of them leaves the settings file unwritten.
    EXPECT_FALSE(w.tree.Exists("prog/tdl.ini"));

    // The key bindings of the Tools menu reach the same windows.
    const struct {
        QKeyCombination keys;
        const char* windowClass;
    } bindings[] = {
        {Qt::CTRL | Qt::Key_P, "tandrel::gui::FormProjects"},
        {Qt::CTRL | Qt::Key_O, "tandrel::gui::FormOptions"},
        {Qt::CTRL | Qt::Key_R, "tandrel::gui::FormReport"},
    };
    for (const auto& binding : bindings) {
        w.form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
        QString shown;
        WhenModalShown([&](QWidget* modal) {
            shown = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        });
        QTest::keyClick(w.form.get(), binding.keys.key(), binding.keys.keyboardModifiers());
        EXPECT_EQ(shown, QString::fromLatin1(binding.windowClass));
    }
}

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

TEST(Form1Test, FolderLinksOpenTheShownFolder)
{
    MainWindow w;
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    Form1& f = *w.form;
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    // Before any comparison a click does nothing.
    QTest::mouseClick(f.LabelSource, Qt::LeftButton);
    EXPECT_TRUE(recorder.urls.isEmpty());

    f.SetRootLabels(QStringLiteral("/data/with space/"), QStringLiteral("/backup/ü/"));
    EXPECT_EQ(f.LabelSource->text(), QStringLiteral("/data/with space/"));
    QTest::mouseClick(f.LabelSource, Qt::LeftButton);
    QTest::mouseClick(f.LabelDes, Qt::RightButton); // only the left button opens
    QTest::mouseClick(f.LabelDes, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(QStringLiteral("/data/with space/")));
    EXPECT_EQ(recorder.urls[1], QUrl::fromLocalFile(QStringLiteral("/backup/ü/")));
}

// Two folders dropped on the main window open New Comparison with them, the
// first as the source; one folder or a file is refused.
TEST(Form1Test, TwoFoldersDroppedOnTheWindowOpenNewComparison)
{
    MainWindow w;
    Form1& f = *w.form;
    w.tree.MakeDir("a");
    w.tree.MakeDir("b");
    w.tree.WriteFile("c.txt", "x");
    f.show();
    const auto drop = [&f](const std::vector<std::string>& paths) {
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls << QUrl::fromLocalFile(ToQ(path));
        QMimeData data;
        data.setUrls(urls);
        const QPoint pos = f.ListView1[1]->mapTo(&f, QPoint(20, 20));
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropped(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f, &dropped);
        return dropped.isAccepted();
    };
    EXPECT_FALSE(drop({w.tree.Path("a")}));
    EXPECT_FALSE(drop({w.tree.Path("a"), w.tree.Path("c.txt")}));

    QString source;
    QString destination;
    test::WhenModalShown([&](QWidget* modal) {
        auto* guide = qobject_cast<FormGuide*>(modal);
        ASSERT_NE(guide, nullptr);
        source = guide->Combo1->currentText();
        destination = guide->Combo2->currentText();
        guide->Command2->click();
    });
    ASSERT_TRUE(drop({w.tree.Path("a"), w.tree.Path("b")}));
    for (int i = 0; i < 200 && source.isEmpty(); ++i)
        QTest::qWait(10);
    EXPECT_EQ(source, QDir::toNativeSeparators(ToQ(w.tree.Path("a"))));
    EXPECT_EQ(destination, QDir::toNativeSeparators(ToQ(w.tree.Path("b"))));
    EXPECT_FALSE(w.state.runFlag.IsSet());
}

// The links are stops of the Tab order once they show a folder, and Enter or
// Space opens it.
TEST(Form1Test, FolderLinksAreReachedWithTabAndOpenFromTheKeyboard)
{
    MainWindow w;
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    Form1& f = *w.form;
    f.SetRootLabels(QStringLiteral("/data/a/"), QStringLiteral("/backup/a/"));
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.ListView1[1]->setFocus();
    std::set<QWidget*> reached;
    for (int step = 0; step < 40; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached.insert(QApplication::focusWidget());
    }
    EXPECT_TRUE(reached.count(f.LabelSource));
    EXPECT_TRUE(reached.count(f.LabelDes));
    f.LabelSource->setFocus();
    QTest::keyClick(f.LabelSource, Qt::Key_Return);
    f.LabelDes->setFocus();
    QTest::keyClick(f.LabelDes, Qt::Key_Space);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(QStringLiteral("/data/a/")));
    EXPECT_EQ(recorder.urls[1], QUrl::fromLocalFile(QStringLiteral("/backup/a/")));
}

TEST(Form1Test, ActionButtonsCopyAndDeleteTheCheckedRowsOfTheVisibleList)
{
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    Form1& f = *w.form;
    // Tab 3, two rows unchecked, copy from source to destination.
    ShowOnTab(f, 3);
    const auto c3 = ResultCategory::NotInDestination;
    w.state.store.Row(c3, static_cast<std::size_t>(RowOf(w.state.store, c3, "n1.txt"))).checked = false;
    w.state.store.Row(c3, static_cast<std::size_t>(RowOf(w.state.store, c3, "n2.txt"))).checked = false;
    f.RowsChanged(3, 0, 5);
    w.dialogs.messageReplies = {MessageReply::Yes};
    QTest::mouseClick(f.CmdS2D, Qt::LeftButton);
    ASSERT_EQ(w.dialogs.requests.size(), 1u);
    EXPECT_EQ(w.dialogs.requests[0].text,
              QStringLiteral("Are you sure you want to copy selected files and directories\nfrom Source to Destination?"));
    EXPECT_EQ(w.dialogs.requests[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(w.tree.Exists("dst/onlysrc"));
    EXPECT_EQ(w.tree.ReadFile("dst/n3.txt"), "nnn");
    EXPECT_FALSE(w.tree.Exists("dst/n1.txt"));
    EXPECT_EQ(f.ListModel[3]->rowCount(), 2);
    EXPECT_EQ(f.TabStrip1->tabText(2), QStringLiteral("Can not find destination (2)"));
    EXPECT_TRUE(f.CmdS2D->isEnabled());
    EXPECT_FALSE(f.CmdD2S->isEnabled());
    EXPECT_TRUE(f.CmdDelete->isEnabled());
    EXPECT_TRUE(f.TabStrip1->isEnabled());

    // Tab 4: No to the delete question changes nothing; Yes deletes.
    QTest::mouseClick(f.TabStrip1, Qt::LeftButton, {}, f.TabStrip1->tabRect(3).center());
    w.dialogs.Clear();
    w.dialogs.messageReplies = {MessageReply::No};
    QTest::mouseClick(f.CmdDelete, Qt::LeftButton);
    ASSERT_EQ(w.dialogs.requests.size(), 1u);
    EXPECT_EQ(w.dialogs.requests[0].text, QStringLiteral("Are you sure you want to delete selected files and directories?"));
    EXPECT_TRUE(w.tree.Exists("dst/onlydst.txt"));
    w.dialogs.messageReplies = {MessageReply::Yes};
    QTest::mouseClick(f.CmdDelete, Qt::LeftButton);
    EXPECT_FALSE(w.tree.Exists("dst/onlydst.txt"));
    EXPECT_EQ(f.TabStrip1->tabText(3), QStringLiteral("Can not find source (0)"));
    EXPECT_FALSE(f.CmdS2D->isEnabled());
    EXPECT_TRUE(f.CmdD2S->isEnabled());
}

TEST(Form1Test, HelpKeyOpensTheHelpPages)
{
    MainWindow w;
    w.tree.WriteFile("prog/help/index.html", "<html><body>Tandrel</body></html>");
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "Open");
    Form1& f = *w.form;
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_F1);
    f.CommandBar->findChild<QAction*>(QStringLiteral("ID_CONTENTS"))->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.urls.size(), 2);
    EXPECT_EQ(recorder.urls[0], QUrl::fromLocalFile(ToQ(w.tree.Path("prog/help/index.html"))));
    EXPECT_EQ(recorder.urls[1], recorder.urls[0]);
    EXPECT_TRUE(w.dialogs.requests.empty());
}

TEST(Form1Test, DestroyingAVisibleWindowWithRowsIsSafe)
{
    // A list keeps its row images for as long as it lives, whatever the
    // window's own image list does.
    {
        engine::ResultStore store;
        store.Reset("/s/", "/d/", 0);
        engine::CompareItem item;
        item.relativePath = "a";
        item.icon = engine::RowIcon::Folder;
        store.List(ResultCategory::NotInDestination).push_back(std::move(item));
        auto images = std::make_unique<ListImages>();
        (*images)[1] = QIcon(QStringLiteral(":/icons/folder.png"));
        const qint64 key = (*images)[1].cacheKey();
        ResultListModel model(store, ResultCategory::NotInDestination, *images);
        images.reset();
        const QIcon shown = model.data(model.index(0, 0), Qt::DecorationRole).value<QIcon>();
        EXPECT_FALSE(shown.isNull());
        EXPECT_EQ(shown.cacheKey(), key);
    }

    // The whole window, shown with rows and icons on screen, a progress
    // window still open, destroyed as the program's end destroys it.
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    w.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.form.get()));
    for (int tab : {3, 1, 4}) {
        QTest::mouseClick(w.form->TabStrip1, Qt::LeftButton, {}, w.form->TabStrip1->tabRect(tab - 1).center());
        EXPECT_FALSE(w.form->grab().isNull());
    }
    auto* wait = new FormWait(w.state, w.form.get());
    wait->show();
    QPointer<FormWait> waitAlive(wait);
    QPointer<QTreeView> list(w.form->ListView1[4]);
    w.form.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(waitAlive.isNull());
    EXPECT_TRUE(list.isNull());
}

TEST(Form1Test, PurgeRemovesTaggedRunsOfTheCurrentListBottomUp)
{
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    Form1& f = *w.form;
    w.state.currentTab = 3;
    auto& list = w.state.store.List(ResultCategory::NotInDestination);
    const std::string kept1 = list[1].relativePath;
    const std::string kept4 = list[4].relativePath;
    for (int row : {0, 2, 3, 5})
        list[static_cast<std::size_t>(row)].SetTag("d");
    QSignalSpy resets(f.ListModel[3], &QAbstractItemModel::modelReset);
    QSignalSpy removals(f.ListModel[3], &QAbstractItemModel::rowsRemoved);
    f.RemoveProcessedRowsOfCurrentTab();
    f.UpdateTabCaption(3);
    EXPECT_EQ(resets.count(), 0);
    ASSERT_EQ(removals.count(), 3);
    const std::pair<int, int> runs[] = {{5, 5}, {2, 3}, {0, 0}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(removals[i][1].toInt(), runs[i].first);
        EXPECT_EQ(removals[i][2].toInt(), runs[i].second);
    }
    EXPECT_EQ(f.ListModel[3]->rowCount(), 2);
    EXPECT_EQ(f.ListModel[3]->CellText(0, 0), ToQ(w.state.store.SourceRoot() + kept1));
    EXPECT_EQ(f.ListModel[3]->CellText(1, 0), ToQ(w.state.store.SourceRoot() + kept4));
    EXPECT_EQ(f.TabStrip1->tabText(2), QStringLiteral("Can not find destination (2)"));
    // No tagged rows: the caption is rewritten with the unchanged count.
    f.RemoveProcessedRowsOfCurrentTab();
    f.UpdateTabCaption(3);
    EXPECT_EQ(f.TabStrip1->tabText(2), QStringLiteral("Can not find destination (2)"));

    // Tab 4 with every row tagged: an empty list and the count 0.
    w.state.currentTab = 4;
    for (auto& row : w.state.store.List(ResultCategory::NotInSource))
        row.SetTag("d");
    f.RemoveProcessedRowsOfCurrentTab();
    f.UpdateTabCaption(4);
    EXPECT_EQ(f.ListModel[4]->rowCount(), 0);
    EXPECT_EQ(f.TabStrip1->tabText(3), QStringLiteral("Can not find source (0)"));
    EXPECT_EQ(f.ListModel[3]->rowCount(), 2);
}

// Whether the rows go run by run or, past a thousand runs, in one reset, the
// rows that stay keep their selection and the current row.
TEST(Form1Test, PurgeKeepsSelectionAndCurrentRowOfTheRowsThatStay)
{
    const struct {
        int rows;
        int tagEvery; // every n-th row is tagged, from row 0
        int resets;
    } cases[] = {{12, 3, 0}, {2500, 2, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        MainWindow w;
        Form1& f = *w.form;
        const auto c3 = ResultCategory::NotInDestination;
        f.BeginStoreReset();
        w.state.store.Reset("/s/", "/d/", 0);
        for (int row = 0; row < c.rows; ++row) {
            engine::CompareItem item;
            item.relativePath = "f" + std::to_string(row);
            item.processed = row % c.tagEvery == 0;
            w.state.store.AddResultRow(c3, std::move(item));
        }
        f.EndStoreReset();
        ShowOnTab(f, 3);
        QTreeView* view = f.ListView1[3];
        QAbstractItemModel* model = view->model();
        // Rows 1..5 and the last row selected, row 5 current.
        QItemSelection selection(model->index(1, 0), model->index(5, 0));
        selection.select(model->index(c.rows - 1, 0), model->index(c.rows - 1, 0));
        view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->selectionModel()->setCurrentIndex(model->index(5, 0), QItemSelectionModel::NoUpdate);

        std::set<std::string> expected;
        for (int row : {1, 2, 3, 4, 5, c.rows - 1})
            if (row % c.tagEvery != 0)
                expected.insert("f" + std::to_string(row));
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        f.RemoveProcessedRowsOfCurrentTab();
        EXPECT_EQ(resets.count(), c.resets);
        ASSERT_EQ(model->rowCount(), c.rows - (c.rows + c.tagEvery - 1) / c.tagEvery);
        std::set<std::string> selectedNames;
        for (const QModelIndex& index : view->selectionModel()->selectedRows())
            selectedNames.insert(w.state.store.Row(c3, static_cast<std::size_t>(index.row())).relativePath);
        EXPECT_EQ(selectedNames, expected);
        ASSERT_TRUE(view->currentIndex().isValid());
        EXPECT_EQ(w.state.store.Row(c3, static_cast<std::size_t>(view->currentIndex().row())).relativePath, "f5");
    }
}

// The rows a copy leaves behind keep their selection and the current row,
// so that "Check selected items" acts on them right after.
TEST(Form1Test, CopyKeepsTheSelectionAndCurrentRowOfTheRowsThatStay)
{
    MainWindow w;
    MakeTrees(w.tree);
    Scan(w);
    Form1& f = *w.form;
    ShowOnTab(f, 3);
    const auto c3 = ResultCategory::NotInDestination;
    QTreeView* view = f.ListView1[3];
    ResultListModel* model = f.ListModel[3];
    ASSERT_EQ(model->rowCount(), 6);
    std::vector<std::string> names;
    for (const auto& row : w.state.store.List(c3))
        names.push_back(row.relativePath);

    // Rows 0, 2 and 4 are copied; 1, 3 and 4 are selected, 3 is current.
    for (int row = 0; row < 6; ++row)
        w.state.store.Row(c3, static_cast<std::size_t>(row)).checked = row % 2 == 0;
    f.RowsChanged(3, 0, 5);
    SelectRows(view, {1, 4});
    view->selectionModel()->setCurrentIndex(model->index(3, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.dialogs.messageReplies = {MessageReply::Yes};
    QTest::mouseClick(f.CmdS2D, Qt::LeftButton);
    ASSERT_EQ(model->rowCount(), 3);

    auto nameOf = [&](int row) { return w.state.store.Row(c3, static_cast<std::size_t>(row)).relativePath; };
    EXPECT_EQ(nameOf(0), names[1]);
    EXPECT_EQ(nameOf(1), names[3]);
    EXPECT_EQ(nameOf(2), names[5]);
    QModelIndexList selected = view->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end());
    ASSERT_EQ(selected.size(), 2);
    EXPECT_EQ(selected[0].row(), 0);
    EXPECT_EQ(selected[1].row(), 1);
    EXPECT_EQ(view->currentIndex().row(), 1);

    PopEntry(f, "ID_CHECKSELECTEDITEMS")->trigger();
    EXPECT_EQ(Checks(w.state.store, c3), (std::vector<bool>{true, true, false}));
}

} // namespace
} // namespace tandrel::gui

#include "Form1Test.moc"
