#include "gui/mainwindow/KindIcons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

#include <array>
#include <functional>

namespace tandrel::gui {

namespace {

const QColor kOutline(0x2E, 0x3F, 0x55);
const QColor kMetal(0xB8, 0xC6, 0xD8);
const QColor kAccent(0x20, 0x9F, 0x2C);

// A picture drawn on a 16 x 16 grid, at 1x and 2x.
QIcon Picture(const std::function<void(QPainter&)>& draw)
{
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(16 * scale, 16 * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A pipe with the data flowing through it.
void DrawFifo(QPainter& p)
{
    p.setPen(QPen(kOutline, 1));
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 7), 2, 2);
    p.drawRect(QRectF(0.5, 3.5, 2, 9));
    p.drawRect(QRectF(13.5, 3.5, 2, 9));
    p.setPen(QPen(kAccent, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(4.5, 8), QPointF(11, 8));
    p.drawPolyline(QPolygonF({QPointF(9, 6), QPointF(11.2, 8), QPointF(9, 10)}));
}

// A wall socket: a round face with two slots.
void DrawSocket(QPainter& p)
{
    p.setPen(QPen(kOutline, 1));
    p.setBrush(kMetal);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    p.setBrush(QColor(0xF4, 0xF7, 0xFB));
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    p.setPen(Qt::NoPen);
    p.setBrush(kOutline);
    p.drawRoundedRect(QRectF(5, 5.5, 1.8, 5), 0.8, 0.8);
    p.drawRoundedRect(QRectF(9.2, 5.5, 1.8, 5), 0.8, 0.8);
}

// A chip with its pins.
void DrawDevice(QPainter& p)
{
    p.setPen(QPen(kOutline, 1.2));
    for (const double y : {4.0, 7.0, 10.0, 13.0}) {
        p.drawLine(QPointF(0.5, y - 0.5), QPointF(3, y - 0.5));
        p.drawLine(QPointF(13, y - 0.5), QPointF(15.5, y - 0.5));
    }
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(0x4A, 0x5A, 0x70));
    p.drawRoundedRect(QRectF(3.5, 1.5, 9, 13), 1.5, 1.5);
    p.setBrush(kAccent);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(5.5, 3.5, 2.4, 2.4));
}

} // namespace

QIcon KindIcons::Drawn(engine::EntryKind kind)
{
    switch (kind) {
    case engine::EntryKind::Fifo: return Picture(DrawFifo);
    case engine::EntryKind::Socket: return Picture(DrawSocket);
    case engine::EntryKind::Device: return Picture(DrawDevice);
    default: return {};
    }
}

QIcon KindIcons::ForKind(engine::EntryKind kind)
{
    static const std::array<QIcon, 5> icons = [] {
        auto themed = [](const QStringList& names, const QIcon& fallback) {
            for (const QString& name : names)
                if (QIcon::hasThemeIcon(name))
                    return QIcon::fromTheme(name);
            return fallback;
        };
        QStyle* style = QApplication::style();
        return std::array<QIcon, 5>{
            QIcon(),
            themed({QStringLiteral("inode-symlink")}, style->standardIcon(QStyle::SP_FileLinkIcon)),
            themed({QStringLiteral("inode-fifo")}, Drawn(engine::EntryKind::Fifo)),
            themed({QStringLiteral("inode-socket")}, Drawn(engine::EntryKind::Socket)),
            themed({QStringLiteral("inode-blockdevice"), QStringLiteral("inode-chardevice")},
                   Drawn(engine::EntryKind::Device)),
        };
    }();
    const auto index = static_cast<std::size_t>(kind);
    return index < icons.size() ? icons[index] : QIcon();
}

} // namespace tandrel::gui
