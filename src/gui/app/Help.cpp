#include "gui/app/Help.h"

#include "gui/app/AppSetup.h"
#include "gui/app/AppState.h"
#include "gui/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tandrel::gui {

void ShowHelpContents(AppState& appState, Dialogs& dialogs, QWidget* owner)
{
    const QString page = InstalledFile(appState, QStringLiteral("help/index.html"));
    if (!QFileInfo(page).isFile()) {
        dialogs.Message(owner,
                        QStringLiteral("The help pages can not be found:\n") + page +
                            QStringLiteral("\nPlease reinstall this software."),
                        QStringLiteral("Tandrel"), MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        dialogs.Message(owner,
                        QStringLiteral("The help pages can not be opened:\n") + page +
                            QStringLiteral("\nThis desktop has no program set to show web pages."),
                        QStringLiteral("Tandrel"), MessageIcon::Critical, MessageButtons::Ok);
    }
}

} // namespace tandrel::gui
