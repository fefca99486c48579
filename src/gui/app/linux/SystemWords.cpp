#include "gui/app/SystemWords.h"

namespace tandrel::gui {

QString TrashOptionCaption()
{
    return QStringLiteral("Move deleted items to the trash");
}

QString KeepReplacedCaption()
{
    return QStringLiteral("Keep replaced files in the trash");
}

QString TrashQuestion()
{
    return QStringLiteral("Are you sure you want to move selected files and directories to the trash?");
}

} // namespace tandrel::gui
