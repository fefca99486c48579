#pragma once

#include "gui/app/AppState.h"
#include "gui/mainwindow/ResultListModel.h"
#include "gui/mainwindow/ResultView.h"

#include <QStringList>

#include <array>
#include <vector>

class QEvent;
class QFrame;
class QKeyEvent;
class QLabel;
class QMainWindow;
class QObject;
class QPoint;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QTreeView;
class QWidget;

namespace tandrel::gui {

// The main window's result area: the five result lists under their tab
// strip, the three action buttons below them, the designed column widths,
// the failure texts of rows a run could not handle, and the status-bar line
// that shows the current row's failure text in full.
class ResultLists : public ResultView {
public:
    explicit ResultLists(AppState& state);

    // ResultView, the part the lists answer
    void BeginStoreReset() override;
    void EndStoreReset() override;
    void RowsChanged(int category, int firstRow, int lastRow) override;
    void UpdateTabCaptions() override;
    void UpdateTabCaption(int category) override;
    void LayoutResultArea() override;
    void SetTabStripEnabled(bool enabled) override;
    void RemoveProcessedRowsOfCurrentTab() override;

    // The controls, by their names (lists indexed 1..5, element 0 unused).
    std::array<QTreeView*, engine::kCategoryCount + 1> ListView1{};
    std::array<ResultListModel*, engine::kCategoryCount + 1> ListModel{};
    QTabBar* TabStrip1 = nullptr;
    QPushButton* CmdS2D = nullptr;
    QPushButton* CmdD2S = nullptr;
    QPushButton* CmdDelete = nullptr;
    ListImages ImageList1;

protected:
    ~ResultLists() override = default;

    // The tabs, lists and buttons in `area`; `watcher` gets the lists' events
    // and passes them to FilterListEvent.
    void BuildResultLists(QWidget& window, QWidget& area, QObject& watcher);
    void BuildRowStatus(QMainWindow& window);
    void ConnectResultLists(QWidget& window);
    bool FilterListEvent(QObject* watched, QEvent* event); // true when the event is used up
    // Opens the context menu of the current list.
    virtual void OpenPopMenu(const QPoint& globalPos) = 0;

    void PlaceTabStrip();
    void LockResultLists();   // the buttons and the tabs, while a run holds the lists
    void UnlockResultLists(); // and back, with the copy buttons the tab allows
    bool ResultListsLocked() const { return m_locked; }
    void ApplyCopyButtonRule();
    void CheckRows(bool checked, int selectionRule); // 0 every row, 1 selected, -1 unselected
    void FocusCurrentList();
    QStringList TabCaptions() const;

private:
    void LoadListImages();
    QTreeView* MakeListView(engine::ResultCategory category, ResultListModel* model, QObject& watcher);
    std::vector<int> DesignedWidths(const QTreeView& view, engine::ResultCategory category) const;
    QPushButton* MakeActionButton(const QString& name, const QString& icon, const QString& tip);
    void PlaceActionButtons();
    void OnTabClick(int index);
    bool ListKeyPressed(int list, const QKeyEvent& key);
    bool ListContextEvent(QObject* watched, QEvent* event);
    void StepTab(int step);
    void RevealFailureTexts(QTreeView& view);
    void ShowRowStatus();             // the failure text of the current row, in the status bar
    void RestoreListLayout(int list); // the designed column widths, scrolled to the top left
    void ShowPopMenu(int list, const QPoint& globalPos);
    int ListOfView(const QObject* view) const;         // 1..5, 0 for anything else
    int ListOfViewport(const QObject* viewport) const; // the same for a list's viewport
    static std::vector<char> SelectedRows(const QTreeView& view); // a mark per row of the list

    AppState& m_state;
    QWidget* m_window = nullptr;
    QWidget* m_area = nullptr;
    QFrame* m_tabPane = nullptr;
    QStackedWidget* m_listStack = nullptr;
    std::array<const QObject*, engine::kCategoryCount + 1> m_listViewports{};
    std::array<std::vector<int>, engine::kCategoryCount + 1> m_designedWidths;
    QLabel* m_rowStatus = nullptr;
    int m_storeResetDepth = 0;
    bool m_locked = false; // a comparison, copy or delete is running
};

} // namespace tandrel::gui
