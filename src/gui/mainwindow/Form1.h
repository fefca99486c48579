#pragma once

#include "gui/app/AppState.h"
#include "gui/mainwindow/CommandId.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/mainwindow/MainCommandBar.h"
#include "gui/mainwindow/ResultLists.h"

#include <QMainWindow>

#include <memory>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

namespace tandrel::gui {

class SyncRunner;

// The main window: the command bars (MainCommandBar) above the result lists
// and their action buttons (ResultLists). Creating it prepares the window;
// Start() shows it and opens the new-comparison dialog. Closing it stores the
// two folders of the last comparison and ends the program.
class Form1 : public QMainWindow, public MainCommandBar, public ResultLists {
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

    // ResultView, the part that concerns the whole window
    void SetRootLabels(const QString& source, const QString& destination) override;
    void DisableResultCommands() override;
    void EnableResultCommands() override;
    void SetBusyCursor(bool busy) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Two folders dropped on the window open New Comparison with them.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void OpenPopMenu(const QPoint& globalPos) override;

private:
    void PlaceOnScreen();
    void ConnectActionButtons();
    bool TakesDrop(const QMimeData* data) const;
    void ApplySkin();
    void TakeFocusBack();
    void OpenNewComparisonDialog();
    bool OpenProjects(QWidget* owner); // true when the manager saved

    AppState& m_state;
    Dialogs& m_dialogs;
    QWidget* m_resultArea = nullptr;
    std::unique_ptr<SyncRunner> m_syncRunner;
};

} // namespace tandrel::gui
