#pragma once

#include "gui/app/AppState.h"

#include <QString>

namespace tandrel::gui {

// `folder` with exactly one '/' at the end ("/" stays "/").
QString WithTrailingSlash(const QString& folder);

// The folder of the files an installed program ships (`<prefix>/share/tandrel/`
// for an executable in `<prefix>/bin`), or empty text when the executable
// does not lie in such an installed tree (a build folder, for example).
QString SharedFilesFolder(const QString& executableFolder);

// The program's folder: the executable's folder with a trailing '/'. When
// the program is installed (see SharedFilesFolder) or that folder cannot be
// written, the per-user data folder of the program instead (created), so
// that settings and reports are never silently lost and never land among
// the system's programs, not even when root starts it.
QString ProgramFolder(const QString& executableFolder);

// A file shipped with the program (skin, help pages, companion program):
// `relative` under AppFolder; where AppFolder is the per-user fallback and the
// file is not there, the one beside the executable, then the one in the
// installed tree's shared files. When none exists, the AppFolder path, so
// that messages name where it was expected.
QString InstalledFile(const AppState& state, const QString& relative);
QString InstalledFile(const AppState& state, const QString& relative, const QString& executableFolder);

// Start-up of the program-wide state: AppFolder, SettingsPath and
// ReportFolder; the settings file is read when a regular file of that name
// exists; the "Report" folder is created when nothing of that name exists.
// Every step is guarded on its own and nothing is reported.
void PrepareAppState(AppState& state, const QString& appFolder);

// The program's event loop; its result is the program's exit code. When the
// main window has already closed (it can close during the start-up
// comparison, before the loop begins) the program ends at once.
int RunEventLoop(AppState& state);

// The end of the program when its main window closes: anything running stops
// after the entry or row in hand, no finish sound plays, and the event loop
// ends together with every dialog or event pass nested in it.
void EndProgram(AppState& state);

} // namespace tandrel::gui
