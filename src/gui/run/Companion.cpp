#include "gui/run/Companion.h"

#include "gui/app/AppSetup.h"
#include "gui/app/AppState.h"
#include "gui/run/CompanionStart.h"
#include "gui/dialogs/Dialogs.h"
#include "desktop/DesktopWindows.h"

namespace tandrel::gui {

namespace {

const char* const kCompanionTitle = "Daylark";

} // namespace

CompanionOutcome RunCompanionOutcome(AppState& appState, Dialogs& dialogs, QWidget* owner)
{
#ifdef Q_OS_WIN
    const QString program = InstalledFile(appState, QStringLiteral("Daylark/Larkrun.exe"));
#else
    const QString program = InstalledFile(appState, QStringLiteral("Daylark/Larkrun"));
#endif

    // On Linux the search needs an X server; in a session without one
    // (Wayland only, or no display at all) the companion is only started.
    {
        desktop::DesktopWindows desktop;
        if (desktop.IsConnected()) {
            if (const auto window = desktop.FindTopLevelWindow(kCompanionTitle)) {
                desktop.Activate(*window);
                return CompanionOutcome::Raised;
            }
        }
    }

    // Started in its own folder and not waited for; on Windows maximised.
    if (StartCompanionProgram(program))
        return CompanionOutcome::Started;

    dialogs.Message(owner, QStringLiteral("Can not start Daylark. Please reinstall this software."),
                    QStringLiteral("Error"), MessageIcon::Critical, MessageButtons::Ok);
    return CompanionOutcome::Failed;
}

void RunCompanion(AppState& appState, Dialogs& dialogs, QWidget* owner)
{
    RunCompanionOutcome(appState, dialogs, owner);
}

} // namespace tandrel::gui
