#pragma once

#include <QProxyStyle>

namespace tandrel::gui {

// The program's style on top of the system's: the keyboard focus frame of a
// tab goes round the whole tab, inside its border, instead of round the
// caption's box, where the skin's padding leaves the frame on the caption's
// letters (plain to see at 200 %).
class TabFocusStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

} // namespace tandrel::gui
