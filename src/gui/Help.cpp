#include "Help.h"

#include "AppState.h"
#include "Dialogs.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tandrel::gui {

void ShowHelpContents(AppState& appState, Dialogs& dialogs, QWidget* owner)
{
    QString folder = appState.appFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    QString page = folder + QStringLiteral("help/index.html");

    // Where the program folder is the per-user fallback (the executable's
    // folder is not writable), the pages stay beside the executable.
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/help/index.html");
    if (!QFileInfo(page).isFile() && QFileInfo(besideProgram).isFile())
        page = besideProgram;

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
