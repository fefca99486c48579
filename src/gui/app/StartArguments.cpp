#include "gui/app/StartArguments.h"

#include "gui/app/CoreText.h"
#include "platform/TextFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QUrl>

namespace tandrel::gui {

namespace {

struct Parser {
    QCommandLineParser parser;
    // Qt's own help option would also offer --help-all, the toolkit's options.
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the program's name and version and exit.")};
    bool parsed = false;

    explicit Parser(const QStringList& arguments)
    {
        parser.addOption(help);
        parser.addOption(version);
        parser.setApplicationDescription(QStringLiteral(
            "Compares two folder trees and copies or deletes the differences you check.\n"
            "With two folders the new-comparison dialog opens filled with them; press Compare to start."));
        parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("The source folder."),
                                     QStringLiteral("[SOURCE"));
        parser.addPositionalArgument(QStringLiteral("DESTINATION"), QStringLiteral("The destination folder."),
                                     QStringLiteral("[DESTINATION]]"));
        parsed = parser.parse(arguments);
    }
};

QString ProgramName(const QStringList& arguments)
{
    return arguments.isEmpty() ? QStringLiteral("tandrel") : QDir(arguments.first()).dirName();
}

} // namespace

bool AsksOnlyForText(const QStringList& arguments)
{
    Parser p(arguments);
    return p.parsed && (p.parser.isSet(p.help) || p.parser.isSet(p.version));
}

StartRequest ParseStartArguments(const QStringList& arguments, const QString& currentFolder)
{
    Parser p(arguments);
    StartRequest request;
    const QString name = ProgramName(arguments);
    const QString tryHelp = QStringLiteral("Try '%1 --help' for more information.\n").arg(name);
    if (!p.parsed) {
        request.start = false;
        request.exitCode = 2;
        request.error = name + QStringLiteral(": ") + p.parser.errorText() + QLatin1Char('\n') + tryHelp;
        return request;
    }
    if (p.parser.isSet(p.help)) {
        request.start = false;
        request.output = p.parser.helpText();
        return request;
    }
    if (p.parser.isSet(p.version)) {
        request.start = false;
        request.output = QCoreApplication::applicationName() + QLatin1Char(' ') +
                         QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return request;
    }

    const QStringList folders = p.parser.positionalArguments();
    if (folders.size() > 2) {
        request.start = false;
        request.exitCode = 2;
        request.error = name + QStringLiteral(": at most two folders, SOURCE and DESTINATION, can be given\n") + tryHelp;
        return request;
    }
    const QDir base(currentFolder);
    const auto absolute = [&base](QString folder) {
        // A file manager may hand over its folders as file:// addresses.
        if (folder.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
            const QUrl url(folder);
            if (url.isLocalFile()) {
                // An escaped name that is not UTF-8 keeps its bytes.
                const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
                folder = platform::IsValidUtf8(bytes.toStdString()) ? url.toLocalFile() : ToQ(bytes.toStdString());
            }
        }
        // In the system's own form: backslashes on Windows, as the lists show them.
        return folder.isEmpty() ? QString() : QDir::toNativeSeparators(QDir::cleanPath(base.absoluteFilePath(folder)));
    };
    if (!folders.isEmpty())
        request.source = absolute(folders[0]);
    if (folders.size() > 1)
        request.destination = absolute(folders[1]);
    return request;
}

} // namespace tandrel::gui
