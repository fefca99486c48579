#include "desktop/TaskbarProgress.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace tandrel::desktop {
namespace {

// Collects the launcher-entry signals that reach a bus.
class LauncherListener : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> received;

public slots:
    void OnUpdate(const QDBusMessage& message) { received.append(message); }
};

// A private session bus for the length of a test, and the environment
// pointing at it. The daemon is stopped by its own process id.
class PrivateBus {
public:
    PrivateBus() : m_oldAddress(qgetenv("DBUS_SESSION_BUS_ADDRESS"))
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--print-address=1"), QStringLiteral("--nofork")});
        if (!m_daemon.waitForStarted(5000))
            return;
        while (m_address.isEmpty() && m_daemon.waitForReadyRead(5000))
            m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (!m_address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }
    ~PrivateBus()
    {
        if (m_oldAddress.isNull())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_oldAddress);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    const QString& Address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
    QByteArray m_oldAddress;
};

TEST(TaskbarProgressTest, SendsLauncherEntryUpdatesOnTheSessionBus)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty()) << "dbus-daemon did not start";

    QDBusConnection listenerBus = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("test-listener"));
    ASSERT_TRUE(listenerBus.isConnected());
    LauncherListener listener;
    ASSERT_TRUE(listenerBus.connect(QString(), QString::fromLatin1(TaskbarProgress::kObjectPath),
                                    QString::fromLatin1(TaskbarProgress::kInterface), QStringLiteral("Update"),
                                    &listener, SLOT(OnUpdate(QDBusMessage))));

    TaskbarProgress progress;
    progress.SetState(TaskbarProgress::State::Indeterminate);
    EXPECT_TRUE(progress.LastSent());
    QTRY_COMPARE_WITH_TIMEOUT(listener.received.size(), 1, 5000);
    QList<QVariant> args = listener.received[0].arguments();
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args[0].toString(), QStringLiteral("application://com.orvessa.Tandrel.desktop"));
    QVariantMap properties = qdbus_cast<QVariantMap>(args[1]);
    EXPECT_TRUE(properties.value(QStringLiteral("progress-visible")).toBool());
    EXPECT_TRUE(properties.contains(QStringLiteral("progress")));

    progress.SetState(TaskbarProgress::State::None);
    progress.SetFinishedMark(true);
    QTRY_COMPARE_WITH_TIMEOUT(listener.received.size(), 3, 5000);
    properties = qdbus_cast<QVariantMap>(listener.received[1].arguments()[1]);
    EXPECT_FALSE(properties.value(QStringLiteral("progress-visible"), true).toBool());
    properties = qdbus_cast<QVariantMap>(listener.received[2].arguments()[1]);
    EXPECT_TRUE(properties.value(QStringLiteral("urgent")).toBool());

    QDBusConnection::disconnectFromBus(QStringLiteral("test-listener"));
}

TEST(TaskbarProgressTest, WithoutASessionBusNothingIsSent)
{
    const QByteArray oldAddress = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", "/nonexistent-runtime-dir");

    TaskbarProgress progress;
    progress.SetState(TaskbarProgress::State::Indeterminate);
    EXPECT_FALSE(progress.LastSent());
    progress.SetFinishedMark(true);
    EXPECT_FALSE(progress.LastSent());

    if (!oldAddress.isNull())
        qputenv("DBUS_SESSION_BUS_ADDRESS", oldAddress);
    if (oldRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

} // namespace
} // namespace tandrel::desktop

#include "TaskbarProgressTest.moc"
