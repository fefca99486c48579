#pragma once

#include "gui/app/AppState.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QPushButton;

namespace tandrel::gui {

class Dialogs;

// The new-comparison dialog: the user picks the two folders (typed, from the
// recent lists, from a project, or browsed for) and presses Compare. A
// successful Compare publishes the roots and the subfolder choice, raises the
// run flag, remembers both folders and closes; the caller runs the comparison
// when it finds the flag raised. Shown modally, created afresh each time.
class FormGuide : public QDialog {
    Q_OBJECT
public:
    FormGuide(AppState& app, Dialogs& dialogs, QWidget* parent);

    // The two folders of a successful Compare enter the recent lists, and the
    // settings file is rewritten.
    void RememberRecentFolders();

    // Every way of closing ends here: the dialog hides, and the main window
    // is shown if it was not.
    void done(int result) override;

    // Fills the source box, the destination box, or both with folders
    // dropped on the dialog: one folder on either box, two anywhere.
    void TakeFolders(const QStringList& folders, QWidget* target);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* Combo3 = nullptr;
    QPushButton* Command5 = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* Combo1 = nullptr;
    QPushButton* Command3 = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* Combo2 = nullptr;
    QPushButton* Command4 = nullptr;
    QCheckBox* Check1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* Label9 = nullptr;

public slots:
    // Refills the projects drop-down from the project list (the projects
    // manager calls it when it has saved the list).
    void FillProjectList();

signals:
    // "&Projects" was pressed: the projects manager should open, owned by this dialog.
    void projectsRequested();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The folder box a drop at `pos` would fill, or nullptr.
    QComboBox* BoxAt(const QPoint& pos) const;
    bool TakesDrop(const QStringList& folders, const QPoint& pos) const;
    void Combo3Chosen(int index);
    void Browse(QComboBox* box, const QString& title);
    void Command1Click();
    void Command2Click();
    // The pattern file of the project whose folders are the two given (the
    // one chosen in the Projects box first, then the first in the list);
    // empty when none is such a project or it names no file.
    std::string ProjectPatternFile(const QString& source, const QString& destination) const;

    AppState& m_app;
    Dialogs& m_dialogs;
    // The place in the project list of the project last chosen, or -1.
    long long m_chosenProject = -1;
};

} // namespace tandrel::gui
