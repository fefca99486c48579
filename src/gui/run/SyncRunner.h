#pragma once

#include "gui/app/AppState.h"
#include "gui/mainwindow/ResultView.h"

#include "platform/remote/RemoteSides.h"
#include "sync/SyncOperations.h"

#include <QPointer>

class QWidget;

namespace tandrel::gui {

class Dialogs;
class FormStauts;

// The window side of copying and deleting the checked rows of the visible
// list: the question, the locked commands, the status window, the error
// message, and the finishing step that removes the processed rows.
class SyncRunner {
public:
    SyncRunner(AppState& app, Dialogs& dialogs, ResultView& view, QWidget* mainWindow);

    void CopyCheckedRows(sync::CopyDirection direction);
    void DeleteCheckedRows();

    // The status window of the running operation, while it is open.
    FormStauts* StatusWindow() const;

private:
    // A delete of the rows that a side found empty holds all: asked again, with the count.
    bool ConfirmEmptySideDelete(engine::ResultCategory category);
    bool Ask(const QString& question);
    void OpenStatusWindow();
    // Removes the processed rows, rewrites the tab caption, closes the status
    // window, unlocks the commands and plays the finish sound.
    void PurgeProcessedRows();

    AppState& m_app;
    Dialogs& m_dialogs;
    ResultView& m_view;
    QPointer<QWidget> m_mainWindow;
    QPointer<FormStauts> m_status;
    bool m_running = false;
    // The connections to remote sides, kept from run to run so that ssh
    // asks (through the window's own dialog) once per host.
    platform::remote::RemoteSides m_remoteSides;
};

} // namespace tandrel::gui
