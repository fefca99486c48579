#pragma once

#include <QString>

class QWidget;

namespace tandrel::gui {

class Dialogs;

// The modal folder chooser: opens with `startFolder` selected (an empty or
// missing folder leaves the chooser's default) and returns the chosen
// folder's path, or empty text when the user cancelled. Whether the folder
// is usable is the caller's business.
QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& startFolder);

} // namespace tandrel::gui
