#include "gui/mainwindow/ResultLists.h"

#include "gui/mainwindow/PathCellDelegate.h"
#include "gui/app/ResourceIcon.h"

#include "engine/TextForms.h"

#include <QContextMenuEvent>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTreeView>

#include <ctime>

namespace tandrel::gui {

namespace {

// Layout values are given in twips; 15 twips make one pixel at 96 dpi.
int Twips(int twips)
{
    return (twips + 7) / 15;
}

// Column widths of the lists in twips, by column, for the two layouts.
constexpr int kTwoSidedWidths[] = {5000, 1400, 2000, 2000, 2200, 5000, 2000};
constexpr int kOneSidedWidths[] = {5000, 1400, 2000, 5000, 2000};

// The widest time text of the user's locale (month names differ in width).
QString WidestTimeText(const QFontMetrics& metrics)
{
    QString widest;
    const std::int64_t offset = engine::LocalOffsetNow();
    for (int month = 0; month < 12; ++month) {
        std::tm fields{};
        fields.tm_year = 2026 - 1900;
        fields.tm_mon = month;
        fields.tm_mday = 28;
        fields.tm_hour = 23;
        fields.tm_min = 59;
        fields.tm_sec = 59;
        fields.tm_isdst = -1;
        const QString text = ToQ(engine::TimeText(static_cast<std::int64_t>(std::mktime(&fields)), offset));
        if (metrics.horizontalAdvance(text) > metrics.horizontalAdvance(widest))
            widest = text;
    }
    return widest;
}

// A column gets its designed width, widened where the font would otherwise
// cut its header or a time text.
int ColumnWidth(const QTreeView& view, const QString& header, int twips, bool timeColumn)
{
    int width = Twips(twips);
    width = std::max(width, view.header()->fontMetrics().horizontalAdvance(header) + 24);
    if (timeColumn)
        width = std::max(width, view.fontMetrics().horizontalAdvance(WidestTimeText(view.fontMetrics())) + 16);
    return width;
}

// The selected rows among those that stay, as ranges of the list after the
// others have gone; `currentAfter` becomes the new row of `current`, or -1
// when that row went.
QItemSelection SelectionThatStays(const QAbstractItemModel& model, const std::vector<char>& stays,
                                  const std::vector<char>& selected, int current, int& currentAfter)
{
    QItemSelection kept;
    currentAfter = -1;
    int newRow = 0;
    int first = -1;
    auto close = [&] {
        if (first >= 0)
            kept.append(QItemSelectionRange(model.index(first, 0), model.index(newRow - 1, 0)));
        first = -1;
    };
    for (std::size_t row = 0; row < stays.size(); ++row) {
        if (!stays[row])
            continue;
        if (static_cast<int>(row) == current)
            currentAfter = newRow;
        if (row < selected.size() && selected[row]) {
            if (first < 0)
                first = newRow;
        } else {
            close();
        }
        ++newRow;
    }
    close();
    return kept;
}

constexpr int kMaxFailureTextsMeasured = 2000;
constexpr int kButtonWidth = 64;
constexpr int kButtonHeight = 36;

} // namespace

ResultLists::ResultLists(AppState& state)
    : m_state(state)
{
}

void ResultLists::BuildResultLists(QWidget& window, QWidget& area, QObject& watcher)
{
    m_window = &window;
    m_area = &area;
    TabStrip1 = new QTabBar(m_area);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setExpanding(false);
    TabStrip1->setUsesScrollButtons(true);
    TabStrip1->setElideMode(Qt::ElideNone);
    TabStrip1->setDrawBase(false);
    for (const engine::ResultCategory category : engine::kAllCategories)
        TabStrip1->addTab(ToQ(m_state.captions[static_cast<std::size_t>(engine::Index(category))]));
    m_state.currentTab = 1;
    TabStrip1->setCurrentIndex(0);

    m_tabPane = new QFrame(m_area);
    m_tabPane->setObjectName(QStringLiteral("TabPane"));
    m_tabPane->setFrameShape(QFrame::StyledPanel);
    m_tabPane->lower();

    m_listStack = new QStackedWidget(m_area);
    m_listStack->setObjectName(QStringLiteral("ListStack"));

    LoadListImages();
    for (const engine::ResultCategory category : engine::kAllCategories) {
        const auto i = static_cast<std::size_t>(engine::Index(category));
        ListModel[i] = new ResultListModel(m_state.store, category, ImageList1, m_window);
        ListView1[i] = MakeListView(category, ListModel[i], watcher);
        m_designedWidths[i] = DesignedWidths(*ListView1[i], category);
        m_listStack->addWidget(ListView1[i]);
        RestoreListLayout(engine::Index(category));
    }
    m_listStack->setCurrentIndex(0);

    CmdS2D = MakeActionButton(QStringLiteral("CmdS2D"), QStringLiteral("s2d"),
                              QStringLiteral("Copy checked items from Source to Destination"));
    CmdD2S = MakeActionButton(QStringLiteral("CmdD2S"), QStringLiteral("d2s"),
                              QStringLiteral("Copy checked items from Destination to Source"));
    CmdDelete = MakeActionButton(QStringLiteral("CmdDelete"), QStringLiteral("delete"),
                                 QStringLiteral("Delete checked items"));
    PlaceActionButtons();
}

void ResultLists::LoadListImages()
{
    ImageList1 = {};
    ImageList1[1] = ResourceIcon(QStringLiteral("folder"));
    ImageList1[2] = ResourceIcon(QStringLiteral("file"));
    ImageList1[3] = ResourceIcon(QStringLiteral("started"));
    ImageList1[4] = ResourceIcon(QStringLiteral("failed"));
}

QTreeView* ResultLists::MakeListView(engine::ResultCategory category, ResultListModel* model, QObject& watcher)
{
    auto* view = new QTreeView(m_listStack);
    view->setObjectName(QStringLiteral("ListView1_%1").arg(engine::Index(category)));
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    // Paths lose their beginning (see PathCellDelegate), other texts their end.
    view->setTextElideMode(Qt::ElideRight);
    auto* paths = new PathCellDelegate(view);
    view->setItemDelegateForColumn(0, paths);
    view->setItemDelegateForColumn(engine::TargetColumn(category), paths);
    view->setSortingEnabled(false);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setIconSize(QSize(16, 16));
    // The context menu opens when the right button is released over the
    // rows (see ListContextEvent), not on the press as this desktop would.
    view->viewport()->installEventFilter(&watcher);
    view->installEventFilter(&watcher); // the menu key goes to the list itself
    m_listViewports[static_cast<std::size_t>(engine::Index(category))] = view->viewport();
    QHeaderView* header = view->header();
    header->setSectionsClickable(false);
    header->setSortIndicatorShown(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    return view;
}

std::vector<int> ResultLists::DesignedWidths(const QTreeView& view, engine::ResultCategory category) const
{
    const bool oneSided = engine::IsOneSided(category);
    const QAbstractItemModel* model = view.model();
    std::vector<int> widths;
    for (int c = 0; c < model->columnCount(); ++c) {
        const bool timeColumn = c == 2 || (!oneSided && c == 3);
        widths.push_back(ColumnWidth(view, model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                                     oneSided ? kOneSidedWidths[c] : kTwoSidedWidths[c], timeColumn));
    }
    return widths;
}

QPushButton* ResultLists::MakeActionButton(const QString& name, const QString& icon, const QString& tip)
{
    auto* button = new QPushButton(m_area);
    button->setObjectName(name);
    button->setIcon(ResourceIcon(icon));
    button->setIconSize(QSize(24, 24));
    button->setFixedSize(kButtonWidth, kButtonHeight);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    return button;
}

void ResultLists::PlaceActionButtons()
{
    CmdS2D->move(0, CmdS2D->y());
    CmdD2S->move(CmdS2D->width(), CmdD2S->y());
    CmdDelete->move(2 * CmdS2D->width(), CmdDelete->y());
}

void ResultLists::BuildRowStatus(QMainWindow& window)
{
    // The whole failure text of the current row, which its column may not show.
    m_rowStatus = new QLabel(&window);
    m_rowStatus->setObjectName(QStringLiteral("RowStatus"));
    m_rowStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_rowStatus->setTextFormat(Qt::PlainText);
    window.statusBar()->setObjectName(QStringLiteral("StatusBar"));
    window.statusBar()->addWidget(m_rowStatus, 1);
}

void ResultLists::ConnectResultLists(QWidget& window)
{
    QObject::connect(TabStrip1, &QTabBar::currentChanged, &window, [this](int index) { OnTabClick(index); });
    for (int i = 1; i <= engine::kCategoryCount; ++i) {
        QTreeView* view = ListView1[static_cast<std::size_t>(i)];
        ResultListModel* model = ListModel[static_cast<std::size_t>(i)];
        const auto show = [this] { ShowRowStatus(); };
        QObject::connect(view->selectionModel(), &QItemSelectionModel::currentChanged, &window, show);
        QObject::connect(model, &QAbstractItemModel::dataChanged, &window, show);
        QObject::connect(model, &QAbstractItemModel::modelReset, &window, show);
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &window, show);
    }
    const struct {
        QList<QKeySequence> keys;
        int step;
    } tabKeys[] = {
        {{QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)}, 1},
        {{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
         -1},
    };
    for (const auto& t : tabKeys) {
        auto* shortcut = new QShortcut(&window);
        shortcut->setKeys(t.keys);
        const int step = t.step;
        QObject::connect(shortcut, &QShortcut::activated, &window, [this, step] { StepTab(step); });
    }
}

bool ResultLists::FilterListEvent(QObject* watched, QEvent* event)
{
    if (watched == m_area && event->type() == QEvent::Resize)
        PlaceTabStrip();
    if (const int list = ListOfView(watched); list && event->type() == QEvent::KeyPress
                                              && ListKeyPressed(list, *static_cast<QKeyEvent*>(event)))
        return true;
    return ListContextEvent(watched, event);
}

bool ResultLists::ListContextEvent(QObject* watched, QEvent* event)
{
    if (const int list = ListOfView(watched); list && event->type() == QEvent::ContextMenu) {
        auto* request = static_cast<QContextMenuEvent*>(event);
        if (request->reason() == QContextMenuEvent::Keyboard) {
            ShowPopMenu(list, request->globalPos());
            request->accept();
            return true;
        }
    }
    if (const int list = ListOfViewport(watched)) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton)
                ShowPopMenu(list, mouse->globalPosition().toPoint());
        } else if (event->type() == QEvent::ContextMenu) {
            // The press of the right button asks for a menu too: that one is
            // dropped. The keyboard's menu key still opens it.
            auto* request = static_cast<QContextMenuEvent*>(event);
            if (request->reason() == QContextMenuEvent::Keyboard)
                ShowPopMenu(list, request->globalPos());
            request->accept();
            return true;
        }
    }
    return false;
}

bool ResultLists::ListKeyPressed(int list, const QKeyEvent& key)
{
    QTreeView* view = ListView1[static_cast<std::size_t>(list)];
    const QModelIndex current = view->currentIndex();
    // Space checks or unchecks the current row whatever cell has the focus.
    if (key.key() == Qt::Key_Space && key.modifiers() == Qt::NoModifier) {
        if (current.isValid()) {
            const QModelIndex box = current.siblingAtColumn(0);
            const bool checked = box.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
            view->model()->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
        return true;
    }
    // Shift+F10 does what the menu key does.
    if (key.key() == Qt::Key_F10 && key.modifiers() == Qt::ShiftModifier) {
        const QRect row = view->visualRect(current.siblingAtColumn(0));
        ShowPopMenu(list, view->viewport()->mapToGlobal(row.isValid() ? row.center() : QPoint(0, 0)));
        return true;
    }
    return false;
}

void ResultLists::ShowPopMenu(int list, const QPoint& globalPos)
{
    m_state.currentTab = list;
    OpenPopMenu(globalPos);
}

int ResultLists::ListOfView(const QObject* view) const
{
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        if (view && ListView1[static_cast<std::size_t>(i)] == view)
            return i;
    return 0;
}

int ResultLists::ListOfViewport(const QObject* viewport) const
{
    // Compared by address only: a list being destroyed still passes its
    // last events through here.
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        if (viewport && m_listViewports[static_cast<std::size_t>(i)] == viewport)
            return i;
    return 0;
}

void ResultLists::StepTab(int step)
{
    const int count = TabStrip1->count();
    if (!TabStrip1->isEnabled() || count == 0)
        return;
    TabStrip1->setCurrentIndex((TabStrip1->currentIndex() + step + count) % count);
}

void ResultLists::OnTabClick(int index)
{
    if (index < 0)
        return;
    m_state.currentTab = index + 1;
    m_listStack->setCurrentIndex(index);
    LayoutResultArea();
    ShowRowStatus();
    // While a run still holds the commands (the tabs stay usable during a
    // comparison) the copy buttons wait for its end.
    if (!m_locked)
        ApplyCopyButtonRule();
}

void ResultLists::ApplyCopyButtonRule()
{
    CmdS2D->setEnabled(true);
    CmdD2S->setEnabled(true);
    // Items of "Can not find destination" exist only in the source, and the
    // other way round for "Can not find source".
    if (m_state.currentTab == engine::Index(engine::ResultCategory::NotInDestination))
        CmdD2S->setEnabled(false);
    if (m_state.currentTab == engine::Index(engine::ResultCategory::NotInSource))
        CmdS2D->setEnabled(false);
}

void ResultLists::PlaceTabStrip()
{
    // The result area is what the command bars leave free.
    const QRect client = m_area->rect();
    const int tabHeight = TabStrip1->sizeHint().height();
    TabStrip1->setGeometry(client.left() + 2, client.top() + Twips(20) + 2, client.width() - 4, tabHeight);
    LayoutResultArea();
}

void ResultLists::LayoutResultArea()
{
    const QRect client = m_area->rect();
    const QRect tabs = TabStrip1->geometry();
    // The tab strip's client area: the framed page below the tabs.
    const QRect pane(client.left() + 2, tabs.bottom(), client.width() - 4,
                     std::max(0, client.bottom() - tabs.bottom() - 2));
    m_tabPane->setGeometry(pane);
    const QRect page = pane.adjusted(4, 4, -4, -4);
    const int listHeight = std::max(0, page.height() - CmdD2S->height() - Twips(200));
    m_listStack->setGeometry(page.left(), page.top(), page.width(), listHeight);
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        ListView1[static_cast<std::size_t>(i)]->setGeometry(0, 0, page.width(), listHeight);

    // The buttons are centred on the window, not on the page.
    const int top = m_listStack->y() + listHeight + Twips(100);
    const int middleLeft = (m_window->width() - CmdD2S->width()) / 2;
    CmdD2S->move(middleLeft, top);
    CmdS2D->move(middleLeft - CmdS2D->width() - Twips(30), top);
    CmdDelete->move(middleLeft + CmdD2S->width() + Twips(30), top);
    TabStrip1->raise();
}

void ResultLists::BeginStoreReset()
{
    if (m_storeResetDepth++ > 0)
        return;
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        ListModel[static_cast<std::size_t>(i)]->BeginReset();
}

void ResultLists::EndStoreReset()
{
    if (m_storeResetDepth == 0 || --m_storeResetDepth > 0)
        return;
    for (int i = 1; i <= engine::kCategoryCount; ++i) {
        ListModel[static_cast<std::size_t>(i)]->EndReset();
        // A new result starts at its top, in the widths the lists were made with.
        RestoreListLayout(i);
    }
}

void ResultLists::RestoreListLayout(int list)
{
    QTreeView* view = ListView1[static_cast<std::size_t>(list)];
    const std::vector<int>& widths = m_designedWidths[static_cast<std::size_t>(list)];
    for (std::size_t c = 0; c < widths.size(); ++c)
        view->header()->resizeSection(static_cast<int>(c), widths[c]);
    view->scrollToTop();
    view->horizontalScrollBar()->setValue(0);
}

void ResultLists::RowsChanged(int category, int firstRow, int lastRow)
{
    if (category < 1 || category > engine::kCategoryCount)
        return;
    ListModel[static_cast<std::size_t>(category)]->NotifyRowsChanged(firstRow, lastRow);
}

void ResultLists::UpdateTabCaptions()
{
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        UpdateTabCaption(i);
}

void ResultLists::UpdateTabCaption(int category)
{
    if (category < 1 || category > engine::kCategoryCount)
        return;
    const auto c = static_cast<engine::ResultCategory>(category);
    TabStrip1->setTabText(category - 1, ToQ(m_state.captions[static_cast<std::size_t>(category)])
                                             + QStringLiteral(" (")
                                             + QString::number(m_state.store.Count(c)) + QStringLiteral(")"));
}

QStringList ResultLists::TabCaptions() const
{
    QStringList captions;
    for (int i = 0; i < TabStrip1->count(); ++i)
        captions << TabStrip1->tabText(i);
    return captions;
}

void ResultLists::SetTabStripEnabled(bool enabled)
{
    TabStrip1->setEnabled(enabled);
}

void ResultLists::LockResultLists()
{
    m_locked = true;
    CmdD2S->setEnabled(false);
    CmdS2D->setEnabled(false);
    CmdDelete->setEnabled(false);
    TabStrip1->setEnabled(false);
}

void ResultLists::UnlockResultLists()
{
    CmdDelete->setEnabled(true);
    TabStrip1->setEnabled(true);
    ApplyCopyButtonRule();
    m_locked = false;
}

void ResultLists::CheckRows(bool checked, int selectionRule)
{
    const int tab = m_state.currentTab;
    if (tab < 1 || tab > engine::kCategoryCount)
        return;
    ResultListModel* model = ListModel[static_cast<std::size_t>(tab)];
    QTreeView* view = ListView1[static_cast<std::size_t>(tab)];
    if (selectionRule == 0) {
        model->SetChecks(checked, nullptr, false);
        return;
    }
    const std::vector<char> selected = SelectedRows(*view);
    model->SetChecks(checked, &selected, selectionRule > 0);
}

std::vector<char> ResultLists::SelectedRows(const QTreeView& view)
{
    const int rows = view.model() ? view.model()->rowCount() : 0;
    std::vector<char> selected(static_cast<std::size_t>(rows), 0);
    if (const QItemSelectionModel* selection = view.selectionModel()) {
        for (const QItemSelectionRange& range : selection->selection()) {
            if (range.parent().isValid())
                continue;
            for (int row = std::max(range.top(), 0); row <= range.bottom() && row < rows; ++row)
                selected[static_cast<std::size_t>(row)] = 1;
        }
    }
    return selected;
}

void ResultLists::RemoveProcessedRowsOfCurrentTab()
{
    const int tab = m_state.currentTab;
    if (tab < 1 || tab > engine::kCategoryCount)
        return;
    QTreeView* view = ListView1[static_cast<std::size_t>(tab)];
    QItemSelectionModel* selection = view->selectionModel();
    const auto& rows = m_state.store.List(static_cast<engine::ResultCategory>(tab));
    // A selection that every removed run of rows splits further would make
    // each removal slower than the one before, and a reset would drop it: it
    // is set aside as row marks while the rows go, and comes back as ranges
    // over the rows that stay, with the current row.
    const std::vector<char> selected = SelectedRows(*view);
    const int current = view->currentIndex().isValid() ? view->currentIndex().row() : -1;
    int currentAfter = -1;
    std::vector<char> stays(rows.size(), 0);
    for (std::size_t row = 0; row < rows.size(); ++row)
        stays[row] = rows[row].processed ? 0 : 1;
    {
        const QSignalBlocker quiet(selection);
        selection->clearSelection();
        ListModel[static_cast<std::size_t>(tab)]->RemoveProcessedRowsWithNotices();
    }
    QAbstractItemModel* model = view->model();
    const QItemSelection kept = SelectionThatStays(*model, stays, selected, current, currentAfter);
    {
        // One repaint of the list instead of one region per range.
        const QSignalBlocker quiet(selection);
        selection->select(kept, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (currentAfter >= 0)
            selection->setCurrentIndex(model->index(currentAfter, 0), QItemSelectionModel::NoUpdate);
    }
    view->viewport()->update();
    RevealFailureTexts(*view);
}

void ResultLists::RevealFailureTexts(QTreeView& view)
{
    // After a run with failures the first failed row becomes current and
    // comes into sight, with the check boxes; the status column, the last,
    // grows towards its longest text, at most to the list's width. The whole
    // text is the cell's tooltip and shows in the status bar.
    const QAbstractItemModel* model = view.model();
    const int status = model->columnCount() - 1;
    const int rows = model->rowCount();
    int needed = 0;
    int looked = 0;
    int firstFailed = -1;
    for (int row = 0; row < rows && looked < kMaxFailureTextsMeasured; ++row) {
        const QString text = model->index(row, status).data().toString();
        if (text.isEmpty())
            continue;
        if (firstFailed < 0)
            firstFailed = row;
        ++looked;
        needed = std::max(needed, view.fontMetrics().horizontalAdvance(text) + 16);
    }
    if (firstFailed < 0)
        return;
    QHeaderView* header = view.header();
    header->resizeSection(status, std::max(header->sectionSize(status), std::min(needed, view.viewport()->width())));
    const QModelIndex failed = model->index(firstFailed, 0);
    view.selectionModel()->setCurrentIndex(failed, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view.scrollTo(failed);
    view.horizontalScrollBar()->setValue(0);
    view.setFocus(Qt::OtherFocusReason); // Up and Down go on from the failed row
    ShowRowStatus();
}

void ResultLists::ShowRowStatus()
{
    const int tab = m_state.currentTab;
    if (!m_rowStatus || tab < 1 || tab > engine::kCategoryCount)
        return;
    const QTreeView* view = ListView1[static_cast<std::size_t>(tab)];
    const QModelIndex current = view->currentIndex();
    const QString text = current.isValid()
        ? current.siblingAtColumn(view->model()->columnCount() - 1).data().toString()
        : QString();
    m_rowStatus->setText(text);
    m_rowStatus->setToolTip(text);
}

void ResultLists::FocusCurrentList()
{
    const int tab = m_state.currentTab;
    if (tab >= 1 && tab <= engine::kCategoryCount)
        ListView1[static_cast<std::size_t>(tab)]->setFocus(Qt::OtherFocusReason);
}

} // namespace tandrel::gui
