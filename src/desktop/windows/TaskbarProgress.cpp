#include "desktop/TaskbarProgress.h"

#include "desktop/windows/TaskbarButton.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>

namespace tandrel::desktop {

namespace {

// The window whose button the taskbar shows: the progress and other windows
// are owned by the main window and have no button of their own. Without
// the windows platform (offscreen) there is no system window at all.
std::uintptr_t MainWindowHandle()
{
    if (QGuiApplication::platformName() != QLatin1String("windows"))
        return 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && !widget->parentWidget() && widget->isWindow())
            return static_cast<std::uintptr_t>(widget->winId());
    return 0;
}

} // namespace

TaskbarProgress::TaskbarProgress(QString)
{
}

void TaskbarProgress::SetState(State state)
{
    const std::uintptr_t window = MainWindowHandle();
    m_lastSent = window != 0 &&
                 SetTaskbarButtonState(window, state == State::Indeterminate
                                                             ? TaskbarButtonState::Busy
                                                             : TaskbarButtonState::Normal);
}

void TaskbarProgress::SetFinishedMark(bool shown)
{
    const std::uintptr_t window = MainWindowHandle();
    m_lastSent = window != 0 && FlashTaskbarButton(window, shown);
}

} // namespace tandrel::desktop
