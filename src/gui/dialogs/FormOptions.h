#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tandrel::gui {

struct AppState;
class Dialogs;

// The options dialog: edits the option set and the ignored names on copies
// held in its controls. OK stores them and rewrites the settings file; Cancel
// or closing the window discards them.
class FormOptions : public QDialog {
    Q_OBJECT
public:
    FormOptions(AppState& appState, Dialogs& dialogs, QWidget* parent = nullptr);

    // The ComboSec rule: the number at the start of `text` (0 if none), rounded
    // down, without its sign, capped at kMaxIgnoreTime.
    static qint64 LeadingNumber(const QString& text);
    static QString ComboSecText(const QString& text);

    static constexpr qint64 kMaxIgnoreTime = 20000000;
    static const QString kHint;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Load();
    void ApplyComboSecRule();
    void AddEntry();
    void RemoveEntry();
    void Store();

    AppState& m_appState;
    [[maybe_unused]] Dialogs& m_dialogs; // the dialog shows no messages of its own
    bool m_hintCleared = false;
    bool m_applyingRule = false;

    QGroupBox* Frame2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboSec = nullptr;
    QComboBox* ComboType = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* Frame5 = nullptr;
    QLabel* Label4 = nullptr;
    QCheckBox* CheckArchive = nullptr;
    QCheckBox* CheckHidden = nullptr;
    QCheckBox* CheckReadOnly = nullptr;
    QCheckBox* CheckSystem = nullptr;
    QGroupBox* Frame4 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* CmdAdd = nullptr;
    QPushButton* CmdRemove = nullptr;
    QListWidget* List1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* ChkTrash = nullptr;
    QCheckBox* ChkKeepReplaced = nullptr;
    QGroupBox* Frame3 = nullptr;
    QCheckBox* Check3 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};

} // namespace tandrel::gui
