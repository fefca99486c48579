#pragma once

#include <QIcon>
#include <QString>

namespace tandrel::gui {

// A picture of the program's icon resources, by its name without ".png".
inline QIcon ResourceIcon(const QString& name)
{
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".png"));
}

} // namespace tandrel::gui
