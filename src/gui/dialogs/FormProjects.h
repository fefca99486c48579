#pragma once

#include "gui/app/ProjectPatternFiles.h"
#include "settings/SettingsFile.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tandrel::gui {

struct AppState;
class Dialogs;
class FormEditPrj;

// The projects manager: works on its own rows, filled from ProjectList. Add
// and Edit go through the project editor, whose result becomes a new row or
// replaces the row edited; nothing reaches ProjectList or the settings file
// until Save. The pattern files the projects name are kept per user by the
// project's name: Save writes those of the names still listed, so a renamed
// project takes its file along and a removed one leaves none behind. The
// caller refreshes the new-comparison dialog's
// project list after an accepted (saved) exec().
class FormProjects : public QDialog {
    Q_OBJECT
public:
    FormProjects(AppState& appState, Dialogs& dialogs, QWidget* parent = nullptr);

    // The rows as the caller sees them.
    int RowCount() const;
    settings::ProjectRecord Row(int row) const;
    // The row that Edit and Remove act on: the current row, or the first one
    // when the user has picked none; -1 for an empty list.
    int SelectedRow() const;
    void AddProjectRow(const settings::ProjectRecord& record, bool withIcon = false);
    void SetRow(int row, const settings::ProjectRecord& record);

    // The pattern file of the projects of this name as the rows stand; empty for none.
    std::string PatternFile(const std::string& name) const;

    int SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillProjectRows();
    void AddProject();
    void EditProject();
    void RemoveProject();
    void SortBy(int column);
    void Save();
    void TakePatternFile(const FormEditPrj& editor);

    AppState& m_appState;
    Dialogs& m_dialogs;
    ProjectPatternFiles m_patternFiles;
    int m_sortColumn = -1;
    // The first click on a header sorts ascending: the direction flips from this.
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;

    QTreeWidget* ListView1 = nullptr;
    QPushButton* CmdAdd = nullptr;
    QPushButton* CmdEdit = nullptr;
    QPushButton* CmdDel = nullptr;
    QPushButton* CmdSave = nullptr;
    QPushButton* CmdCacncel = nullptr;
};

} // namespace tandrel::gui
