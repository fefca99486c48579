#pragma once

#include <QString>

namespace tandrel::gui {

// Starts the companion program in its own folder and does not wait for it;
// true when a process was made. On Windows its window opens maximised (the
// show state handed to the new process, which a program's first window
// takes). On Linux there is no such request: the window manager places a
// new window as the program itself asks.
bool StartCompanionProgram(const QString& program);

} // namespace tandrel::gui
