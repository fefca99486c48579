#pragma once

#include <QStyledItemDelegate>

namespace tandrel::gui {

// Draws a path column of a result list: a path too long for its cell loses
// its beginning, since the end is what tells rows apart. The whole path is
// in the cell's tooltip. The row's check box is drawn here too, framed in
// the row's text colour, so that an unchecked box reads in any scheme and
// in a selected row (some styles draw it in a shade of the window colour).
class PathCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The options the cell is drawn with.
    QStyleOptionViewItem CellOption(const QModelIndex& index) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

} // namespace tandrel::gui
