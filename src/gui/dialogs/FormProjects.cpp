#include "gui/dialogs/FormProjects.h"

#include "gui/mainwindow/Controls.h"

#include "gui/app/AppState.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/dialogs/FormEditPrj.h"
#include "gui/mainwindow/FormIcons.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace tandrel::gui {

namespace {

QPushButton* Button(const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

FormProjects::FormProjects(AppState& appState, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_appState(appState), m_dialogs(dialogs), m_patternFiles(ReadProjectPatternFiles())
{
    setObjectName(QStringLiteral("FormProjects"));
    setWindowTitle(QStringLiteral("Projects"));
    SetDialogFrame(this);

    ListView1 = new QTreeWidget;
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Source directory"), QStringLiteral("Destination directory")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->header()->setSectionsClickable(true);
    ListView1->header()->setStretchLastSection(true);
    ListView1->setColumnWidth(0, 140);
    ListView1->setColumnWidth(1, 220);
    ListView1->setMinimumSize(560, 260);

    CmdAdd = Button("CmdAdd", QStringLiteral("&Add"));
    CmdEdit = Button("CmdEdit", QStringLiteral("&Edit"));
    CmdDel = Button("CmdDel", QStringLiteral("&Remove"));
    CmdSave = Button("CmdSave", QStringLiteral("&Save"));
    CmdCacncel = Button("CmdCacncel", QStringLiteral("&Cancel"));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(CmdAdd);
    buttons->addWidget(CmdEdit);
    buttons->addWidget(CmdDel);
    buttons->addStretch(1);
    buttons->addWidget(CmdSave);
    buttons->addWidget(CmdCacncel);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);

    FillProjectRows();
    if (RowCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(0));

    connect(CmdAdd, &QPushButton::clicked, this, [this] { AddProject(); });
    connect(CmdEdit, &QPushButton::clicked, this, [this] { EditProject(); });
    connect(CmdDel, &QPushButton::clicked, this, [this] { RemoveProject(); });
    connect(CmdSave, &QPushButton::clicked, this, [this] { Save(); });
    connect(CmdCacncel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, [this](int column) { SortBy(column); });
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
}

int FormProjects::RowCount() const
{
    return ListView1->topLevelItemCount();
}

settings::ProjectRecord FormProjects::Row(int row) const
{
    const QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (!item)
        return {};
    return {FromQ(item->text(0)), FromQ(item->text(1)), FromQ(item->text(2))};
}

int FormProjects::SelectedRow() const
{
    if (RowCount() == 0)
        return -1;
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (!selected.isEmpty())
        return ListView1->indexOfTopLevelItem(selected.first());
    if (QTreeWidgetItem* current = ListView1->currentItem())
        return ListView1->indexOfTopLevelItem(current);
    return 0;
}

void FormProjects::AddProjectRow(const settings::ProjectRecord& record, bool withIcon)
{
    auto* item = new QTreeWidgetItem({ToQ(record.name), ToQ(record.source), ToQ(record.destination)});
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (withIcon)
        item->setIcon(0, FormIcons::Project());
    ListView1->addTopLevelItem(item);
}

void FormProjects::SetRow(int row, const settings::ProjectRecord& record)
{
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    if (!item)
        return;
    item->setText(0, ToQ(record.name));
    item->setText(1, ToQ(record.source));
    item->setText(2, ToQ(record.destination));
}

void FormProjects::FillProjectRows()
{
    for (const std::string& line : m_appState.settings.projectList) {
        if (const auto record = settings::ParseProject(line))
            AddProjectRow(*record);
    }
}

void FormProjects::AddProject()
{
    FormEditPrj editor(QStringLiteral("add"), {}, m_dialogs, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    // A new project without a file leaves that of an older one of the same name alone.
    if (!editor.PatternFile().empty())
        TakePatternFile(editor);
    AddProjectRow(editor.Project(), true);
    ListView1->setCurrentItem(ListView1->topLevelItem(RowCount() - 1));
}

void FormProjects::EditProject()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const settings::ProjectRecord record = Row(row);
    FormEditPrj editor(QStringLiteral("edit"), record, m_dialogs, this, PatternFile(record.name));
    if (editor.exec() != QDialog::Accepted)
        return;
    SetRow(row, editor.Project());
    TakePatternFile(editor);
}

std::string FormProjects::PatternFile(const std::string& name) const
{
    const auto it = m_patternFiles.find(name);
    return it == m_patternFiles.end() ? std::string() : it->second;
}

void FormProjects::TakePatternFile(const FormEditPrj& editor)
{
    // The entry of a name left by a rename goes at Save, when no row bears it any more.
    if (editor.PatternFile().empty())
        m_patternFiles.erase(editor.Project().name);
    else
        m_patternFiles[editor.Project().name] = editor.PatternFile();
}

void FormProjects::RemoveProject()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const QString name = ListView1->topLevelItem(row)->text(0);
    const MessageReply reply =
        m_dialogs.Message(this, QStringLiteral("Do you want to remove project '") + name + QStringLiteral("'?"),
                          QStringLiteral("Tandrel"), MessageIcon::Question, MessageButtons::YesNo);
    if (reply != MessageReply::Yes)
        return;
    delete ListView1->takeTopLevelItem(row);
    if (RowCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(std::min(row, RowCount() - 1)));
}

void FormProjects::SortBy(int column)
{
    m_sortColumn = column;
    m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;

    QTreeWidgetItem* current = ListView1->currentItem();
    std::vector<QTreeWidgetItem*> items;
    while (ListView1->topLevelItemCount() > 0)
        items.push_back(ListView1->takeTopLevelItem(0));

    // Case does not count, punctuation does (paths sort by their separators
    // too); rows with equal texts keep their order.
    const bool ascending = m_sortOrder == Qt::AscendingOrder;
    std::stable_sort(items.begin(), items.end(), [&](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
        const int order = a->text(column).compare(b->text(column), Qt::CaseInsensitive);
        return ascending ? order < 0 : order > 0;
    });
    for (QTreeWidgetItem* item : items)
        ListView1->addTopLevelItem(item);

    ListView1->header()->setSortIndicatorShown(true);
    ListView1->header()->setSortIndicator(column, m_sortOrder);
    if (current)
        ListView1->setCurrentItem(current);
}

void FormProjects::Save()
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(RowCount()));
    for (int row = 0; row < RowCount(); ++row)
        lines.push_back(settings::ProjectLine(Row(row)));
    m_appState.settings.projectList = std::move(lines);

    ProjectPatternFiles kept;
    for (int row = 0; row < RowCount(); ++row) {
        const std::string name = Row(row).name;
        if (const std::string file = PatternFile(name); !file.empty())
            kept[name] = file;
    }
    m_patternFiles = kept;
    WriteProjectPatternFiles(kept);
    // A failed write is silent; the projects stay in force for this run.
    settings::WriteSettings(FromQ(m_appState.settingsPath), m_appState.settings);
    accept();
}

bool FormProjects::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            EditProject();
            return true;
        }
    } else if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        EditProject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tandrel::gui
