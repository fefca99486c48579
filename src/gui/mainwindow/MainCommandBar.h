#pragma once

#include "gui/mainwindow/CommandId.h"

#include <QString>

#include <functional>
#include <map>
#include <vector>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

namespace tandrel::gui {

class LinkLabel;

// The main window's commands: the menu bar, the toolbar with the two folder
// links at its right end, and the result lists' context menu. Every entry
// hands its identifier to one dispatcher.
class MainCommandBar {
public:
    // Every action that carries the identifier (menu, toolbar, context menu).
    std::vector<QAction*> Actions(CommandId id) const;

    // The controls, by their names.
    QWidget* Picture1 = nullptr;
    QLabel* Label1 = nullptr;
    LinkLabel* LabelSource = nullptr;
    QLabel* Label2 = nullptr;
    LinkLabel* LabelDes = nullptr;
    QToolBar* CommandBar = nullptr;
    QMenu* PopMenu = nullptr;

protected:
    ~MainCommandBar() = default;

    // The panel with the source and destination links, for the toolbar row.
    void BuildFolderLinks(QWidget& window);
    void BuildCommandBars(QMainWindow& window, std::function<void(CommandId)> execute);
    // What would start another run or change the options, the projects or
    // the lists under a running one.
    void SetRunCommandsEnabled(bool enabled);

private:
    void BuildMenus(QMenuBar& bar);
    void BuildToolBar(QMainWindow& window);
    void BuildPopMenu(QWidget& window);
    QAction* AddCommand(QWidget* owner, CommandId id, const QString& objectName, const QString& caption,
                        const QString& toolTip, const QString& iconName);

    std::map<CommandId, std::vector<QAction*>> m_actions;
    std::function<void(CommandId)> m_execute;
};

} // namespace tandrel::gui
