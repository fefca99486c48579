#include "gui/app/Registry.h"

#include "engine/PathRules.h"

#include <QSettings>
#include <QVariant>

namespace tandrel::gui {

QString ReadRegistryValue(const QString& name)
{
    const QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    if (key.status() != QSettings::NoError || !key.contains(name))
        return {};

    const QVariant value = key.value(name);
    QString text;
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray: text = value.toString(); break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: text = QString::number(value.toLongLong()); break;
    default: return {};
    }

    if (text.isEmpty() || text.front() == QChar(0))
        return {};
    if (text.back() == QChar(0))
        text.chop(1);
    return text;
}

void WriteRegistryValue(const QString& name, const QString& text)
{
    QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    key.setValue(name, text);
    key.sync();
}

namespace {

// A choice stored as "1" only while it is on.
void WriteChoice(const char* value, bool on)
{
    if (on) {
        WriteRegistryValue(QString::fromLatin1(value), QStringLiteral("1"));
        return;
    }
    QSettings key(QString::fromLatin1(kRegistryOrganization), QString::fromLatin1(kRegistryApplication));
    if (key.contains(QString::fromLatin1(value))) {
        key.remove(QString::fromLatin1(value));
        key.sync();
    }
}

} // namespace

bool ReadTrashChoice()
{
    return ReadRegistryValue(QString::fromLatin1(kTrashChoiceValue)) == QStringLiteral("1");
}

void WriteTrashChoice(bool on)
{
    WriteChoice(kTrashChoiceValue, on);
}

bool ReadKeepReplacedChoice()
{
    return ReadRegistryValue(QString::fromLatin1(kKeepReplacedValue)) == QStringLiteral("1");
}

void WriteKeepReplacedChoice(bool on)
{
    WriteChoice(kKeepReplacedValue, on);
}

bool WorthStoringFolder(const QString& folder)
{
    return static_cast<std::size_t>(folder.size()) >= engine::PathRules::Native().rootLength;
}

} // namespace tandrel::gui
