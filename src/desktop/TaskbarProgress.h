#pragma once

#include "desktop/DesktopId.h"

#include <QString>

namespace tandrel::desktop {

// The progress state of the program's taskbar (dock) entry. On Linux it is
// sent as the launcher-entry signal on the session bus that docks and task
// managers listen to; without a session bus nothing happens. On Windows it
// is the taskbar button of the main window (the first visible top-level
// window without an owner), with the windows platform only.
class TaskbarProgress {
public:
    enum class State { None = 0, Indeterminate = 1 };

    explicit TaskbarProgress(QString desktopFileId = QLatin1String(kDesktopId) + QLatin1String(".desktop"));

    void SetState(State state);
    // The end-of-run mark: the entry asks for attention until it is cleared.
    void SetFinishedMark(bool shown);

    // True when the last signal was handed to a session bus (on Windows: was
    // taken by the taskbar).
    bool LastSent() const { return m_lastSent; }

    static constexpr const char* kObjectPath = "/com/canonical/unity/launcherentry/tandrel";
    static constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";

private:
#ifndef Q_OS_WIN
    void Send(const QVariantMap& properties);

    QString m_appUri;
#endif
    bool m_lastSent = false;
};

} // namespace tandrel::desktop
