#include "gui/mainwindow/DroppedFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace tandrel::gui {

QStringList DroppedFolders(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || urls.size() > 2)
        return {};
    QStringList folders;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return {};
        const QString path = QDir::cleanPath(url.toLocalFile());
        if (!QFileInfo(path).isDir())
            return {};
        folders << QDir::toNativeSeparators(path);
    }
    return folders;
}

} // namespace tandrel::gui
