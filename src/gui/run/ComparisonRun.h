#pragma once

#include "gui/app/AppState.h"
#include "gui/mainwindow/ResultView.h"

class QWidget;

namespace tandrel::gui {

class Dialogs;
class FormWait;

// Carries out one comparison: prepares the roots and the lists, hides the
// main window behind the progress window, runs the source and destination
// passes, then writes the tab captions, checks every row and announces the
// end. Returns when the scan has ended; the progress window stays open
// until the user presses its button. Folders the scan could not read are
// then named in one message through `dialogs` (when given), unless
// IgnoreError is on.
void RunComparison(AppState& app, ResultView& view, QWidget* mainWindow, Dialogs* dialogs = nullptr);

// The text of that message: at most `shown` folders, each with its reason.
QString UnreadableFoldersText(const engine::ResultStore& store, int shown = 10);

// The progress window of the last run, if it is still open.
FormWait* ProgressWindow(QWidget* mainWindow);

// Closes a progress window left from the previous run, as its button would.
void CloseProgressWindow(QWidget* mainWindow);

// What plays the desktop's sound at the end of a run (PlaySound on), given
// the sound theme's event name. The platform's player unless replaced;
// returns the one it replaces.
using ThemeSoundPlayer = void (*)(const char* eventId);
ThemeSoundPlayer SetThemeSoundPlayer(ThemeSoundPlayer player);

} // namespace tandrel::gui
