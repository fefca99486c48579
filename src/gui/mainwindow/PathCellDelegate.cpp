#include "gui/mainwindow/PathCellDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

namespace tandrel::gui {

QStyleOptionViewItem PathCellDelegate::CellOption(const QModelIndex& index) const
{
    QStyleOptionViewItem option;
    initStyleOption(&option, index);
    return option;
}

void PathCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if (!(cell.features & QStyleOptionViewItem::HasCheckIndicator))
        return;
    const QWidget* widget = cell.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &cell, widget);
    const int side = std::min({area.width(), area.height(), 16});
    if (side < 8)
        return;
    QPalette::ColorGroup group = QPalette::Disabled;
    if (cell.state & QStyle::State_Enabled)
        group = (cell.state & QStyle::State_Active) ? QPalette::Normal : QPalette::Inactive;
    const bool selected = cell.state & QStyle::State_Selected;
    const QColor fill = cell.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
    const QColor ink = cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);

    // Drawn over whatever the style put there.
    QRectF box(0, 0, side - 1, side - 1);
    box.moveCenter(QRectF(area).center());
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRect(box.adjusted(-1, -1, 1, 1));
    painter->setPen(QPen(ink, 1.2));
    painter->drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    if (cell.checkState != Qt::Unchecked) {
        const qreal s = box.width();
        const QPointF o = box.topLeft();
        painter->setPen(QPen(ink, std::max<qreal>(1.6, s / 7), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (cell.checkState == Qt::Checked)
            painter->drawPolyline(QPolygonF({o + QPointF(s * 0.22, s * 0.52), o + QPointF(s * 0.42, s * 0.72),
                                             o + QPointF(s * 0.78, s * 0.28)}));
        else
            painter->drawLine(o + QPointF(s * 0.25, s * 0.5), o + QPointF(s * 0.75, s * 0.5));
    }
    painter->restore();
}

void PathCellDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideLeft;
}

} // namespace tandrel::gui
