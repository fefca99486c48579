#pragma once

#include <QIcon>
#include <QPixmap>

namespace tandrel::gui {

// The small pictures of the settings, project and About windows, drawn in
// code so that they stay sharp at any scale factor.
class FormIcons {
public:
    static QIcon Plus();           // add an ignored name
    static QIcon Minus();          // remove an ignored name
    static QIcon Project();        // a project row: two folders
    static QIcon PresetArrow();    // drops down the preset folder menu
    static QIcon Tick();           // a finished comparison's OK
    static QPixmap AboutPicture(int logicalSize, qreal devicePixelRatio);
};

} // namespace tandrel::gui
