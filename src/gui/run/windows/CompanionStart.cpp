#include "gui/run/CompanionStart.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

#include <string>

namespace tandrel::gui {

bool StartCompanionProgram(const QString& program)
{
    const QFileInfo file(program);
    if (!file.isFile())
        return false;
    const std::wstring path = QDir::toNativeSeparators(file.absoluteFilePath()).toStdWString();
    const std::wstring folder = QDir::toNativeSeparators(file.absolutePath()).toStdWString();
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMAXIMIZED;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace tandrel::gui
