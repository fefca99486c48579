#include "gui/app/Skin.h"

#include <QApplication>
#include <QFile>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace tandrel::gui {

namespace {

double Channel(double c)
{
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& c)
{
    return 0.2126 * Channel(c.redF()) + 0.7152 * Channel(c.greenF()) + 0.0722 * Channel(c.blueF());
}

} // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool IsDarkPalette(const QPalette& palette)
{
    return Luminance(palette.color(QPalette::WindowText)) > Luminance(palette.color(QPalette::Window));
}

QColor LinkColour(const QPalette& palette)
{
    const QColor blue(0x00, 0x33, 0xCC);
    return ContrastRatio(blue, palette.color(QPalette::Window)) >= 4.5 ? blue : QColor(0x8A, 0xB4, 0xF8);
}

QColor BandColour(const QPalette& palette)
{
    return IsDarkPalette(palette) ? palette.color(QPalette::Window).lighter(130) : QColor(0xDB, 0xEB, 0xF8);
}

void ApplySkin(const QString& path)
{
    QString sheet;
    if (!IsDarkPalette(QGuiApplication::palette())) {
        QFile skin(path);
        if (skin.open(QIODevice::ReadOnly | QIODevice::Text))
            sheet = QString::fromUtf8(skin.readAll());
    }
    qApp->setStyleSheet(sheet);
}

} // namespace tandrel::gui
