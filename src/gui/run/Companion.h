#pragma once

class QWidget;

namespace tandrel::gui {

struct AppState;
class Dialogs;

// The companion scheduler "Daylark": its window, found by that title among the
// desktop's top-level windows, is brought forward; when it is not running,
// appFolder + "Daylark/Larkrun" is started. A start that fails shows
// "Can not start Daylark. Please reinstall this software.".
void RunCompanion(AppState& appState, Dialogs& dialogs, QWidget* owner);

// What RunCompanion did, for the caller and the tests.
enum class CompanionOutcome { Raised, Started, Failed };
CompanionOutcome RunCompanionOutcome(AppState& appState, Dialogs& dialogs, QWidget* owner);

} // namespace tandrel::gui
