#include "gui/app/CommandLineText.h"

#include "gui/app/CoreText.h"

#include <QDir>

#include <climits>
#include <string>
#include <unistd.h>

namespace tandrel::gui {

QStringList CommandLineArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc && argv[i]; ++i)
        arguments << ToQ(argv[i]);
    return arguments;
}

QString CurrentFolderText()
{
    std::string folder(PATH_MAX, '\0');
    if (!::getcwd(folder.data(), folder.size()))
        return QDir::currentPath();
    folder.resize(folder.find('\0'));
    return ToQ(folder);
}

} // namespace tandrel::gui
