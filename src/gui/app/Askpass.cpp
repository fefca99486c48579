#include "gui/app/Askpass.h"

#include <QApplication>
#include <QTimer>

namespace tandrel::gui {

platform::remote::SshProcess::Environment AskpassEnvironment(const QString& program)
{
    platform::remote::SshProcess::Environment environment = {
        {"SSH_ASKPASS", program.toStdString()},
        {"SSH_ASKPASS_REQUIRE", "force"},
        {kAskpassMarker, "1"},
    };
    // ssh before 8.4 knows no SSH_ASKPASS_REQUIRE and asks its askpass
    // program only where DISPLAY is set (a Wayland session, Windows).
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        environment.emplace_back("DISPLAY", ":0");
        environment.emplace_back(kAddedDisplayMarker, "1");
    }
    return environment;
}

bool IsAskpassCall(const QStringList& arguments, const QByteArray& marker)
{
    return marker == "1" && arguments.size() == 2;
}

AskpassKind KindOfPrompt(const QString& prompt, const QString& hint)
{
    if (hint == QLatin1String("none"))
        return AskpassKind::Notice;
    // ssh asks about a host key as "(yes/no/[fingerprint])?" and, after an
    // answer it did not take, "Please type 'yes', 'no' or the fingerprint".
    if (hint == QLatin1String("confirm") || prompt.contains(QLatin1String("(yes/no")) ||
        prompt.contains(QLatin1String("'yes'")))
        return AskpassKind::Question;
    return AskpassKind::Secret;
}

int RunAskpass(const QString& prompt, const QString& hint, std::FILE* out,
               const std::function<void(AskpassDialog&)>& whenShown)
{
    AskpassDialog dialog(prompt, KindOfPrompt(prompt, hint));
    if (whenShown)
        QTimer::singleShot(0, &dialog, [&dialog, &whenShown] { whenShown(dialog); });
    dialog.exec();
    const std::optional<QString> reply = dialog.Reply();
    if (!reply)
        return 1;
    if (dialog.Kind() == AskpassKind::Notice)
        return 0;
    // ssh takes the bytes as a terminal would give them: the locale's.
    const QByteArray bytes = reply->toLocal8Bit() + '\n';
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out) ==
                             static_cast<std::size_t>(bytes.size()) &&
                         std::fflush(out) == 0;
    return written ? 0 : 1;
}

int AskpassMain(int argc, char** argv, const std::function<void(AskpassDialog&)>& whenShown)
{
    // The prompt is ssh's text, never options for Qt: Qt sees the program's
    // name only.
    const QString prompt = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (qEnvironmentVariable(kAddedDisplayMarker) == QLatin1String("1")) {
        qunsetenv("DISPLAY");
        qunsetenv(kAddedDisplayMarker);
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    return RunAskpass(prompt, qEnvironmentVariable("SSH_ASKPASS_PROMPT"), stdout, whenShown);
}

} // namespace tandrel::gui
