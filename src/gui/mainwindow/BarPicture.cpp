#include "gui/mainwindow/BarPicture.h"

#include <QPainter>

namespace tandrel::gui {

namespace {

constexpr int kPieceWidth = 2;
constexpr int kPieceHeight = 16;

QImage Trough()
{
    QImage image(kPieceWidth, kPieceHeight, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(kBarTroughColour));
    for (int x = 0; x < kPieceWidth; ++x) {
        image.setPixel(x, 0, kBarEdgeColour);
        image.setPixel(x, kPieceHeight - 1, kBarEdgeColour);
    }
    return image;
}

} // namespace

BarPieces BarPieces::Make()
{
    BarPieces pieces;
    const QImage trough = Trough();
    pieces.iB = QPixmap::fromImage(trough);

    QImage left = trough;
    QImage right = trough;
    for (int y = 0; y < kPieceHeight; ++y) {
        left.setPixel(0, y, kBarEdgeColour);
        right.setPixel(kPieceWidth - 1, y, kBarEdgeColour);
    }
    pieces.iLeft = QPixmap::fromImage(left);
    pieces.iRight = QPixmap::fromImage(right);

    QImage fill = trough;
    for (int y = 2; y < kPieceHeight - 2; ++y)
        for (int x = 0; x < kPieceWidth; ++x)
            fill.setPixel(x, y, kBarFillColour);
    pieces.iP = QPixmap::fromImage(fill);
    return pieces;
}

BarPicture::BarPicture(const QString& name, int width, int height, QWidget* parent)
    : QWidget(parent), m_canvas(width, height, QImage::Format_RGB32)
{
    setObjectName(name);
    setFixedSize(width, height);
    m_canvas.fill(palette().color(QPalette::Window));
}

void BarPicture::PaintPiece(const QPixmap& piece, const QRectF& target)
{
    if (target.width() <= 0 || target.height() <= 0)
        return;
    {
        QPainter painter(&m_canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawPixmap(target.toRect(), piece);
    }
    update();
}

void BarPicture::DrawEmpty(const BarPieces& pieces)
{
    const int w = m_canvas.width();
    const int h = m_canvas.height();
    PaintPiece(pieces.iB, QRectF(0, 0, w, h));
    PaintPiece(pieces.iLeft, QRectF(0, 0, pieces.iLeft.width(), h));
    PaintPiece(pieces.iRight, QRectF(w - pieces.iRight.width(), 0, pieces.iRight.width(), h));
}

int BarPicture::CountOnMiddleLine(QRgb colour) const
{
    const int y = m_canvas.height() / 2;
    int n = 0;
    for (int x = 0; x < m_canvas.width(); ++x)
        if (m_canvas.pixel(x, y) == colour)
            ++n;
    return n;
}

int BarPicture::FirstOnMiddleLine(QRgb colour) const
{
    const int y = m_canvas.height() / 2;
    for (int x = 0; x < m_canvas.width(); ++x)
        if (m_canvas.pixel(x, y) == colour)
            return x;
    return -1;
}

void BarPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_canvas);
}

} // namespace tandrel::gui
