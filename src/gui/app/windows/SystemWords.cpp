#include "gui/app/SystemWords.h"

namespace tandrel::gui {

QString TrashOptionCaption()
{
    return QStringLiteral("Move deleted items to the Recycle Bin");
}

QString KeepReplacedCaption()
{
    return QStringLiteral("Keep replaced files in the Recycle Bin");
}

QString TrashQuestion()
{
    return QStringLiteral("Are you sure you want to move selected files and directories to the Recycle Bin?");
}

} // namespace tandrel::gui
