#include "PathCellDelegate.h"

namespace tandrel::gui {

QStyleOptionViewItem PathCellDelegate::CellOption(const QModelIndex& index) const
{
    QStyleOptionViewItem option;
    initStyleOption(&option, index);
    return option;
}

void PathCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideLeft;
}

} // namespace tandrel::gui
