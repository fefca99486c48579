#include "ModBrowser.h"

#include "AppState.h"
#include "Dialogs.h"

#include "engine/FolderExists.h"

#include <QDir>

namespace tandrel::gui {

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& startFolder)
{
    // A start folder that is not there would open the chooser somewhere odd;
    // the chooser's own default is the better start then.
    const QString start = !startFolder.isEmpty() && QDir(startFolder).exists() ? startFolder : QString();
    return dialogs.ChooseFolder(owner, title, start);
}

QString BrowseForReadableFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& startFolder)
{
    const QString chosen = BrowseForFolder(dialogs, owner, title, startFolder);
    if (chosen.isEmpty() || engine::FolderExists(FromQ(chosen)))
        return chosen;
    dialogs.Message(owner, QStringLiteral("Can not read ") + chosen, QStringLiteral("Error"), MessageIcon::Critical,
                    MessageButtons::Ok);
    return {};
}

} // namespace tandrel::gui
