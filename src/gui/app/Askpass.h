#pragma once

#include "gui/dialogs/AskpassDialog.h"
#include "platform/remote/SshProcess.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace tandrel::gui {

// The window program is ssh's askpass program for the remote sides it opens:
// ssh runs it with the prompt as its one argument, and it answers on its
// standard output. The command line leaves ssh to ask on the terminal.

// Set by the window in ssh's environment only, so that the program takes a
// single argument for ssh's prompt only when ssh started it for the window.
inline constexpr char kAskpassMarker[] = "TANDREL_ASKPASS";
// Set beside the marker when the window had to give ssh a DISPLAY it did not
// have itself; the askpass program removes it again before it opens a window.
inline constexpr char kAddedDisplayMarker[] = "TANDREL_ASKPASS_ADDED_DISPLAY";

// The variables the window adds to ssh's environment: ssh always asks
// through `program` (this executable), never on a terminal the window may
// have been started from.
platform::remote::SshProcess::Environment AskpassEnvironment(const QString& program);

// True when `arguments` (as the program got them, its name first) and the
// marker's value are those of an askpass call from ssh.
bool IsAskpassCall(const QStringList& arguments, const QByteArray& marker);

// How to answer `prompt`; `hint` is ssh's SSH_ASKPASS_PROMPT ("confirm",
// "none" or empty).
AskpassKind KindOfPrompt(const QString& prompt, const QString& hint);

// Shows the dialog for `prompt` and writes the reply and a newline to `out`.
// The exit status for ssh: 0 answered, 1 cancelled (or the reply could not be
// written). `whenShown` runs once the dialog is up (tests answer it there).
int RunAskpass(const QString& prompt, const QString& hint, std::FILE* out,
               const std::function<void(AskpassDialog&)>& whenShown = {});

// The whole program in askpass mode, from main(): no main window, no
// settings, no single-instance check.
int AskpassMain(int argc, char** argv, const std::function<void(AskpassDialog&)>& whenShown = {});

} // namespace tandrel::gui
