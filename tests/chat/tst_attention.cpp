#include "chat/attention.h"
#include "chat/chatsettings.h"

#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using Event = Attention::Event;

namespace {
ShownLine chat(const QString &text, bool keyword = false, bool nick = false)
{
    ShownLine l;
    l.text = text;
    l.chatLine = true;
    l.keyword = keyword;
    l.nick = nick;
    return l;
}
} // namespace

class TstAttention : public QObject
{
    Q_OBJECT
private slots:
    void countsWhatArrivesWhileAway()
    {
        ChatSettings s;
        Attention a(s);
        QSignalSpy counts(&a, &Attention::unreadChanged);
        a.lineShown(chat("Bob:  hi"));
        QCOMPARE(a.unread(), 0); // the window is active: read as it arrives

        a.setActive(false);
        a.lineShown(chat("Bob:  one"));
        ShownLine own = chat("Me:  mine");
        own.own = true;
        a.lineShown(own);
        ShownLine notice;
        notice.text = "Carol has arrived";
        notice.notice = true;
        a.lineShown(notice);
        ShownLine second = chat("Dan:  in the other room");
        second.second = true;
        a.lineShown(second);
        a.paged("Eve");
        a.privateMessage("Fay", "ABCDEFGH!", "Fay: psst");
        QCOMPARE(a.unread(), 4); // not our own line, not the notice
        QCOMPARE(Attention::title(a.unread()), QStringLiteral("(4) Halvex Chat"));

        a.setActive(true);
        QCOMPARE(a.unread(), 0);
        QCOMPARE(Attention::title(0), QStringLiteral("Halvex Chat"));
        QCOMPARE(counts.last().first().toInt(), 0);
    }

    void alertsOnlyWhileAwayAndSwitchedOn_data()
    {
        QTest::addColumn<int>("event");
        QTest::newRow("page") << int(Event::Page);
        QTest::newRow("private message") << int(Event::PrivateMessage);
        QTest::newRow("keyword") << int(Event::Keyword);
        QTest::newRow("nick") << int(Event::Nick);
    }
    void alertsOnlyWhileAwayAndSwitchedOn()
    {
        QFETCH(int, event);
        const Event e = Event(event);
        ChatSettings s;
        s.room = 7;
        Attention a(s);
        QSignalSpy alerts(&a, &Attention::alerted);
        auto happen = [&] {
            switch (e) {
            case Event::Page:
                a.paged("Eve");
                break;
            case Event::PrivateMessage:
                a.privateMessage("Fay", "ABCDEFGH!", "Fay: psst");
                break;
            case Event::Keyword:
                a.lineShown(chat("Bob:  about the invoice", true));
                break;
            case Event::Nick:
                a.lineShown(chat("Bob:  Me, look", false, true));
                break;
            }
        };
        happen();
        QCOMPARE(alerts.count(), 0); // active

        a.setActive(false);
        happen();
        QCOMPARE(alerts.count(), 1);
        const auto alert = alerts.takeFirst().first().value<Attention::Alert>();
        QCOMPARE(int(alert.event), event);
        QVERIFY(!alert.summary.isEmpty());
        if (e == Event::PrivateMessage) {
            QCOMPARE(alert.nick, QStringLiteral("Fay"));
            QCOMPARE(alert.body, QStringLiteral("Fay: psst"));
        }
        if (e == Event::Keyword || e == Event::Nick)
            QVERIFY(alert.summary.contains("room 7"));

        bool *flags[] = {&s.notifyPage, &s.notifyPM, &s.notifyKeyword, &s.notifyNick};
        *flags[event] = false;
        happen();
        QCOMPARE(alerts.count(), 0);
        QVERIFY(a.unread() >= 2); // switched off, the count goes on
    }

    void aLineWithBothRaisesOneAlert()
    {
        ChatSettings s;
        Attention a(s);
        a.setActive(false);
        QSignalSpy alerts(&a, &Attention::alerted);
        a.lineShown(chat("Bob:  Me, the invoice", true, true));
        QCOMPARE(alerts.count(), 1);
        QCOMPARE(alerts.takeFirst().first().value<Attention::Alert>().event, Event::Nick);
        s.notifyNick = false;
        a.lineShown(chat("Bob:  Me, the invoice", true, true));
        QCOMPARE(alerts.takeFirst().first().value<Attention::Alert>().event, Event::Keyword);
    }

    void theOpenConversationIsBeingRead()
    {
        ChatSettings s;
        Attention a(s);
        a.setActive(false);
        a.conversationActive = [](const QString &nick, const QString &) { return nick == "Fay"; };
        QSignalSpy alerts(&a, &Attention::alerted);
        a.privateMessage("Fay", "ABCDEFGH!", "Fay: psst");
        QCOMPARE(alerts.count(), 0);
        QCOMPARE(a.unread(), 0);
        a.privateMessage("Gus", "HGFEDCBA!", "Gus: hey");
        QCOMPARE(alerts.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TstAttention)
#include "tst_attention.moc"
