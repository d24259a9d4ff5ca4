#include "platform/desktopnotifier.h"
#include "support/notificationservice.h"

#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using namespace hchat::test;

class TstDesktopNotifier : public QObject
{
    Q_OBJECT
    PrivateSessionBus m_bus; // before anything here looks for the session bus

private slots:
    void initTestCase()
    {
        if (!m_bus.isRunning())
            QSKIP("dbus-daemon is not installed");
    }

    void goesOverTheBusAndComesBackWhenClicked()
    {
        NotificationStandIn desktop;
        QVERIFY(desktop.start(m_bus.address));
        DesktopNotifier notifier;
        QSignalSpy clicked(&notifier, &DesktopNotifier::clicked);
        QSignalSpy failed(&notifier, &DesktopNotifier::failed);

        notifier.notify("pm:Fay", "Private message from Fay", "Fay: psst");
        QTRY_COMPARE(desktop.shown.size(), 1);
        const auto first = desktop.shown.at(0);
        QCOMPARE(first.app, QStringLiteral("Halvex Chat"));
        QCOMPARE(first.summary, QStringLiteral("Private message from Fay"));
        QCOMPARE(first.body, QStringLiteral("Fay: psst"));
        QCOMPARE(first.replaces, 0u);
        QVERIFY(first.actions.contains("default")); // a click on it is reported
        QCOMPARE(first.hints.value("desktop-entry").toString(), QStringLiteral("com.halvex.chat"));

        // A newer one about the same replaces it; another one stands beside it.
        QTRY_VERIFY(notifier.isShowing("pm:Fay")); // the service answered with its number
        notifier.notify("pm:Fay", "Private message from Fay", "Fay: are you there?");
        notifier.notify("page", "Eve pages you", "");
        QTRY_COMPARE(desktop.shown.size(), 3);
        QCOMPARE(desktop.shown.at(1).replaces, first.id);
        QCOMPARE(desktop.shown.at(2).replaces, 0u);

        QTRY_VERIFY(notifier.isShowing("page"));
        desktop.click(999); // somebody else's: nothing to do with us
        desktop.click(desktop.shown.at(2).id);
        QTRY_COMPARE(clicked.size(), 1);
        QCOMPARE(clicked.at(0).at(0).toString(), QStringLiteral("page"));
        desktop.click(first.id);
        QTRY_COMPARE(clicked.size(), 2);
        QCOMPARE(clicked.at(1).at(0).toString(), QStringLiteral("pm:Fay"));
        QCOMPARE(failed.size(), 0);

        // Without the service the text comes back, for the tray to show.
        desktop.stop();
        notifier.notify("page", "Eve pages you", "again");
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Eve pages you"));
    }
};

QTEST_MAIN(TstDesktopNotifier)
#include "tst_desktopnotifier.moc"
