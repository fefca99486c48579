#include "Form1.h"

#include "gui/AppSetup.h"
#include "gui/DroppedFolders.h"
#include "gui/LinkLabel.h"
#include "gui/Registry.h"

#include "engine/TextForms.h"

#include "gui/Companion.h"
#include "gui/ComparisonRun.h"
#include "gui/FormAbout.h"
#include "gui/FormGuide.h"
#include "gui/FormOptions.h"
#include "gui/FormProjects.h"
#include "gui/FormReport.h"
#include "gui/Help.h"
#include "gui/PathCellDelegate.h"
#include "gui/Skin.h"
#include "gui/SyncRunner.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFile>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <ctime>

// The icons live in a static library; their registration has to be pulled in
// explicitly, from outside any namespace.
static void InitIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace tandrel::gui {

namespace {

// Layout values are given in twips; 15 twips make one pixel at 96 dpi.
int Twips(int twips)
{
    return (twips + 7) / 15;
}

QIcon ResourceIcon(const QString& name)
{
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".png"));
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

Form1::Form1(AppState& state, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_dialogs(dialogs)
{
    InitIconResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tandrel"));
    setWindowIcon(ResourceIcon(QStringLiteral("tandrel")));
    // The main window offers no menu of its own for hiding the bars.
    setContextMenuPolicy(Qt::NoContextMenu);
    resize(1120, 680);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableSize() * 9 / 10;
        if (room.width() < width() || room.height() < height())
            resize(std::min(width(), room.width()), std::min(height(), room.height()));
        // Placed by the program, so that the dialogs it opens at once are
        // centred on where it really is.
        setGeometry(QRect(screen->availableGeometry().center() - rect().center(), size()));
    }

    m_state.runFlag.Set(false);

    m_resultArea = new QWidget(this);
    m_resultArea->setObjectName(QStringLiteral("ResultArea"));
    setCentralWidget(m_resultArea);

    // The panel with the two folder links sits in the toolbar row, right of the buttons.
    Picture1 = new QWidget(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    auto* grid = new QGridLayout(Picture1);
    grid->setContentsMargins(16, 2, 16, 2);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    Label1 = new QLabel(QStringLiteral("Source:"), Picture1);
    Label1->setObjectName(QStringLiteral("Label1"));
    LabelSource = new LinkLabel(Picture1);
    LabelSource->setObjectName(QStringLiteral("LabelSource"));
    Label2 = new QLabel(QStringLiteral("Destination:"), Picture1);
    Label2->setObjectName(QStringLiteral("Label2"));
    LabelDes = new LinkLabel(Picture1);
    LabelDes->setObjectName(QStringLiteral("LabelDes"));
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(LabelSource, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(LabelDes, 1, 1);
    grid->setColumnStretch(1, 1);
    LabelSource->SetPath(QString());
    LabelDes->SetPath(QString());

    TabStrip1 = new QTabBar(m_resultArea);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setExpanding(false);
    TabStrip1->setUsesScrollButtons(true);
    TabStrip1->setElideMode(Qt::ElideNone);
    TabStrip1->setDrawBase(false);
    for (const engine::ResultCategory category : engine::kAllCategories)
        TabStrip1->addTab(ToQ(m_state.captions[static_cast<std::size_t>(engine::Index(category))]));
    m_state.currentTab = 1;
    TabStrip1->setCurrentIndex(0);

    m_tabPane = new QFrame(m_resultArea);
    m_tabPane->setObjectName(QStringLiteral("TabPane"));
    m_tabPane->setFrameShape(QFrame::StyledPanel);
    m_tabPane->lower();

    m_listStack = new QStackedWidget(m_resultArea);
    m_listStack->setObjectName(QStringLiteral("ListStack"));

    LoadListImages();
    SetupResultLists();

    auto makeButton = [this](const QString& name, const QString& icon, const QString& tip) {
        auto* button = new QPushButton(m_resultArea);
        button->setObjectName(name);
        button->setIcon(ResourceIcon(icon));
        button->setIconSize(QSize(24, 24));
        button->setFixedSize(kButtonWidth, kButtonHeight);
        button->setToolTip(tip);
        button->setAccessibleName(tip);
        return button;
    };
    CmdS2D = makeButton(QStringLiteral("CmdS2D"), QStringLiteral("s2d"),
                        QStringLiteral("Copy checked items from Source to Destination"));
    CmdD2S = makeButton(QStringLiteral("CmdD2S"), QStringLiteral("d2s"),
                        QStringLiteral("Copy checked items from Destination to Source"));
    CmdDelete = makeButton(QStringLiteral("CmdDelete"), QStringLiteral("delete"),
                           QStringLiteral("Delete checked items"));
    PlaceActionButtons();

    BuildCommandBars();
    // The whole failure text of the current row, which its column may not show.
    m_rowStatus = new QLabel(this);
    m_rowStatus->setObjectName(QStringLiteral("RowStatus"));
    m_rowStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_rowStatus->setTextFormat(Qt::PlainText);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(m_rowStatus, 1);
    ApplySkin();

    connect(TabStrip1, &QTabBar::currentChanged, this, &Form1::OnTabClick);
    for (int i = 1; i <= engine::kCategoryCount; ++i) {
        QTreeView* view = ListView1[static_cast<std::size_t>(i)];
        ResultListModel* model = ListModel[static_cast<std::size_t>(i)];
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, &Form1::ShowRowStatus);
        connect(model, &QAbstractItemModel::dataChanged, this, &Form1::ShowRowStatus);
        connect(model, &QAbstractItemModel::modelReset, this, &Form1::ShowRowStatus);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &Form1::ShowRowStatus);
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
        auto* shortcut = new QShortcut(this);
        shortcut->setKeys(t.keys);
        const int step = t.step;
        connect(shortcut, &QShortcut::activated, this, [this, step] { StepTab(step); });
    }
    m_resultArea->installEventFilter(this);
    setAcceptDrops(true);

    m_syncRunner = std::make_unique<SyncRunner>(m_state, m_dialogs, *this, this);
    connect(CmdS2D, &QPushButton::clicked, this,
            [this]() { m_syncRunner->CopyCheckedRows(sync::CopyDirection::SourceToDestination); });
    connect(CmdD2S, &QPushButton::clicked, this,
            [this]() { m_syncRunner->CopyCheckedRows(sync::CopyDirection::DestinationToSource); });
    connect(CmdDelete, &QPushButton::clicked, this, [this]() { m_syncRunner->DeleteCheckedRows(); });

    ApplyCopyButtonRule();
    OnCommandBarsResized();
}

Form1::~Form1()
{
    // The lists stop asking their models first: whatever the window's
    // members hold is gone before its child widgets are.
    for (QTreeView* view : ListView1)
        if (view)
            view->setModel(nullptr);
}

void Form1::LoadListImages()
{
    ImageList1 = {};
    ImageList1[1] = ResourceIcon(QStringLiteral("folder"));
    ImageList1[2] = ResourceIcon(QStringLiteral("file"));
    ImageList1[3] = ResourceIcon(QStringLiteral("started"));
    ImageList1[4] = ResourceIcon(QStringLiteral("failed"));
}

void Form1::SetupResultLists()
{
    for (const engine::ResultCategory category : engine::kAllCategories) {
        const int i = engine::Index(category);
        auto* model = new ResultListModel(m_state.store, category, ImageList1, this);
        auto* view = new QTreeView(m_listStack);
        view->setObjectName(QStringLiteral("ListView1_%1").arg(i));
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
        // rows (see eventFilter), not on the press as this desktop would.
        view->viewport()->installEventFilter(this);
        view->installEventFilter(this); // the menu key goes to the list itself
        m_listViewports[static_cast<std::size_t>(i)] = view->viewport();
        QHeaderView* header = view->header();
        header->setSectionsClickable(false);
        header->setSortIndicatorShown(false);
        header->setSectionsMovable(false);
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::Interactive);
        const bool oneSided = engine::IsOneSided(category);
        const int columns = model->columnCount();
        std::vector<int>& widths = m_designedWidths[static_cast<std::size_t>(i)];
        for (int c = 0; c < columns; ++c) {
            const bool timeColumn = c == 2 || (!oneSided && c == 3);
            widths.push_back(ColumnWidth(*view, model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
                                         oneSided ? kOneSidedWidths[c] : kTwoSidedWidths[c], timeColumn));
        }
        m_listStack->addWidget(view);
        ListView1[static_cast<std::size_t>(i)] = view;
        ListModel[static_cast<std::size_t>(i)] = model;
        RestoreListLayout(i);
    }
    m_listStack->setCurrentIndex(0);
}

void Form1::PlaceActionButtons()
{
    CmdS2D->move(0, CmdS2D->y());
    CmdD2S->move(CmdS2D->width(), CmdD2S->y());
    CmdDelete->move(2 * CmdS2D->width(), CmdDelete->y());
}

QAction* Form1::AddCommand(QWidget* owner, CommandId id, const QString& objectName, const QString& caption,
                           const QString& toolTip, const QString& iconName)
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(objectName);
    action->setData(static_cast<int>(id));
    action->setToolTip(toolTip);
    if (!iconName.isEmpty())
        action->setIcon(ResourceIcon(iconName));
    owner->addAction(action);
    connect(action, &QAction::triggered, this, [this, id]() { Execute(id); });
    m_actions[id].push_back(action);
    return action;
}

void Form1::BuildCommandBars()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    bar->setWindowTitle(QStringLiteral("Menu Bar"));

    auto addMenu = [this, bar](CommandId id, const QString& name, const QString& caption, const QString& tip) {
        QMenu* menu = bar->addMenu(caption);
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(name);
        menu->menuAction()->setData(static_cast<int>(id));
        menu->menuAction()->setToolTip(tip);
        return menu;
    };
    auto entry = [this](QMenu* menu, CommandId id, const QString& name, const QString& caption, const QString& tip,
                        const QString& icon, const QKeySequence& keys = QKeySequence()) {
        QAction* action = AddCommand(menu, id, name, caption, tip, icon);
        if (!keys.isEmpty()) {
            action->setShortcut(keys);
            action->setShortcutContext(Qt::WindowShortcut);
        }
        return action;
    };

    QMenu* file = addMenu(CommandId::ID_FILE, QStringLiteral("ID_FILE"), QStringLiteral("&File"), QStringLiteral("File"));
    entry(file, CommandId::ID_NEW, QStringLiteral("ID_NEW"), QStringLiteral("&New"), QStringLiteral("New"),
          QStringLiteral("new"), QKeySequence(Qt::CTRL | Qt::Key_N));
    file->addSeparator();
    entry(file, CommandId::ID_EXIT, QStringLiteral("ID_EXIT"), QStringLiteral("E&xit"), QStringLiteral("Exit"),
          QStringLiteral("exit"));

    QMenu* tools = addMenu(CommandId::ID_TOOLS, QStringLiteral("ID_TOOLS"), QStringLiteral("&Tools"), QStringLiteral("Tools"));
    entry(tools, CommandId::ID_PROJECTS, QStringLiteral("ID_PROJECTS"), QStringLiteral("&Projects"),
          QStringLiteral("Projects"), QStringLiteral("projects"), QKeySequence(Qt::CTRL | Qt::Key_P));
    entry(tools, CommandId::ID_AUTO, QStringLiteral("ID_AUTO"), QStringLiteral("&Daylark"), QStringLiteral("Auto"),
          QStringLiteral("auto"));
    entry(tools, CommandId::ID_OPTIONS, QStringLiteral("ID_OPTIONS"), QStringLiteral("&Options"),
          QStringLiteral("Options"), QStringLiteral("options"), QKeySequence(Qt::CTRL | Qt::Key_O));
    entry(tools, CommandId::ID_REPORT, QStringLiteral("ID_REPORT"), QStringLiteral("&Report"), QStringLiteral("Report"),
          QStringLiteral("report"), QKeySequence(Qt::CTRL | Qt::Key_R));

    QMenu* help = addMenu(CommandId::ID_HELP, QStringLiteral("ID_HELP"), QStringLiteral("&Help"), QStringLiteral("Help"));
    entry(help, CommandId::ID_CONTENTS, QStringLiteral("ID_CONTENTS"), QStringLiteral("&Contents"),
          QStringLiteral("Contents"), QStringLiteral("help"), QKeySequence(Qt::Key_F1));
    entry(help, CommandId::ID_ABOUT, QStringLiteral("ID_ABOUT"), QStringLiteral("&About"), QStringLiteral("About"),
          QStringLiteral("about"));

    CommandBar = new QToolBar(QStringLiteral("toolbar"), this);
    CommandBar->setObjectName(QStringLiteral("IDR_TOOLBAR"));
    CommandBar->setMovable(false);
    CommandBar->setFloatable(false);
    CommandBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    CommandBar->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, CommandBar);
    const struct {
        CommandId id;
        const char* name;
        const char* caption;
        const char* tip;
        const char* icon;
    } buttons[] = {
        {CommandId::ID_NEW, "ID_NEW", "&New", "New Comparison", "new"},
        {CommandId::ID_PROJECTS, "ID_PROJECTS", "&Projects", "Projects Manager", "projects"},
        {CommandId::ID_REPORT, "ID_REPORT", "&Report", "Create Report", "report"},
        {CommandId::ID_AUTO, "ID_AUTO", "Auto", "Daylark", "auto"},
        {CommandId::ID_OPTIONS, "ID_OPTIONS", "&Options", "Program Options", "options"},
        {CommandId::ID_CONTENTS, "ID_CONTENTS", "&Help", "Help Contents", "help"},
        {CommandId::ID_EXIT, "ID_EXIT", "E&xit", "Exit Program", "exit"},
    };
    for (const auto& b : buttons)
        AddCommand(CommandBar, b.id, QString::fromLatin1(b.name), QString::fromLatin1(b.caption),
                   QString::fromLatin1(b.tip), QString::fromLatin1(b.icon));
    CommandBar->addWidget(Picture1);

    PopMenu = new QMenu(this);
    PopMenu->setObjectName(QStringLiteral("PopMenu"));
    PopMenu->menuAction()->setData(static_cast<int>(CommandId::IDR_POPMENU));
    auto pop = [this](CommandId id, const char* name, const char* caption) {
        AddCommand(PopMenu, id, QString::fromLatin1(name), QString::fromLatin1(caption), QString(), QString());
    };
    pop(CommandId::ID_CHECKALL, "ID_CHECKALL", "Check All");
    pop(CommandId::ID_UNCHECKALL, "ID_UNCHECKALL", "Un-Check All");
    PopMenu->addSeparator();
    pop(CommandId::ID_CHECKSELECTEDITEMS, "ID_CHECKSELECTEDITEMS", "Check selected items");
    pop(CommandId::ID_UNCHECKSELECTEDITEMS, "ID_UNCHECKSELECTEDITEMS", "Un-check selected items");
    PopMenu->addSeparator();
    pop(CommandId::ID_CHECKUNSELECTEDITEMS, "ID_CHECKUNSELECTEDITEMS", "Check unselected items");
    pop(CommandId::ID_UNCHECKUNSELECTEDITEMS, "ID_UNCHECKUNSELECTEDITEMS", "Un-check unselected items");

}

std::vector<QAction*> Form1::Actions(CommandId id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? std::vector<QAction*>{} : it->second;
}

void Form1::ApplySkin()
{
    gui::ApplySkin(InstalledFile(m_state, QStringLiteral("skin.qss")));
}

void Form1::Start()
{
    show();
    OpenNewComparisonDialog();
    if (m_state.runFlag.IsSet())
        RunComparison(m_state, *this, this, &m_dialogs);
}

void Form1::StartNewComparison()
{
    // New is unavailable while a run holds the lists; a call that gets here
    // anyway leaves the run alone.
    if (m_resultCommandsLocked)
        return;
    // A progress window left open by the previous run goes first.
    CloseProgressWindow(this);
    OpenNewComparisonDialog();
    show();
    if (m_state.runFlag.IsSet())
        RunComparison(m_state, *this, this, &m_dialogs);
}

void Form1::OpenNewComparisonDialog()
{
    FormGuide guide(m_state, m_dialogs, this);
    connect(&guide, &FormGuide::projectsRequested, this, [this, &guide]() {
        // Only a save changes the projects; after Cancel the choice shown stays.
        if (OpenProjects(&guide))
            guide.FillProjectList();
    });
    guide.exec();
}

bool Form1::OpenProjects(QWidget* owner)
{
    FormProjects projects(m_state, m_dialogs, owner);
    return projects.exec() == QDialog::Accepted;
}

QStringList Form1::TabCaptions() const
{
    QStringList captions;
    for (int i = 0; i < TabStrip1->count(); ++i)
        captions << TabStrip1->tabText(i);
    return captions;
}

void Form1::Execute(CommandId id)
{
    switch (id) {
    case CommandId::ID_NEW: StartNewComparison(); break;
    case CommandId::ID_EXIT: close(); break;
    case CommandId::ID_PROJECTS:
        OpenProjects(this);
        TakeFocusBack();
        break;
    case CommandId::ID_OPTIONS: {
        FormOptions options(m_state, m_dialogs, this);
        options.exec();
        TakeFocusBack();
        break;
    }
    case CommandId::ID_REPORT: {
        FormReport report(m_state, m_dialogs, TabCaptions(), this);
        report.exec();
        TakeFocusBack();
        break;
    }
    case CommandId::ID_CONTENTS:
        ShowHelpContents(m_state, m_dialogs, this);
        break;
    case CommandId::ID_ABOUT: {
        FormAbout about(this);
        about.exec();
        TakeFocusBack();
        break;
    }
    case CommandId::ID_AUTO:
        RunCompanion(m_state, m_dialogs, this);
        break;
    case CommandId::ID_CHECKALL: CheckRows(true, 0); break;
    case CommandId::ID_UNCHECKALL: CheckRows(false, 0); break;
    case CommandId::ID_CHECKSELECTEDITEMS: CheckRows(true, 1); break;
    case CommandId::ID_UNCHECKSELECTEDITEMS: CheckRows(false, 1); break;
    case CommandId::ID_CHECKUNSELECTEDITEMS: CheckRows(true, -1); break;
    case CommandId::ID_UNCHECKUNSELECTEDITEMS: CheckRows(false, -1); break;
    default: break; // menus, the toolbar and the context menu themselves
    }
}

void Form1::TakeFocusBack()
{
    // A dialog that closed after a message of its own leaves no window
    // active on some desktops; the keys belong to the main window again.
    if (isVisible()) {
        raise();
        activateWindow();
    }
}

void Form1::CheckRows(bool checked, int selectionRule)
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

std::vector<char> Form1::SelectedRows(const QTreeView& view)
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

void Form1::ShowPopMenu(int category, const QPoint& globalPos)
{
    m_state.currentTab = category;
    PopMenu->popup(globalPos);
}

void Form1::OnTabClick(int index)
{
    if (index < 0)
        return;
    m_state.currentTab = index + 1;
    m_listStack->setCurrentIndex(index);
    LayoutResultArea();
    ShowRowStatus();
    // While a run still holds the commands (the tabs stay usable during a
    // comparison) the copy buttons wait for its end.
    if (!m_resultCommandsLocked)
        ApplyCopyButtonRule();
}

void Form1::ApplyCopyButtonRule()
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

int Form1::ListOfView(const QObject* view) const
{
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        if (view && ListView1[static_cast<std::size_t>(i)] == view)
            return i;
    return 0;
}

int Form1::ListOfViewport(const QObject* viewport) const
{
    // Compared by address only: a list being destroyed still passes its
    // last events through here.
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        if (viewport && m_listViewports[static_cast<std::size_t>(i)] == viewport)
            return i;
    return 0;
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_resultArea && event->type() == QEvent::Resize)
        OnCommandBarsResized();
    if (const int list = ListOfView(watched); list && event->type() == QEvent::KeyPress
                                              && ListKeyPressed(list, *static_cast<QKeyEvent*>(event)))
        return true;
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
    return QMainWindow::eventFilter(watched, event);
}

bool Form1::event(QEvent* event)
{
    // The desktop switched between a light and a dark scheme.
    if (event->type() == QEvent::ApplicationPaletteChange)
        ApplySkin();
    return QMainWindow::event(event);
}

bool Form1::ListKeyPressed(int list, const QKeyEvent& key)
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

void Form1::StepTab(int step)
{
    const int count = TabStrip1->count();
    if (!TabStrip1->isEnabled() || count == 0)
        return;
    TabStrip1->setCurrentIndex((TabStrip1->currentIndex() + step + count) % count);
}

void Form1::OnCommandBarsResized()
{
    // The central widget is the area the bars leave free.
    const QRect client = m_resultArea->rect();
    const int tabHeight = TabStrip1->sizeHint().height();
    TabStrip1->setGeometry(client.left() + 2, client.top() + Twips(20) + 2, client.width() - 4, tabHeight);
    LayoutResultArea();
}

void Form1::LayoutResultArea()
{
    const QRect client = m_resultArea->rect();
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

    const int top = m_listStack->y() + listHeight + Twips(100);
    const int middleLeft = (width() - CmdD2S->width()) / 2;
    CmdD2S->move(middleLeft, top);
    CmdS2D->move(middleLeft - CmdS2D->width() - Twips(30), top);
    CmdDelete->move(middleLeft + CmdD2S->width() + Twips(30), top);
    TabStrip1->raise();
}

void Form1::SetRootLabels(const QString& source, const QString& destination)
{
    LabelSource->SetPath(source);
    LabelDes->SetPath(destination);
}

void Form1::BeginStoreReset()
{
    if (m_storeResetDepth++ > 0)
        return;
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        ListModel[static_cast<std::size_t>(i)]->BeginReset();
}

void Form1::EndStoreReset()
{
    if (m_storeResetDepth == 0 || --m_storeResetDepth > 0)
        return;
    for (int i = 1; i <= engine::kCategoryCount; ++i) {
        ListModel[static_cast<std::size_t>(i)]->EndReset();
        // A new result starts at its top, in the widths the lists were made with.
        RestoreListLayout(i);
    }
}

void Form1::RestoreListLayout(int list)
{
    QTreeView* view = ListView1[static_cast<std::size_t>(list)];
    const std::vector<int>& widths = m_designedWidths[static_cast<std::size_t>(list)];
    for (std::size_t c = 0; c < widths.size(); ++c)
        view->header()->resizeSection(static_cast<int>(c), widths[c]);
    view->scrollToTop();
    view->horizontalScrollBar()->setValue(0);
}

void Form1::RowsChanged(int category, int firstRow, int lastRow)
{
    if (category < 1 || category > engine::kCategoryCount)
        return;
    ListModel[static_cast<std::size_t>(category)]->NotifyRowsChanged(firstRow, lastRow);
}

void Form1::UpdateTabCaptions()
{
    for (int i = 1; i <= engine::kCategoryCount; ++i)
        UpdateTabCaption(i);
}

void Form1::UpdateTabCaption(int category)
{
    if (category < 1 || category > engine::kCategoryCount)
        return;
    const auto c = static_cast<engine::ResultCategory>(category);
    TabStrip1->setTabText(category - 1, ToQ(m_state.captions[static_cast<std::size_t>(category)])
                                             + QStringLiteral(" (")
                                             + QString::number(m_state.store.Count(c)) + QStringLiteral(")"));
}

void Form1::SetRunCommandsEnabled(bool enabled)
{
    // What would start another run or change the options, the projects or
    // the lists under a running one. Exit and Help stay: closing ends a run
    // cleanly.
    for (const CommandId id : {CommandId::ID_NEW, CommandId::ID_PROJECTS, CommandId::ID_OPTIONS, CommandId::ID_REPORT,
                               CommandId::ID_AUTO})
        for (QAction* action : Actions(id))
            action->setEnabled(enabled);
}

void Form1::DisableResultCommands()
{
    m_resultCommandsLocked = true;
    SetRunCommandsEnabled(false);
    CmdD2S->setEnabled(false);
    CmdS2D->setEnabled(false);
    CmdDelete->setEnabled(false);
    TabStrip1->setEnabled(false);
}

void Form1::EnableResultCommands()
{
    CmdDelete->setEnabled(true);
    TabStrip1->setEnabled(true);
    ApplyCopyButtonRule();
    SetRunCommandsEnabled(true);
    m_resultCommandsLocked = false;
}

void Form1::SetTabStripEnabled(bool enabled)
{
    TabStrip1->setEnabled(enabled);
}

void Form1::RemoveProcessedRowsOfCurrentTab()
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

void Form1::RevealFailureTexts(QTreeView& view)
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

void Form1::ShowRowStatus()
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

void Form1::FocusCurrentList()
{
    const int tab = m_state.currentTab;
    if (tab >= 1 && tab <= engine::kCategoryCount)
        ListView1[static_cast<std::size_t>(tab)]->setFocus(Qt::OtherFocusReason);
}

void Form1::showEvent(QShowEvent* event)
{
    // Back from the progress window (or shown for the first time): the keys
    // go to the list, not to whatever had the focus before.
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FocusCurrentList();
}

bool Form1::TakesDrop(const QMimeData* data) const
{
    return !m_resultCommandsLocked && DroppedFolders(data).size() == 2;
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    if (TakesDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void Form1::dragMoveEvent(QDragMoveEvent* event)
{
    if (TakesDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void Form1::dropEvent(QDropEvent* event)
{
    if (!TakesDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    const QStringList folders = DroppedFolders(event->mimeData());
    m_state.givenSource = folders[0];
    m_state.givenDestination = folders[1];
    event->acceptProposedAction();
    // The file manager waits for the drop to end: the dialog opens after.
    QTimer::singleShot(0, this, &Form1::StartNewComparison);
}

void Form1::SetBusyCursor(bool busy)
{
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A copy, delete or scan still running stops after the entry in hand.
    EndProgram(m_state);
    if (WorthStoringFolder(m_state.sourceRoot))
        WriteRegistryValue(QStringLiteral("SourceDir"), m_state.sourceRoot);
    if (WorthStoringFolder(m_state.destinationRoot))
        WriteRegistryValue(QStringLiteral("TargetDir"), m_state.destinationRoot);
    event->accept();
}

} // namespace tandrel::gui
