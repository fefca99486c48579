#pragma once

#include "engine/PathPatterns.h"
#include "engine/ResultCategory.h"
#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "settings/SettingsFile.h"
#include "gui/app/CoreText.h"

#include <QString>

namespace tandrel::gui {

// The program-wide state: one comparison, one pair of roots, one store, one
// settings state. Owned by the application object and passed by reference to
// the windows that read or change it.
struct AppState {
    QString appFolder;    // the program's folder (or the per-user fallback), ending in '/'
    QString settingsPath; // appFolder + "tdl.ini"
    QString reportFolder; // appFolder + "Report"

    settings::SettingsState settings;

    QString sourceRoot;      // set by the new-comparison dialog; a run appends '/'
    QString destinationRoot;
    // Folders named on the command line: the first new-comparison dialog
    // shows them in place of the last ones used, and takes them away.
    QString givenSource;
    QString givenDestination;
    bool includeSubdirectories = true;
    // The patterns of the file named by the project the two folders come
    // from, read when the new-comparison dialog confirmed them; empty when
    // that project names none or the folders are no project's.
    engine::PathPatterns patterns;
    engine::RunFlag runFlag;
    engine::ResultStore store;

    engine::CategoryCaptions captions = engine::DefaultCategoryCaptions();
    int currentTab = 1;           // 1..5, the visible list
    double progressFraction = 0;  // share of checked rows started by a copy or delete

    bool ending = false;           // the main window has closed: the program ends, silently
    bool eventLoopRunning = false; // the program's event loop has begun (RunEventLoop)
};

} // namespace tandrel::gui
