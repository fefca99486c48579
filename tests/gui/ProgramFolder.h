#pragma once

#include "ScriptedDialogs.h"
#include "gui/app/AppState.h"
#include "settings/SettingsFile.h"
#include "support/TempTree.h"

#include <string>

namespace tandrel::test {

// What a window test starts from: a program folder (the root of a temporary
// tree, with the settings file tdl.ini and the report folder Report named
// in the program's state) and scripted answers for the dialogs.
struct ProgramFolder {
    TempTree tree;
    gui::AppState state;
    ScriptedDialogs dialogs;

    ProgramFolder()
    {
        state.appFolder = QString::fromStdString(tree.Root());
        state.settingsPath = state.appFolder + QStringLiteral("tdl.ini");
        state.reportFolder = state.appFolder + QStringLiteral("Report");
    }
    // With a settings file as a user might have edited it by hand, read the
    // way start-up reads it.
    explicit ProgramFolder(const std::string& settingsText) : ProgramFolder()
    {
        tree.WriteFile("tdl.ini", settingsText);
        settings::ReadSettings(gui::FromQ(state.settingsPath), state.settings);
    }
    std::string File() const { return tree.ReadFile("tdl.ini"); }
};

} // namespace tandrel::test
