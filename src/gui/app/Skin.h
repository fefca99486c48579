#pragma once

#include <QColor>
#include <QString>

class QPalette;

namespace tandrel::gui {

// The WCAG contrast ratio of two colours: 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// True when the palette's text is lighter than its window: a dark scheme.
bool IsDarkPalette(const QPalette& palette);

// The colour of the folder links: the skin's blue where it reads on the
// window colour, otherwise a light blue.
QColor LinkColour(const QPalette& palette);

// The pale band behind the buttons of a few dialogs, or the palette's own
// shade of the window in a dark scheme.
QColor BandColour(const QPalette& palette);

// Applies the style sheet at `path` to the whole program. The skin is a
// light scheme: it is applied while the desktop's palette is light, and a
// dark palette is followed as it is, so that text and background always come
// from the same scheme. A missing file leaves the default look.
void ApplySkin(const QString& path);

} // namespace tandrel::gui
