#include "gui/mainwindow/MainCommandBar.h"

#include "gui/mainwindow/LinkLabel.h"
#include "gui/app/ResourceIcon.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace tandrel::gui {

std::vector<QAction*> MainCommandBar::Actions(CommandId id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? std::vector<QAction*>{} : it->second;
}

void MainCommandBar::BuildFolderLinks(QWidget& window)
{
    Picture1 = new QWidget(&window);
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
}

void MainCommandBar::BuildCommandBars(QMainWindow& window, std::function<void(CommandId)> execute)
{
    m_execute = std::move(execute);
    BuildMenus(*window.menuBar());
    BuildToolBar(window);
    BuildPopMenu(window);
}

QAction* MainCommandBar::AddCommand(QWidget* owner, CommandId id, const QString& objectName, const QString& caption,
                                    const QString& toolTip, const QString& iconName)
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(objectName);
    action->setData(static_cast<int>(id));
    action->setToolTip(toolTip);
    if (!iconName.isEmpty())
        action->setIcon(ResourceIcon(iconName));
    owner->addAction(action);
    QObject::connect(action, &QAction::triggered, action, [this, id]() { m_execute(id); });
    m_actions[id].push_back(action);
    return action;
}

void MainCommandBar::BuildMenus(QMenuBar& bar)
{
    bar.setObjectName(QStringLiteral("MenuBar"));
    bar.setWindowTitle(QStringLiteral("Menu Bar"));

    auto addMenu = [&bar](CommandId id, const QString& name, const QString& caption, const QString& tip) {
        QMenu* menu = bar.addMenu(caption);
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
}

void MainCommandBar::BuildToolBar(QMainWindow& window)
{
    CommandBar = new QToolBar(QStringLiteral("toolbar"), &window);
    CommandBar->setObjectName(QStringLiteral("IDR_TOOLBAR"));
    CommandBar->setMovable(false);
    CommandBar->setFloatable(false);
    CommandBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    CommandBar->setIconSize(QSize(24, 24));
    window.addToolBar(Qt::TopToolBarArea, CommandBar);
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
}

void MainCommandBar::BuildPopMenu(QWidget& window)
{
    PopMenu = new QMenu(&window);
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

void MainCommandBar::SetRunCommandsEnabled(bool enabled)
{
    // Exit and Help stay: closing ends a run cleanly.
    for (const CommandId id : {CommandId::ID_NEW, CommandId::ID_PROJECTS, CommandId::ID_OPTIONS, CommandId::ID_REPORT,
                               CommandId::ID_AUTO})
        for (QAction* action : Actions(id))
            action->setEnabled(enabled);
}

} // namespace tandrel::gui
