#include "gui/mainwindow/Form1.h"

#include "gui/app/AppSetup.h"
#include "gui/run/Companion.h"
#include "gui/run/ComparisonRun.h"
#include "gui/mainwindow/DroppedFolders.h"
#include "gui/dialogs/FormAbout.h"
#include "gui/dialogs/FormGuide.h"
#include "gui/dialogs/FormOptions.h"
#include "gui/dialogs/FormProjects.h"
#include "gui/dialogs/FormReport.h"
#include "gui/app/Help.h"
#include "gui/mainwindow/LinkLabel.h"
#include "gui/app/Registry.h"
#include "gui/app/ResourceIcon.h"
#include "gui/app/Skin.h"
#include "gui/run/SyncRunner.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QTreeView>

// The icons live in a static library; their registration has to be pulled in
// explicitly, from outside any namespace.
static void InitIconResources()
{
    Q_INIT_RESOURCE(icons);
}


namespace tandrel::gui {

Form1::Form1(AppState& state, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent)
    , ResultLists(state)
    , m_state(state)
    , m_dialogs(dialogs)
{
    InitIconResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tandrel"));
    setWindowIcon(ResourceIcon(QStringLiteral("tandrel")));
    // The main window offers no menu of its own for hiding the bars.
    setContextMenuPolicy(Qt::NoContextMenu);
    PlaceOnScreen();
    m_state.runFlag.Set(false);

    m_resultArea = new QWidget(this);
    m_resultArea->setObjectName(QStringLiteral("ResultArea"));
    setCentralWidget(m_resultArea);
    // Built in the order they always were: creation order sets the focus chain.
    BuildFolderLinks(*this);
    BuildResultLists(*this, *m_resultArea, *this);
    BuildCommandBars(*this, [this](CommandId id) { Execute(id); });
    BuildRowStatus(*this);
    ApplySkin();

    ConnectResultLists(*this);
    m_resultArea->installEventFilter(this);
    setAcceptDrops(true);
    ConnectActionButtons();
    ApplyCopyButtonRule();
    PlaceTabStrip();
}

Form1::~Form1()
{
    // The lists stop asking their models first: whatever the window's
    // members hold is gone before its child widgets are.
    for (QTreeView* view : ListView1)
        if (view)
            view->setModel(nullptr);
}

void Form1::PlaceOnScreen()
{
    resize(1120, 680);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableSize() * 9 / 10;
        if (room.width() < width() || room.height() < height())
            resize(std::min(width(), room.width()), std::min(height(), room.height()));
        // Placed by the program, so that the dialogs it opens at once are
        // centred on where it really is.
        setGeometry(QRect(screen->availableGeometry().center() - rect().center(), size()));
    }
}

void Form1::ConnectActionButtons()
{
    m_syncRunner = std::make_unique<SyncRunner>(m_state, m_dialogs, *this, this);
    connect(CmdS2D, &QPushButton::clicked, this,
            [this]() { m_syncRunner->CopyCheckedRows(sync::CopyDirection::SourceToDestination); });
    connect(CmdD2S, &QPushButton::clicked, this,
            [this]() { m_syncRunner->CopyCheckedRows(sync::CopyDirection::DestinationToSource); });
    connect(CmdDelete, &QPushButton::clicked, this, [this]() { m_syncRunner->DeleteCheckedRows(); });
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
    if (ResultListsLocked())
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

void Form1::OpenPopMenu(const QPoint& globalPos)
{
    PopMenu->popup(globalPos);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (FilterListEvent(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

bool Form1::event(QEvent* event)
{
    // The desktop switched between a light and a dark scheme.
    if (event->type() == QEvent::ApplicationPaletteChange)
        ApplySkin();
    return QMainWindow::event(event);
}

void Form1::SetRootLabels(const QString& source, const QString& destination)
{
    LabelSource->SetPath(source);
    LabelDes->SetPath(destination);
}

void Form1::DisableResultCommands()
{
    LockResultLists();
    SetRunCommandsEnabled(false);
}

void Form1::EnableResultCommands()
{
    UnlockResultLists();
    SetRunCommandsEnabled(true);
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
    return !ResultListsLocked() && DroppedFolders(data).size() == 2;
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
