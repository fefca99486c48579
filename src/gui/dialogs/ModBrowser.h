#pragma once

#include <QString>

class QWidget;

namespace tandrel::gui {

class Dialogs;

// The deepest existing folder on the way up from `folder` (itself when it
// exists); empty text for empty text, a relative path, or nothing found.
QString NearestExistingFolder(const QString& folder);

// The modal folder chooser: opens with `startFolder` selected (a missing
// folder gives its nearest existing parent, an empty one the chooser's
// default) and returns the chosen
// folder's path, or empty text when the user cancelled. Whether the folder
// is usable is the caller's business.
QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& startFolder);

// What the Browse buttons do with the chooser: the chosen folder when it can
// be entered; empty text when the user cancelled, or after "Can not read "
// and the path (title "Error") when it cannot.
QString BrowseForReadableFolder(Dialogs& dialogs, QWidget* owner, const QString& title, const QString& startFolder);

} // namespace tandrel::gui
