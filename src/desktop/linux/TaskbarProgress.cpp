#include "desktop/TaskbarProgress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>

namespace tandrel::desktop {

namespace {

// The session bus's address, or empty text when there is none. libdbus would
// otherwise try to start a bus of its own ("autolaunch"), which a program
// reporting its progress has no business doing.
QString SessionBusAddress()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty())
        return address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus")))
        return QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus");
    return {};
}

} // namespace

TaskbarProgress::TaskbarProgress(QString desktopFileId)
    : m_appUri(QStringLiteral("application://") + desktopFileId)
{
}

void TaskbarProgress::SetState(State state)
{
    QVariantMap properties;
    properties.insert(QStringLiteral("progress-visible"), state == State::Indeterminate);
    if (state == State::Indeterminate)
        properties.insert(QStringLiteral("progress"), 0.0);
    Send(properties);
}

void TaskbarProgress::SetFinishedMark(bool shown)
{
    QVariantMap properties;
    properties.insert(QStringLiteral("urgent"), shown);
    Send(properties);
}

void TaskbarProgress::Send(const QVariantMap& properties)
{
    m_lastSent = false;
    const QString address = SessionBusAddress();
    if (address.isEmpty())
        return;
    // One connection per bus address, kept by Qt under that name.
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("tandrel-launcher-") + address);
    if (!bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                     QString::fromLatin1(kInterface), QStringLiteral("Update"));
    signal << m_appUri << properties;
    m_lastSent = bus.send(signal);
}

} // namespace tandrel::desktop
