#pragma once

#include "engine/ResultCategory.h"
#include "engine/ResultStore.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <vector>

namespace tandrel::gui {

// The row images of the result lists, index 1 folder, 2 file, 3 work
// started, 4 failed (element 0 unused).
using ListImages = std::array<QIcon, 5>;

// One result list of the store as a table: one row per CompareItem, the
// columns of the category's layout, the check box and icon in column 0.
// Nothing is copied out of the store; every text is made when asked for.
// The row count is taken at each reset or change notification, so a store
// being refilled between BeginReset and EndReset is never read past its end.
class ResultListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    ResultListModel(engine::ResultStore& store, engine::ResultCategory category, const ListImages& images,
                    QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The image of a link, FIFO, socket or device row.
    static QIcon KindIcon(engine::EntryKind kind);

    // The text of one cell, as the list shows it.
    QString CellText(int row, int column) const;
    // Column 1 (size) and, in the two-sided lists, column 4 are right-aligned.
    bool IsRightAligned(int column) const;

    // Around any emptying or refilling of the store's list.
    void BeginReset();
    void EndReset();
    // Rows first..last changed (icon, status, tag, check mark): one notification.
    void NotifyRowsChanged(int firstRow, int lastRow);
    // Sets every row's check mark where `rows[row]` equals `selected`
    // (or every row when `rows` is empty), then sends one notification for
    // the rows it covered.
    void SetChecks(bool checked, const std::vector<char>* selection, bool selected);
    // Drops the rows tagged "d", one notification per run of adjacent rows,
    // the bottom run first, so that the views keep what they hold of the
    // rows that stay; beyond a thousand runs, one reset.
    void RemoveProcessedRowsWithNotices();

private:
    bool ValidRow(int row) const;
    // The row as the views know it, also half way through a purge.
    const engine::CompareItem& Item(int row) const;

    engine::ResultStore& m_store;
    engine::ResultCategory m_category;
    ListImages m_images; // shared copies of the window's images
    std::vector<std::string> m_headers;
    int m_rows = 0;
    int m_resetDepth = 0;
    const engine::ProcessedRowPurge* m_purge = nullptr; // while RemoveProcessedRowsWithNotices runs
};

} // namespace tandrel::gui
