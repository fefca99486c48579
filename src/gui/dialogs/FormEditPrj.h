#pragma once

#include "settings/SettingsFile.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <string>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace tandrel::gui {

class Dialogs;

// The project editor. Its EditMode, given when it opens, is "add" (the fields
// start empty) or "edit" (they start with the project given); any other text
// leaves the title "Project" and the fields empty. OK hands the project as
// entered to the caller (Project()), which adds it as a new row or writes it
// back into the row edited; the editor itself changes nothing else. Beside
// the three fields of the project it holds the pattern file the project
// names (empty for none), which the caller keeps per user by the name.
class FormEditPrj : public QDialog {
    Q_OBJECT
public:
    FormEditPrj(const QString& editMode, const settings::ProjectRecord& project, Dialogs& dialogs,
                QWidget* parent = nullptr, const std::string& patternFile = {});

    const QString& EditMode() const { return m_editMode; }
    // The project as entered when OK closed the dialog.
    const settings::ProjectRecord& Project() const { return m_project; }
    const std::string& PatternFile() const { return m_patternFile; }

    // CSIDL numbers of the preset folders, in the order of the preset menu.
    static constexpr int kPresetCsidl[12] = {20, 33, 26, 16, 6, 34, 28, 5, 13, 39, 11, 40};
    static const char* const kPresetCaptions[12];

    // The folder of this desktop that stands for a special folder of the
    // given CSIDL number, with one trailing separator; empty text when this
    // desktop has no such folder (cookies, favourites, history).
    static QString GetSpecialFolderPath(int csidl);

private:
    void Load(const settings::ProjectRecord& project, const std::string& patternFile);
    void Accept();
    void BrowseSource();
    void BrowseDestination();
    void BrowsePatternFile();
    void Browse(QLineEdit* field, const QString& prompt, const QString& startFolder);

    const QString m_editMode;
    Dialogs& m_dialogs;
    settings::ProjectRecord m_project;
    std::string m_patternFile;

    QLabel* Label1 = nullptr;
    QLineEdit* TextName = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* TextS = nullptr;
    QToolButton* PushButton1 = nullptr;
    QPushButton* Command3 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* TextD = nullptr;
    QPushButton* Command4 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* TextP = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;
    QLabel* Image1 = nullptr;
    QMenu* Premenu = nullptr;
    QList<QAction*> menu_Pre;
};

} // namespace tandrel::gui
