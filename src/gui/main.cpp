#include "gui/app/AppSetup.h"
#include "gui/app/Askpass.h"
#include "gui/app/AppState.h"
#include "desktop/DesktopId.h"
#include "gui/app/CommandLineText.h"
#include "gui/dialogs/Dialogs.h"
#include "gui/mainwindow/Form1.h"
#include "gui/app/StartArguments.h"
#include "platform/DescriptorLimit.h"

#include <QApplication>
#include <QStyleFactory>

#include <clocale>
#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

int Answer(const tandrel::gui::StartRequest& request)
{
#ifdef Q_OS_WIN
    // A window program has no console of its own: the text goes to the one
    // it was started from, if any, unless its output was sent elsewhere.
    if (GetStdHandle(STD_OUTPUT_HANDLE) == nullptr && AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
    std::fputs(request.output.toLocal8Bit().constData(), stdout);
    std::fputs(request.error.toLocal8Bit().constData(), stderr);
    return request.exitCode;
}

QStringList RawArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char** argv)
{
    // Started by ssh for a remote side the window opened: answer its question
    // and end, before anything of the window program is set up.
    if (tandrel::gui::IsAskpassCall(RawArguments(argc, argv), qgetenv(tandrel::gui::kAskpassMarker)))
        return tandrel::gui::AskpassMain(argc, argv);

    tandrel::platform::RaiseDescriptorLimit();
    QCoreApplication::setOrganizationName(QStringLiteral("Orvessa Software"));
    QCoreApplication::setApplicationName(QStringLiteral("Tandrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TANDREL_VERSION));

    // --help and --version answer on a terminal without a display.
    if (tandrel::gui::AsksOnlyForText(RawArguments(argc, argv))) {
        QCoreApplication core(argc, argv);
        return Answer(tandrel::gui::ParseStartArguments(tandrel::gui::CommandLineArguments(argc, argv),
                                                        tandrel::gui::CurrentFolderText()));
    }

    QApplication app(argc, argv);
    // Month names in the lists follow the user's locale.
    std::setlocale(LC_ALL, "");
    QGuiApplication::setDesktopFileName(QLatin1String(tandrel::desktop::kDesktopId));
#ifndef Q_OS_WIN
    // Windows keeps its native style.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
#endif
    // Closing the main window ends the program, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    // Qt has taken its own options (-platform, -style, ...) out of argv by now.
    const tandrel::gui::StartRequest request = tandrel::gui::ParseStartArguments(
        tandrel::gui::CommandLineArguments(argc, argv), tandrel::gui::CurrentFolderText());
    if (!request.start)
        return Answer(request);

    tandrel::gui::AppState state;
    tandrel::gui::PrepareAppState(state, tandrel::gui::ProgramFolder(QCoreApplication::applicationDirPath()));
    state.givenSource = request.source;
    state.givenDestination = request.destination;
    tandrel::gui::QtDialogs dialogs;

    tandrel::gui::Form1 form(state, dialogs);
    form.Start();
    return tandrel::gui::RunEventLoop(state);
}
