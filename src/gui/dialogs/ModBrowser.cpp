#include "gui/dialogs/ModBrowser.h"

#include "gui/app/AppState.h"
#include "gui/dialogs/Dialogs.h"

#include "engine/FolderExists.h"

#include <QDir>
#include <QFileInfo>

namespace tandrel::gui {

QString NearestExistingFolder(const QString& folder)
{
    // Only a full path has parents worth walking; anything else would lead
    // to the program's own working folder.
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        return {};
    QString path = QDir::cleanPath(folder);
    while (!QDir(path).exists()) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return {};
        path = parent;
    }
    return QDir::toNativeSeparators(path);
}

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& startFolder)
{
    // A typed folder that is not there opens the chooser at its nearest
    // existing parent; an empty box leaves the chooser at its own default.
    const QString start =
        !startFolder.isEmpty() && QDir(startFolder).exists() ? startFolder : NearestExistingFolder(startFolder);
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
