#include "ModBrowser.h"

#include "Dialogs.h"

#include <QDir>

namespace tandrel::gui {

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& startFolder)
{
    // A start folder that is not there would open the chooser somewhere odd;
    // the chooser's own default is the better start then.
    const QString start = !startFolder.isEmpty() && QDir(startFolder).exists() ? startFolder : QString();
    return dialogs.ChooseFolder(owner, title, start);
}

} // namespace tandrel::gui
