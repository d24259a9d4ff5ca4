// Waking from sleep announces the chat again: the login manager's signal,
// sent over a bus of the test's own standing in for the system bus.
#include "platform/networkwatcher.h"
#include "support/notificationservice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using namespace hchat::test;

class TstNetworkWatcher : public QObject
{
    Q_OBJECT
    PrivateSessionBus m_bus; // before anything here looks for a bus

private slots:
    void initTestCase()
    {
        if (!m_bus.isRunning())
            QSKIP("dbus-daemon is not installed");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address.toUtf8());
    }

    void wakingUpIsAChange()
    {
        QDBusConnection login = QDBusConnection::connectToBus(m_bus.address, QStringLiteral("login1"));
        QVERIFY(login.registerService(QStringLiteral("org.freedesktop.login1")));
        NetworkWatcher watcher;
        QSignalSpy changed(&watcher, &NetworkWatcher::networkChanged);
        const auto sleep = [&](bool goingToSleep) {
            QDBusMessage m = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                        QStringLiteral("org.freedesktop.login1.Manager"),
                                                        QStringLiteral("PrepareForSleep"));
            m << goingToSleep;
            QVERIFY(login.send(m));
        };
        sleep(false);
        QTRY_COMPARE(changed.size(), 1);
        // Going to sleep is not worth a poll (asked directly: signals over
        // the bus give no moment at which one can tell none is coming).
        QVERIFY(QMetaObject::invokeMethod(&watcher, "sleepChanged", Q_ARG(bool, true)));
        QCOMPARE(changed.size(), 1);
        QVERIFY(QMetaObject::invokeMethod(&watcher, "sleepChanged", Q_ARG(bool, false)));
        QCOMPARE(changed.size(), 2);
        QDBusConnection::disconnectFromBus(QStringLiteral("login1"));
    }
};

QTEST_MAIN(TstNetworkWatcher)
#include "tst_networkwatcher.moc"
