#pragma once

#include <QString>
#include <QStringList>

namespace tandrel::gui {

// What the command line asks of the window program: `tandrel [SOURCE
// [DESTINATION]]` starts with the new-comparison dialog showing the folders
// given; --help and --version answer and end the program, as does a command
// line that cannot be understood (exit status 2).
struct StartRequest {
    bool start = true;    // false: print `output` and `error`, end with `exitCode`
    int exitCode = 0;
    QString output;       // for standard output
    QString error;        // for standard error
    QString source;       // absolute and clean, or empty when not given
    QString destination;
};

// `arguments` as the program got them, the program's name first; relative
// folders are taken from `currentFolder`, file:// addresses as their paths.
StartRequest ParseStartArguments(const QStringList& arguments, const QString& currentFolder);

// True when the command line only asks for --help or --version, which are
// answered before the window system is set up (no display needed).
bool AsksOnlyForText(const QStringList& arguments);

} // namespace tandrel::gui
