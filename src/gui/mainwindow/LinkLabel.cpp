#include "gui/mainwindow/LinkLabel.h"

#include "gui/app/Skin.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QUrl>

namespace tandrel::gui {

LinkLabel::LinkLabel(QWidget* parent)
    : QLabel(parent)
{
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Click to open the folder"));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

QSize LinkLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

void LinkLabel::SetPath(const QString& path)
{
    setText(path);
    setFocusPolicy(path.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (event->modifiers() == Qt::NoModifier
        && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
        emit clicked();
        OpenFolder();
        return;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
        OpenFolder();
    }
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::OpenFolder()
{
    if (text().isEmpty())
        return;
    // The result is not checked: a folder that is gone gives no message.
    QDesktopServices::openUrl(QUrl::fromLocalFile(text()));
}

void LinkLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect area = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
    painter.setPen(isEnabled() ? LinkColour(palette()) : palette().color(QPalette::Disabled, QPalette::WindowText));
    const int flags = static_cast<int>(alignment() | Qt::TextSingleLine);
    painter.drawText(area, flags, shown);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = fontMetrics().boundingRect(area, flags, shown).adjusted(-2, 0, 2, 0) & rect();
        focus.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

} // namespace tandrel::gui
