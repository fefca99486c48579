#include "gui/app/AppSetup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#ifdef Q_OS_WIN
#include "platform/windows/WritableFolder.h"
#else
#include <unistd.h>
#endif

namespace tandrel::gui {

QString WithTrailingSlash(const QString& folder)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

QString SharedFilesFolder(const QString& executableFolder)
{
    const QDir bin(executableFolder);
    if (bin.dirName() != QLatin1String("bin"))
        return {};
    const QString shared = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("../share/tandrel")));
    return QFileInfo(shared).isDir() ? WithTrailingSlash(shared) : QString();
}

QString InstalledFile(const AppState& state, const QString& relative)
{
    return InstalledFile(state, relative, QCoreApplication::applicationDirPath());
}

QString InstalledFile(const AppState& state, const QString& relative, const QString& executableFolder)
{
    const QString inAppFolder = WithTrailingSlash(state.appFolder) + relative;
    if (QFileInfo::exists(inAppFolder))
        return inAppFolder;
    const QString besideProgram = WithTrailingSlash(executableFolder) + relative;
    if (QFileInfo::exists(besideProgram))
        return besideProgram;
    const QString shared = SharedFilesFolder(executableFolder);
    if (!shared.isEmpty() && QFileInfo::exists(shared + relative))
        return shared + relative;
    return inAppFolder;
}

namespace {

bool CanWriteIn(const QString& folder)
{
#ifdef Q_OS_WIN
    return platform::CanCreateFilesIn(QDir::toNativeSeparators(folder).toStdWString());
#else
    // access() asks the system itself, which also knows about read-only mounts.
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
#endif
}

} // namespace

QString ProgramFolder(const QString& executableFolder)
{
    const QString folder = WithTrailingSlash(executableFolder);
    if (SharedFilesFolder(executableFolder).isEmpty() && CanWriteIn(folder))
        return folder;

    // %LOCALAPPDATA% on Windows: the settings and reports stay on this machine.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data))
        return folder;
    return WithTrailingSlash(data);
}

void PrepareAppState(AppState& state, const QString& appFolder)
{
    state.appFolder = WithTrailingSlash(appFolder);
    state.settingsPath = state.appFolder + QString::fromLatin1(settings::kSettingsFileName);
    state.reportFolder = state.appFolder + QStringLiteral("Report");

    // Only a regular file counts; hidden and special files are not looked for.
    const QFileInfo settingsFile(state.settingsPath);
    if (settingsFile.exists() && settingsFile.isFile() && !settingsFile.isHidden())
        settings::ReadSettings(FromQ(state.settingsPath), state.settings);

    // Anything named Report (a file, a folder, even a dangling link) is left alone.
    const QFileInfo report(state.reportFolder);
    if (!report.exists() && !report.isSymLink())
        QDir().mkdir(state.reportFolder);

    state.runFlag.Set(false);
}

int RunEventLoop(AppState& state)
{
    if (state.ending)
        return 0;
    state.eventLoopRunning = true;
    const int code = QApplication::exec();
    state.eventLoopRunning = false;
    return code;
}

void EndProgram(AppState& state)
{
    state.ending = true;
    state.runFlag.Set(false);
    // Before the loop has begun there is none to end: RunEventLoop sees the
    // flag instead. Once it runs, exit() also ends the loops of dialogs
    // nested in it, and any dialog opened after it returns at once.
    if (state.eventLoopRunning)
        QCoreApplication::exit(0);
}

} // namespace tandrel::gui
