#include "gui/app/CommandLineText.h"

#include <QCoreApplication>
#include <QDir>

namespace tandrel::gui {

// Qt reads the wide command line itself: every name arrives whole.
QStringList CommandLineArguments(int, char**)
{
    return QCoreApplication::arguments();
}

QString CurrentFolderText()
{
    return QDir::currentPath();
}

} // namespace tandrel::gui
