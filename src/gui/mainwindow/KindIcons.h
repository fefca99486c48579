#pragma once

#include "engine/CompareItem.h"

#include <QIcon>

namespace tandrel::gui {

// The row images of entries that are neither files nor folders: the icon
// theme's picture of the kind where the theme has one, otherwise a picture
// drawn here that says what the entry is (a pipe, a plug socket, a chip).
class KindIcons {
public:
    static QIcon ForKind(engine::EntryKind kind);

    // The pictures drawn here, without the theme.
    static QIcon Drawn(engine::EntryKind kind);
};

} // namespace tandrel::gui
