#include "gui/app/ProjectPatternFiles.h"

#include "gui/app/CoreText.h"
#include "gui/app/Registry.h"
#include "platform/TextFile.h"

#include <QByteArray>
#include <QSettings>
#include <QVariant>

namespace tandrel::gui {

namespace {

// Text where the bytes are valid UTF-8 (readable in the store), the bytes themselves otherwise.
QVariant Stored(const std::string& bytes)
{
    if (platform::IsValidUtf8(bytes))
        return QVariant(ToQ(bytes));
    return QVariant(QByteArray::fromStdString(bytes));
}

std::string Bytes(const QVariant& value)
{
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray().toStdString();
    return FromQ(value.toString());
}

} // namespace

ProjectPatternFiles ReadProjectPatternFiles()
{
    QSettings store(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    ProjectPatternFiles files;
    const int count = store.beginReadArray(QString::fromLatin1(kProjectPatternFilesValue));
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        const std::string name = Bytes(store.value(QStringLiteral("Project")));
        const std::string file = Bytes(store.value(QStringLiteral("File")));
        if (!name.empty() && !file.empty())
            files[name] = file;
    }
    store.endArray();
    return files;
}

void WriteProjectPatternFiles(const ProjectPatternFiles& files)
{
    QSettings store(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    store.remove(QString::fromLatin1(kProjectPatternFilesValue));
    if (!files.empty()) {
        store.beginWriteArray(QString::fromLatin1(kProjectPatternFilesValue), static_cast<int>(files.size()));
        int i = 0;
        for (const auto& [name, file] : files) {
            store.setArrayIndex(i++);
            store.setValue(QStringLiteral("Project"), Stored(name));
            store.setValue(QStringLiteral("File"), Stored(file));
        }
        store.endArray();
    }
    store.sync();
}

} // namespace tandrel::gui
