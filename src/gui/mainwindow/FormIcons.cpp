#include "gui/mainwindow/FormIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace tandrel::gui {

namespace {

// One icon drawn at every size a widget may ask for, on a 16-unit grid.
QIcon DrawnIcon(const std::function<void(QPainter&)>& paint)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        paint(p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void Folder(QPainter& p, const QRectF& r, const QColor& colour)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top() + r.height() * 0.2);
    path.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.2);
    path.lineTo(r.left() + r.width() * 0.5, r.top());
    path.lineTo(r.right(), r.top());
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(colour.darker(160), 0.8));
    p.setBrush(colour);
    p.drawPath(path);
}

} // namespace

QIcon FormIcons::Plus()
{
    return DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x2e, 0x7d, 0x32), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 3), QPointF(8, 13));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
    });
}

QIcon FormIcons::Minus()
{
    return DrawnIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0xc6, 0x28, 0x28), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3, 8), QPointF(13, 8));
    });
}

QIcon FormIcons::Project()
{
    return DrawnIcon([](QPainter& p) {
        Folder(p, QRectF(0.5, 1.5, 9, 7), QColor(0xf2, 0xc1, 0x4e));
        Folder(p, QRectF(6.5, 7.5, 9, 7), QColor(0x64, 0xa0, 0xe0));
    });
}

QIcon FormIcons::PresetArrow()
{
    return DrawnIcon([](QPainter& p) {
        QPainterPath arrow;
        arrow.moveTo(3.5, 6);
        arrow.lineTo(12.5, 6);
        arrow.lineTo(8, 11);
        arrow.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x30, 0x30, 0x30));
        p.drawPath(arrow);
    });
}

QIcon FormIcons::Tick()
{
    return DrawnIcon([](QPainter& p) {
        QPainterPath tick;
        tick.moveTo(2.5, 8.5);
        tick.lineTo(6.5, 12.5);
        tick.lineTo(13.5, 3.5);
        p.setPen(QPen(QColor(0x20, 0x9f, 0x2c), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    });
}

QPixmap FormIcons::AboutPicture(int logicalSize, qreal devicePixelRatio)
{
    const int pixels = qRound(logicalSize * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(logicalSize / 64.0, logicalSize / 64.0);

    // Two folder trees facing each other, joined by a pair of arrows.
    QLinearGradient back(0, 0, 64, 64);
    back.setColorAt(0, QColor(0x3d, 0x7b, 0xc8));
    back.setColorAt(1, QColor(0x1f, 0x4e, 0x8c));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    Folder(p, QRectF(9, 14, 20, 16), QColor(0xf6, 0xd0, 0x6a));
    Folder(p, QRectF(35, 34, 20, 16), QColor(0xf6, 0xd0, 0x6a));

    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(34, 20), QPointF(52, 20));
    p.drawPolyline(QPolygonF({QPointF(47, 15), QPointF(52, 20), QPointF(47, 25)}));
    p.drawLine(QPointF(30, 44), QPointF(12, 44));
    p.drawPolyline(QPolygonF({QPointF(17, 39), QPointF(12, 44), QPointF(17, 49)}));
    p.end();
    return pixmap;
}

} // namespace tandrel::gui
