#pragma once

#include <QString>

namespace tandrel::gui {

// Where deleted items can go, in the words of the system the program runs
// on: the desktop's trash on Linux, the Recycle Bin on Windows.
QString TrashOptionCaption();
QString KeepReplacedCaption();
QString TrashQuestion();

} // namespace tandrel::gui
