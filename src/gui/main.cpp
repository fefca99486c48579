#include "gui/AppSetup.h"
#include "gui/AppState.h"
#include "gui/Dialogs.h"
#include "gui/Form1.h"

#include <QApplication>
#include <QStyleFactory>

#include <clocale>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Month names in the lists follow the user's locale.
    std::setlocale(LC_ALL, "");
    QApplication::setOrganizationName(QStringLiteral("Orvessa Software"));
    QApplication::setApplicationName(QStringLiteral("Tandrel"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // Closing the main window ends the program, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    tandrel::gui::AppState state;
    tandrel::gui::PrepareAppState(state, tandrel::gui::ProgramFolder(QCoreApplication::applicationDirPath()));
    tandrel::gui::QtDialogs dialogs;

    tandrel::gui::Form1 form(state, dialogs);
    form.Start();
    return tandrel::gui::RunEventLoop(state);
}
