#include "LinkLabel.h"

#include "Skin.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
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
    painter.drawText(area, static_cast<int>(alignment() | Qt::TextSingleLine), shown);
}

} // namespace tandrel::gui
