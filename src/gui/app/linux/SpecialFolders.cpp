#include "gui/app/SpecialFolders.h"

#include <QStandardPaths>

namespace tandrel::gui {

QString SpecialFolderPath(int csidl)
{
    switch (csidl) {
    case 20: return QStandardPaths::writableLocation(QStandardPaths::FontsLocation);
    case 26: return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    case 16: return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    case 28: return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    case 5: return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    case 13: return QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    case 39: return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    case 11: return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    case 40: return QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    default: return {}; // cookies (33), favourites (6), history (34) and anything unknown
    }
}

} // namespace tandrel::gui
