#include "TabFocusStyle.h"

#include <QStyleOptionFocusRect>
#include <QTabBar>

namespace tandrel::gui {

void TabFocusStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                  const QWidget* widget) const
{
    const auto* tabs = qobject_cast<const QTabBar*>(widget);
    if (element != PE_FrameFocusRect || !tabs || !option) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const int index = tabs->tabAt(option->rect.center());
    if (index < 0) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Two pixels inside the tab's border, clear of the caption's padding.
    QStyleOptionFocusRect frame;
    frame.QStyleOption::operator=(*option);
    frame.rect = tabs->tabRect(index).adjusted(3, 3, -5, -2);
    QProxyStyle::drawPrimitive(element, &frame, painter, widget);
}

} // namespace tandrel::gui
