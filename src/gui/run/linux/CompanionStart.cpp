#include "gui/run/CompanionStart.h"

#include <QFileInfo>
#include <QProcess>

namespace tandrel::gui {

bool StartCompanionProgram(const QString& program)
{
    qint64 pid = 0;
    return QFileInfo(program).isFile() &&
           QProcess::startDetached(program, {}, QFileInfo(program).absolutePath(), &pid) && pid > 0;
}

} // namespace tandrel::gui
