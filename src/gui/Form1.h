#pragma once

#include "gui/AppState.h"
#include "gui/CommandId.h"
#include "gui/Dialogs.h"
#include "gui/ResultListModel.h"
#include "gui/ResultView.h"

#include <QMainWindow>

#include <array>
#include <map>
#include <memory>
#include <vector>

class QAction;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QFrame;
class QKeyEvent;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QToolBar;
class QTreeView;

namespace tandrel::gui {

class LinkLabel;
class SyncRunner;

// The main window: the command bars, the five result lists under their tab
// strip, the source and destination links and the three action buttons.
// Creating it prepares the window; Start() shows it and opens the
// new-comparison dialog. Closing it stores the two folders of the last
// comparison and ends the program.
class Form1 : public QMainWindow, public ResultView {
    Q_OBJECT

public:
    Form1(AppState& state, Dialogs& dialogs, QWidget* parent = nullptr);
    ~Form1() override;

    // Shows the window, opens the new-comparison dialog modally and runs the
    // comparison when the dialog asked for one.
    void Start();

    // The one dispatcher of every menu entry, toolbar button, key binding
    // and context-menu entry.
    void Execute(CommandId id);
    void StartNewComparison();

    // ResultView
    void SetRootLabels(const QString& source, const QString& destination) override;
    void BeginStoreReset() override;
    void EndStoreReset() override;
    void RowsChanged(int category, int firstRow, int lastRow) override;
    void UpdateTabCaptions() override;
    void UpdateTabCaption(int category) override;
    void LayoutResultArea() override;
    void DisableResultCommands() override;
    void EnableResultCommands() override;
    void SetTabStripEnabled(bool enabled) override;
    void RemoveProcessedRowsOfCurrentTab() override;
    void SetBusyCursor(bool busy) override;

    // The controls, by their names (lists indexed 1..5, element 0 unused).
    std::array<QTreeView*, engine::kCategoryCount + 1> ListView1{};
    std::array<ResultListModel*, engine::kCategoryCount + 1> ListModel{};
    QTabBar* TabStrip1 = nullptr;
    QWidget* Picture1 = nullptr;
    QLabel* Label1 = nullptr;
    LinkLabel* LabelSource = nullptr;
    QLabel* Label2 = nullptr;
    LinkLabel* LabelDes = nullptr;
    QPushButton* CmdS2D = nullptr;
    QPushButton* CmdD2S = nullptr;
    QPushButton* CmdDelete = nullptr;
    QToolBar* CommandBar = nullptr;
    QMenu* PopMenu = nullptr;
    ListImages ImageList1;

    // Every action that carries the identifier (menu, toolbar, context menu).
    std::vector<QAction*> Actions(CommandId id) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Two folders dropped on the window open New Comparison with them.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool TakesDrop(const QMimeData* data) const;
    void LoadListImages();
    void SetupResultLists();
    void PlaceActionButtons();
    void BuildCommandBars();
    void ApplySkin();
    QAction* AddCommand(QWidget* owner, CommandId id, const QString& objectName, const QString& caption,
                        const QString& toolTip, const QString& iconName);
    void OnTabClick(int index);
    void ApplyCopyButtonRule();
    bool ListKeyPressed(int list, const QKeyEvent& key);
    void StepTab(int step);
    void TakeFocusBack();
    void RevealFailureTexts(QTreeView& view);
    void ShowRowStatus();        // the failure text of the current row, in the status bar
    void FocusCurrentList();
    void RestoreListLayout(int list); // the designed column widths, scrolled to the top left
    void SetRunCommandsEnabled(bool enabled);
    void ShowPopMenu(int category, const QPoint& globalPos);
    int ListOfView(const QObject* view) const;         // 1..5, 0 for anything else
    int ListOfViewport(const QObject* viewport) const; // the same for a list's viewport
    void CheckRows(bool checked, int selectionRule); // 0 every row, 1 selected, -1 unselected
    static std::vector<char> SelectedRows(const QTreeView& view); // a mark per row of the list
    void OnCommandBarsResized();
    void OpenNewComparisonDialog();
    bool OpenProjects(QWidget* owner); // true when the manager saved
    QStringList TabCaptions() const;

    AppState& m_state;
    Dialogs& m_dialogs;
    QWidget* m_resultArea = nullptr;
    QFrame* m_tabPane = nullptr;
    QStackedWidget* m_listStack = nullptr;
    std::array<const QObject*, engine::kCategoryCount + 1> m_listViewports{};
    std::array<std::vector<int>, engine::kCategoryCount + 1> m_designedWidths;
    QLabel* m_rowStatus = nullptr;
    std::map<CommandId, std::vector<QAction*>> m_actions;
    std::unique_ptr<SyncRunner> m_syncRunner;
    int m_storeResetDepth = 0;
    bool m_resultCommandsLocked = false; // a comparison, copy or delete is running
};

} // namespace tandrel::gui
