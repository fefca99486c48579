#include "gui/mainwindow/ResultListModel.h"

#include "gui/app/AppState.h"
#include "gui/mainwindow/KindIcons.h"


#include <algorithm>
#include <climits>

namespace tandrel::gui {

namespace {

constexpr std::size_t kMaxRunNotices = 1000;

int ClampedCount(std::size_t count)
{
    return static_cast<int>(std::min<std::size_t>(count, static_cast<std::size_t>(INT_MAX)));
}

} // namespace

QIcon ResultListModel::KindIcon(engine::EntryKind kind)
{
    return KindIcons::ForKind(kind);
}

ResultListModel::ResultListModel(engine::ResultStore& store, engine::ResultCategory category,
                                 const ListImages& images, QObject* parent)
    : QAbstractTableModel(parent)
    , m_store(store)
    , m_category(category)
    , m_images(images)
    , m_headers(engine::ColumnHeaders(category))
    , m_rows(ClampedCount(store.Count(category)))
{
}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

bool ResultListModel::ValidRow(int row) const
{
    return row >= 0 && row < m_rows && static_cast<std::size_t>(row) < m_store.Count(m_category);
}

const engine::CompareItem& ResultListModel::Item(int row) const
{
    const auto index = static_cast<std::size_t>(row);
    return m_purge ? m_purge->Row(index) : m_store.Row(m_category, index);
}

QString ResultListModel::CellText(int row, int column) const
{
    if (!ValidRow(row))
        return {};
    const engine::CompareItem& item = Item(row);
    const int last = columnCount() - 1;
    if (column == last)
        return ToQ(item.StatusText());
    switch (column) {
    case 0: return ToQ(m_store.Path(m_category, item));
    case 1: return ToQ(m_store.SizeTextOf(item));
    case 2: return ToQ(m_store.ModifiedText(item));
    default: break;
    }
    if (engine::IsOneSided(m_category))
        return column == 3 ? ToQ(m_store.TargetPath(m_category, item)) : QString();
    switch (column) {
    case 3: return ToQ(m_store.CounterpartModifiedText(item));
    case 4: return ToQ(m_store.CounterpartSizeText(item));
    case 5: return ToQ(m_store.TargetPath(m_category, item));
    default: return {};
    }
}

bool ResultListModel::IsRightAligned(int column) const
{
    return column == 1 || (!engine::IsOneSided(m_category) && column == 4);
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !ValidRow(index.row()))
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: return CellText(index.row(), column);
    case Qt::ToolTipRole: {
        // Paths and failure texts are often wider than their column.
        const bool pathOrStatus = column == 0 || column == columnCount() - 1
            || column == engine::TargetColumn(m_category);
        if (!pathOrStatus)
            return {};
        const QString text = CellText(index.row(), column);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter)
                                   | (IsRightAligned(column) ? Qt::AlignRight : Qt::AlignLeft));
    case Qt::CheckStateRole:
        if (column != 0)
            return {};
        return Item(index.row()).checked ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole: {
        if (column != 0)
            return {};
        const engine::CompareItem& item = Item(index.row());
        if (item.icon == engine::RowIcon::File && item.kind != engine::EntryKind::Regular)
            return KindIcon(item.kind);
        const int icon = static_cast<int>(item.icon);
        if (icon < 1 || icon >= static_cast<int>(m_images.size()))
            return {};
        return m_images[static_cast<std::size_t>(icon)];
    }
    default: return {};
    }
}

bool ResultListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (m_purge || role != Qt::CheckStateRole || index.column() != 0 || !ValidRow(index.row()))
        return false;
    engine::CompareItem& item = m_store.Row(m_category, static_cast<std::size_t>(index.row()));
    item.checked = value.value<Qt::CheckState>() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(m_headers.size()))
        return {};
    if (role == Qt::DisplayRole)
        return ToQ(m_headers[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignVCenter)
                                   | (IsRightAligned(section) ? Qt::AlignRight : Qt::AlignLeft));
    return {};
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void ResultListModel::BeginReset()
{
    if (m_resetDepth++ == 0)
        beginResetModel();
}

void ResultListModel::EndReset()
{
    if (m_resetDepth == 0)
        return;
    if (--m_resetDepth == 0) {
        m_rows = ClampedCount(m_store.Count(m_category));
        endResetModel();
    }
}

void ResultListModel::NotifyRowsChanged(int firstRow, int lastRow)
{
    if (m_resetDepth > 0)
        return;
    const int available = ClampedCount(m_store.Count(m_category));
    if (available != m_rows) {
        // Rows came or went without a reset: take the new count in one step.
        beginResetModel();
        m_rows = available;
        endResetModel();
        return;
    }
    firstRow = std::max(firstRow, 0);
    lastRow = std::min(lastRow, m_rows - 1);
    if (firstRow > lastRow)
        return;
    emit dataChanged(index(firstRow, 0), index(lastRow, columnCount() - 1));
}

void ResultListModel::SetChecks(bool checked, const std::vector<char>* selection, bool selected)
{
    // The row count is read once, as the check commands do.
    const int count = std::min(m_rows, ClampedCount(m_store.Count(m_category)));
    int first = -1;
    int last = -1;
    auto& rows = m_store.List(m_category);
    for (int row = 0; row < count; ++row) {
        if (selection) {
            const bool isSelected = static_cast<std::size_t>(row) < selection->size() && (*selection)[static_cast<std::size_t>(row)];
            if (isSelected != selected)
                continue;
        }
        rows[static_cast<std::size_t>(row)].checked = checked;
        if (first < 0)
            first = row;
        last = row;
    }
    if (first >= 0 && m_resetDepth == 0)
        emit dataChanged(index(first, 0), index(last, 0), {Qt::CheckStateRole});
}

void ResultListModel::RemoveProcessedRowsWithNotices()
{
    // Inside a reset, or with rows that came or went unannounced, the views
    // take the new list in one reset.
    if (m_resetDepth > 0 || static_cast<std::size_t>(m_rows) != m_store.Count(m_category)) {
        BeginReset();
        m_store.RemoveProcessedRows(m_category);
        EndReset();
        return;
    }
    engine::ProcessedRowPurge purge(m_store, m_category);
    // Each removal notice costs the views time in proportion to the indexes
    // they keep, so a purge of very many scattered runs goes in one reset;
    // the main window carries the selection over that.
    if (purge.Runs().size() > kMaxRunNotices) {
        BeginReset();
        purge.RemoveAllRuns();
        EndReset();
        return;
    }
    m_purge = &purge;
    while (!purge.Runs().empty()) {
        const engine::ProcessedRowPurge::Run run = purge.Runs().back();
        beginRemoveRows(QModelIndex(), static_cast<int>(run.first), static_cast<int>(run.last));
        purge.RemoveLastRun();
        m_rows = static_cast<int>(purge.Count());
        endRemoveRows();
    }
    m_purge = nullptr;
}

} // namespace tandrel::gui
