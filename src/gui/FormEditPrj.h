#pragma once

#include <QDialog>
#include <QList>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace tandrel::gui {

struct AppState;
class Dialogs;
class FormProjects;

// The project editor: reads EditMode once when it opens. "add" appends a row
// to the manager's list on OK, "edit" writes the fields back into the
// manager's selected row. Only the manager's rows change here.
class FormEditPrj : public QDialog {
    Q_OBJECT
public:
    FormEditPrj(AppState& appState, Dialogs& dialogs, FormProjects& manager, QWidget* parent = nullptr);

    // CSIDL numbers of the preset folders, in the order of the preset menu.
    static constexpr int kPresetCsidl[12] = {20, 33, 26, 16, 6, 34, 28, 5, 13, 39, 11, 40};
    static const char* const kPresetCaptions[12];

    // The folder of this desktop that stands for a special folder of the
    // given CSIDL number, with one trailing separator; empty text when this
    // desktop has no such folder (cookies, favourites, history).
    static QString GetSpecialFolderPath(int csidl);

private:
    void Load();
    void Accept();
    void BrowseSource();
    void BrowseDestination();
    void Browse(QLineEdit* field, const QString& prompt, const QString& startFolder);

    AppState& m_appState;
    Dialogs& m_dialogs;
    FormProjects& m_manager;
    QString m_mode;
    int m_editRow = -1;

    QLabel* Label1 = nullptr;
    QLineEdit* TextName = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* TextS = nullptr;
    QToolButton* PushButton1 = nullptr;
    QPushButton* Command3 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* TextD = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
    QLabel* Image1 = nullptr;
    QMenu* Premenu = nullptr;
    QList<QAction*> menu_Pre;
};

} // namespace tandrel::gui
