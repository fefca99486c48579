#pragma once

class QWidget;

namespace tandrel::gui {

struct AppState;
class Dialogs;

// Opens the help pages beside the program (help/index.html in the program's
// folder) in the desktop's viewer. Missing pages, or a desktop that cannot
// show them, give an error message.
void ShowHelpContents(AppState& appState, Dialogs& dialogs, QWidget* owner);

} // namespace tandrel::gui
