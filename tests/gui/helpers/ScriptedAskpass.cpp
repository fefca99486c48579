// The window program's askpass mode for the tests, with the dialog answered
// as a user would answer it: the passphrase typed (or Cancel when none is
// given), Yes or No to a host key. Every prompt is written to a log.
#include "gui/app/Askpass.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>

namespace {

void Click(tandrel::gui::AskpassDialog& dialog, const char* name)
{
    if (auto* button = dialog.findChild<QPushButton*>(QLatin1String(name)))
        button->click();
}

void Answer(tandrel::gui::AskpassDialog& dialog)
{
    QFile log(qEnvironmentVariable("TANDREL_TEST_ASKPASS_LOG"));
    if (log.open(QIODevice::Append)) {
        if (auto* prompt = dialog.findChild<QWidget*>(QStringLiteral("Prompt")))
            log.write(prompt->property("text").toString().toUtf8() + "\n--\n");
    }
    if (dialog.Kind() == tandrel::gui::AskpassKind::Question) {
        Click(dialog, qgetenv("TANDREL_TEST_HOST_KEY_REPLY") == "yes" ? "CmdYes" : "CmdNo");
        return;
    }
    if (!qEnvironmentVariableIsSet("TANDREL_TEST_PASSPHRASE")) {
        Click(dialog, "CmdCancel");
        return;
    }
    if (auto* answer = dialog.findChild<QLineEdit*>(QStringLiteral("Answer")))
        answer->setText(qEnvironmentVariable("TANDREL_TEST_PASSPHRASE"));
    Click(dialog, "CmdOK");
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!tandrel::gui::IsAskpassCall(arguments, qgetenv(tandrel::gui::kAskpassMarker)))
        return 3;
    return tandrel::gui::AskpassMain(argc, argv, Answer);
}
