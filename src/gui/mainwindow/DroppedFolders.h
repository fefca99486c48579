#pragma once

#include <QStringList>

class QMimeData;

namespace tandrel::gui {

// The folders of a drag from a file manager: one or two local folders, in
// the order they were picked, in the system's form. Anything else in the
// drag (a file, a device, a remote address, a third item) makes it no drop
// of folders at all, and the result is empty.
QStringList DroppedFolders(const QMimeData* data);

} // namespace tandrel::gui
