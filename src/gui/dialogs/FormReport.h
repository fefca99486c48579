#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace tandrel::gui {

struct AppState;
class Dialogs;

// The report export: one check box per result list, captioned with the tab
// captions of the main window, and the two file formats. Save asks for the
// file, writes the checked lists and says how it went.
class FormReport : public QDialog {
    Q_OBJECT
public:
    // tabCaptions[0..4] are the captions of tabs 1..5 as they stand.
    FormReport(AppState& appState, Dialogs& dialogs, const QStringList& tabCaptions, QWidget* parent = nullptr);

    // The save flow's rule for the path the dialog returned: blanks around it
    // and one trailing NUL go, and the extension is added when the last four
    // characters differ from it without regard to case.
    static QString ReportPath(const QString& chosen, bool csv);

private:
    void Save();

    AppState& m_appState;
    Dialogs& m_dialogs;

    QGroupBox* Frame1 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;
    QCheckBox* Check5 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
};

} // namespace tandrel::gui
