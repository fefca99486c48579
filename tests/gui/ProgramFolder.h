#pragma once

#include "ScriptedDialogs.h"
#include "gui/app/AppSetup.h"
#include "gui/app/AppState.h"
#include "gui/app/CoreText.h"
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

// The program as start-up leaves it: its state prepared over the program
// folder "prog" of a temporary tree, beside the trees a test compares, with
// scripted answers for the dialogs. Per-user values a test wants start-up to
// read are written before (a base class of a fixture written first, or a
// statement before the declaration).
struct StartedProgram {
    TempTree tree;
    gui::AppState state;
    ScriptedDialogs dialogs;

    StartedProgram()
    {
        tree.MakeDir("prog");
        gui::PrepareAppState(state, gui::ToQ(tree.Path("prog")));
    }
};

} // namespace tandrel::test
