#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace tandrel::gui {

// The four bitmaps a progress bar is drawn from, each 2 x 16 pixels.
struct BarPieces {
    QPixmap iLeft;  // left end: the trough closed by an edge on its left side
    QPixmap iRight; // right end: closed on its right side
    QPixmap iB;     // empty trough
    QPixmap iP;     // fill

    static BarPieces Make();
};

// A picture box that keeps what is drawn on it, like a canvas: pieces are
// painted onto a backing image, and nothing is erased between drawings.
class BarPicture : public QWidget {
    Q_OBJECT
public:
    BarPicture(const QString& name, int width, int height, QWidget* parent);

    // Paints `piece` stretched over the rectangle (no smoothing).
    void PaintPiece(const QPixmap& piece, const QRectF& target);

    // Trough over the whole bar, then both ends.
    void DrawEmpty(const BarPieces& pieces);

    const QImage& Canvas() const { return m_canvas; }

    // Pixels of `colour` on the bar's middle line, and the first of them (-1
    // when there is none): what a look at the bar shows of its fill.
    int CountOnMiddleLine(QRgb colour) const;
    int FirstOnMiddleLine(QRgb colour) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_canvas;
};

inline constexpr QRgb kBarEdgeColour = 0xFFABC1DE;
inline constexpr QRgb kBarTroughColour = 0xFFF2F2F2;
inline constexpr QRgb kBarFillColour = 0xFF209F2C;

} // namespace tandrel::gui
