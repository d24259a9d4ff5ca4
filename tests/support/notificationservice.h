#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QVariantMap>

namespace hchat::test {

/// A session bus of the test's own: Debian's dbus-daemon, started for the
/// test and ended with it. Start it before anything in the process uses the
/// session bus, which then is this one.
class PrivateSessionBus
{
public:
    PrivateSessionBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        m_process.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address=1")});
        if (!m_process.waitForStarted(5000) || !m_process.waitForReadyRead(5000))
            return;
        address = QString::fromUtf8(m_process.readLine()).trimmed();
        if (!address.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    ~PrivateSessionBus()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool isRunning() const { return !address.isEmpty(); }

    QString address;

private:
    QProcess m_process;
};

/// The desktop's notification service, as far as the tests need it: it
/// records every notification it is asked to show and can play the user
/// clicking one. It talks on a connection of its own, so what the program
/// sends really travels over the bus.
class NotificationStandIn : public QDBusVirtualObject
{
public:
    struct Shown {
        uint id = 0;
        QString app;
        uint replaces = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    static QString service() { return QStringLiteral("org.freedesktop.Notifications"); }
    static QString path() { return QStringLiteral("/org/freedesktop/Notifications"); }

    /// Registers the service on the bus at `address`; false when it can't.
    bool start(const QString &address)
    {
        m_bus = QDBusConnection::connectToBus(address, QStringLiteral("notification-stand-in"));
        return m_bus.isConnected() && m_bus.registerVirtualObject(path(), this) &&
               m_bus.registerService(service());
    }
    ~NotificationStandIn() override
    {
        if (m_bus.isConnected()) {
            m_bus.unregisterService(service());
            m_bus.unregisterObject(path());
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("notification-stand-in"));
    }
    /// Leaves the bus: the desktop has no notification service now.
    void stop() { m_bus.unregisterService(service()); }

    /// The user clicks notification `id`.
    void click(uint id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path(), service(), QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        m_bus.send(signal);
    }

    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() != QLatin1String("Notify") || message.arguments().size() != 8)
            return false;
        const QVariantList a = message.arguments();
        Shown s;
        s.app = a[0].toString();
        s.replaces = a[1].toUInt();
        s.icon = a[2].toString();
        s.summary = a[3].toString();
        s.body = a[4].toString();
        s.actions = a[5].toStringList();
        s.hints = qdbus_cast<QVariantMap>(a[6]);
        s.id = s.replaces != 0 ? s.replaces : ++m_lastId;
        shown.append(s);
        connection.send(message.createReply(QVariant::fromValue(s.id)));
        return true;
    }

    QList<Shown> shown;

private:
    QDBusConnection m_bus{QString()};
    uint m_lastId = 40;
};

} // namespace hchat::test
