#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "chat/connection.h"
#include "protocol/codec.h"
#include "support/fakesink.h"
#include "support/faketransport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace hchat;

namespace {

// Entries "T<n>:" for every number the connection shows; 456 is a time format.
Catalogue makeCatalogue()
{
    QStringList lines;
    for (int n = 0; n < 600; ++n)
        lines << (n == 456 ? QStringLiteral("456,hh:nn:ss") : QStringLiteral("%1,T%1:").arg(n));
    return Catalogue(lines);
}

QByteArray ack(int k, const QByteArray &records = {}, int q = 0)
{
    return "<R>0</R><K>" + QByteArray::number(k) + "</K><Q>" + QByteArray::number(q) + "</Q><L>tk</L>\n" +
           records;
}

// The records of a poll datagram (or of the outbox), header and record
// numbers taken off.
QStringList recordsOf(const QByteArray &datagram)
{
    const qsizetype header = datagram.lastIndexOf("<R>0</R>");
    const QByteArray body = header < 0 ? datagram : datagram.left(header);
    QStringList out;
    for (const QString &r : QString::fromUtf8(body).split(u'\n', Qt::SkipEmptyParts))
        out << KillS(r, "O");
    return out;
}

QStringList kindsOf(const QStringList &records)
{
    QStringList kinds;
    for (const QString &r : records)
        kinds << GetS(r, "R");
    return kinds;
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

    Catalogue catalogue = makeCatalogue();
    hchat::test::FakeSink sink;
    FakeTransport transport;
    std::unique_ptr<ChatSession> session;

    Connection &conn() { return session->connection(); }
    int k() { return conn().link().sequence(); }

private slots:
    void init()
    {
        sink.clear();
        transport = FakeTransport();
        session = std::make_unique<ChatSession>();
        session->setCatalogue(&catalogue);
        session->setSink(&sink);
        session->setClock([] { return QDateTime(QDate(2024, 5, 6), QTime(13, 4, 5)); });
        session->set(&ChatSettings::nick, "Me");
        session->set(&ChatSettings::room, 2);
        session->set(&ChatSettings::pageSound, "/media/Notify.wav");
    }
    void cleanup() { session.reset(); }

    void memberIdMadeOnceAndKept()
    {
        conn().open(&transport);
        const QString prefix = session->settings().memberId;
        QCOMPARE(prefix.size(), 8);
        QVERIFY(Connection::isUsablePrefix(prefix));
        QCOMPARE(session->ownId().size(), 9);
        QVERIFY(session->ownId().startsWith(prefix));

        ChatSession next;
        next.set(&ChatSettings::memberId, prefix);
        next.connection().open(&transport);
        QCOMPARE(next.settings().memberId, prefix);

        ChatSession broken;
        broken.set(&ChatSettings::memberId, "<E>bad</E>");
        broken.connection().open(&transport);
        QVERIFY(Connection::isUsablePrefix(broken.settings().memberId));
    }

    void runCharacterNeverBreaksTags()
    {
        QRandomGenerator random(42);
        QSet<QChar> seen;
        for (int i = 0; i < 20000; ++i) {
            const QChar c = Connection::makeRunCharacter(random);
            QVERIFY(c.unicode() >= 33 && c.unicode() <= 125);
            QVERIFY(c != u'<' && c != u'>');
            seen.insert(c);
        }
        QCOMPARE(seen.size(), 93 - 2);
    }

    void firstTickAnnounces()
    {
        session->set(&ChatSettings::url, "http://me.example/");
        session->set(&ChatSettings::profile, "Line one\r\nline two");
        conn().open(&transport);
        session->tick();
        // No welcome before the server has answered: where we try to connect.
        QCOMPARE(sink.notices(), QStringList{"Connecting to 127.0.0.1:5500…"});
        QCOMPARE(transport.sent.size(), 1);
        const QStringList records = recordsOf(transport.last());
        // Presence (second room in W), the rooms handling's entry request, the
        // room list, the away text.
        QCOMPARE(kindsOf(records), QStringList({"5", "25", "12", "6"}));
        QCOMPARE(records[0],
                 "<R>5</R><E>" + session->ownId() + "</E><N>Me</N><I>0|0</I><#>2</#><W>-1</W><T>1400</T>");
        QCOMPARE(records[1], QString("<R>25</R><#>2</#>"));
        QCOMPARE(records[3], QString("<R>6</R><U>http://me.example/</U><M>Line one||line two</M>"));
        QCOMPARE(session->quietPeriod(), 11); // 12, less this tick
        QCOMPARE(session->roomHandling().holdOffLeft(), 11);
        // The server's first records: now we are there, welcomed once.
        transport.deliver(ack(k(), "<R>5</R><N>Me</N><E>" + session->ownId().toUtf8() + "</E><#>2</#>\n"));
        transport.deliver(ack(k(), "<R>1</R><M>hello</M>\n"));
        QCOMPARE(sink.notices().mid(1), QStringList{"T568:Me"});
        // Later ticks do not announce again.
        for (int i = 0; i < 8; ++i)
            session->tick();
        QCOMPARE(transport.sent.size(), 2);
        QVERIFY(recordsOf(transport.last()).isEmpty());
    }

    void presence_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("fields");
        QTest::newRow("5") << 5 << "<N>Me</N><I>7|3</I><#>2</#><W>4</W><T>1400</T>";
        QTest::newRow("50") << 50 << "<N>Me</N><I>7|3</I><#>2</#><W>-1</W><T>1400</T>";
        QTest::newRow("51") << 51 << "<N>Me</N><I>7|3</I><#>-1</#><W>-1</W><T>1400</T>";
    }
    void presence()
    {
        QFETCH(int, kind);
        QFETCH(QString, fields);
        session->set(&ChatSettings::showSecond, true);
        session->set(&ChatSettings::room2, 4);
        session->setIcon(7);
        session->setAway(3);
        conn().open(&transport);
        session->Send(kind);
        QCOMPARE(recordsOf(conn().link().outbox()),
                 QStringList{"<R>5</R><E>" + session->ownId() + "</E>" + fields});
        QCOMPARE(conn().link().pollCountdown(), 1);
    }

    void longNickHeldTo20()
    {
        session->set(&ChatSettings::nick, QString(30, u'n'));
        conn().open(&transport);
        QCOMPARE(GetS(conn().presence(5), "N").size(), 20);
        session->editSettings([](ChatSettings &s) { s.nick = QString(30, u'm'); });
        QCOMPARE(session->settings().nick, QString(20, u'm')); // an edit keeps the nick rule too
    }

    void emptyNickSendsNothing()
    {
        session->set(&ChatSettings::nick, QString());
        conn().open(&transport);
        for (int i = 0; i < 200; ++i)
            session->tick();
        session->Send(1, "<M>x</M>");
        session->Send(0);
        QVERIFY(transport.sent.isEmpty());
        QVERIFY(sink.notices().isEmpty());
        // Once a nick is set the first tick announces.
        session->set(&ChatSettings::nick, "Late");
        session->tick();
        QCOMPARE(sink.notices().value(0), QString("Connecting to 127.0.0.1:5500…"));
        QCOMPARE(transport.sent.size(), 1);
    }

    void sessionSendGoesToLink()
    {
        conn().open(&transport);
        session->Send(1, "<M>hello</M>");
        QCOMPARE(recordsOf(conn().link().outbox()), QStringList{"<R>1</R><M>hello</M>"});
    }

    void kindTenQueuesPresenceRoomAndAwayText()
    {
        session->set(&ChatSettings::profile, "gone fishing");
        conn().open(&transport);
        session->tick();
        transport.deliver(ack(k()));
        conn().link().Send(0);
        transport.deliver(ack(10));
        const QStringList records = recordsOf(conn().link().outbox());
        QCOMPARE(kindsOf(records), QStringList({"5", "25", "12", "6"}));
        QCOMPARE(records[1], QString("<R>25</R><#>2</#>"));
        QCOMPARE(records[3], QString("<R>6</R><M>gone fishing</M>"));
        QCOMPARE(session->quietPeriod(), 12);
    }

    void refusedIdComesBackAsAnotherConnection()
    {
        conn().open(&transport);
        session->tick();
        const QString id = session->ownId();
        transport.deliver(ack(10)); // the answer to our announcement
        QVERIFY(session->ownId() != id && session->ownId().startsWith(session->settings().memberId));
        QVERIFY(sink.notices().last().endsWith(session->ownId() + '.'));
        QVERIFY(recordsOf(conn().link().outbox()).first().contains(session->ownId()));
    }

    void roomsHandlingAnnouncesWhenWired()
    {
        int announced = 0;
        conn().announceRooms = [&] {
            ++announced;
            session->Send(50);
            session->Send(25, "<#>2</#><B>pw</B>");
        };
        conn().open(&transport);
        session->tick();
        QCOMPARE(announced, 1);
        QCOMPARE(kindsOf(recordsOf(transport.last())), QStringList({"5", "25"}));
        transport.deliver(ack(k()));
        conn().link().Send(0);
        transport.deliver(ack(10));
        QCOMPARE(announced, 2);
    }

    void kindTenWithoutAwayText()
    {
        conn().open(&transport);
        conn().link().Send(0);
        transport.deliver(ack(10));
        const QStringList records = recordsOf(conn().link().outbox());
        QCOMPARE(kindsOf(records), QStringList({"5", "25", "12"}));
    }

    void silenceNoticesAndReturn()
    {
        conn().open(&transport);
        session->tick();
        transport.deliver(ack(k(), "<R>1</R><M>here</M>\n"));
        session->Send(1, "<M>waiting</M>");
        sink.clear();
        for (int i = 0; i < 60; ++i) // 60 silent ticks since the last record
            session->tick();
        QVERIFY2(sink.notices().isEmpty(), qPrintable(sink.notices().join('|')));
        session->tick();
        QCOMPARE(sink.notices(), QStringList{"T559:13:04:05T558:"});
        QVERIFY(conn().isLost());
        QCOMPARE(conn().link().token(), QString("10"));
        QCOMPARE(recordsOf(conn().link().outbox()).last(), QString("<R>1</R><M>waiting</M>")); // kept
        transport.deliver(ack(k(), "<R>77</R><M>x</M>\n"));
        QCOMPARE(sink.notices().value(1), QString("T515:13:04:05"));
        QCOMPARE(sink.notices().size(), 2);
        QVERIFY(!conn().isLost());
        QCOMPARE(session->quietPeriod(), 12);
    }

    void kind18ReplacesBufferAndResendsPresence()
    {
        conn().open(&transport);
        conn().link().Send(0);
        transport.deliver(ack(0, "<R>18</R><T>2800</T>\n"));
        QCOMPARE(session->settings().buffer, 2800);
        QCOMPARE(sink.notices(), QStringList{"T525:2800"});
        const QString out = QString::fromUtf8(conn().link().outbox());
        QVERIFY(out.startsWith("<R>5</R>"));
        QVERIFY(out.contains("<T>2800</T>"));
        conn().link().Send(0);
        transport.deliver(ack(k(), "<R>18</R><T>x</T>\n"));
        QCOMPARE(session->settings().buffer, 2800);
    }

    void pageShowsNoticeAndPlaysSound()
    {
        conn().open(&transport);
        conn().link().Send(0);
        transport.deliver(ack(0, "<R>4</R><N>Ann</N><E>abcdefgh!</E>\n"));
        QCOMPARE(sink.notices(), QStringList{"AnnT527:Me"});
        QCOMPARE(sink.texts("Notify"), QStringList{"/media/Notify.wav"});
    }

    void repeatWarningShowsCounterAndRecord()
    {
        conn().open(&transport);
        conn().link().Send(0);
        transport.deliver(ack(0, {}, 2));
        conn().link().Send(0);
        transport.deliver(ack(0, {}, 2));
        QCOMPARE(sink.notices(), QStringList{"T522:1: <R>0</R><K>0</K><Q>2</Q><L>tk</L>"});
    }

    void endpointChoice()
    {
        session->editSettings([](ChatSettings &s) { s.serverKeys[1] = "old"; });
        session->setServer(1, "10.0.0.1:6000");
        QVERIFY(session->settings().serverKeys[1].isEmpty()); // the old address's key stays behind
        session->setServer(2, "not a server");
        conn().open(&transport);
        QCOMPARE(transport.host, QString("127.0.0.1"));
        QCOMPARE(transport.port, quint16(5500));
        session->tick();
        transport.deliver(ack(k()));
        transport.take();

        conn().selectServer(1);
        QCOMPARE(session->settings().serverChoice, 1);
        QCOMPARE(transport.sent.size(), 1); // leave and poll, to the old server
        QCOMPARE(transport.sentTo.first(), QString("127.0.0.1:5500"));
        QCOMPARE(recordsOf(transport.sent.first()).value(0),
                 "<R>5</R><E>" + session->ownId() + "</E><N>Me</N><I>0|0</I><#>-1</#><W>-1</W><T>1400</T>");
        QCOMPARE(transport.host + ":" + QString::number(transport.port), QString("10.0.0.1:6000"));
        QVERIFY(conn().link().outbox().isEmpty());
        // The new server hears from us at once: presence first.
        session->tick();
        QCOMPARE(transport.sentTo.value(1), QString("10.0.0.1:6000"));
        QCOMPARE(kindsOf(recordsOf(transport.last())), QStringList({"5", "25", "12"}));
        QCOMPARE(recordsOf(transport.last()).first(),
                 "<R>5</R><E>" + session->ownId() + "</E><N>Me</N><I>0|0</I><#>2</#><W>-1</W><T>1400</T>");

        // The same endpoint again changes nothing.
        const int changes = transport.endpointChanges;
        conn().selectServer(1);
        QCOMPARE(transport.endpointChanges, changes);

        // An unreadable address falls back to the default server.
        conn().selectServer(2);
        QCOMPARE(conn().endpoint().toString(), QString("127.0.0.1:5500"));
    }

    void serverOverrideWins()
    {
        QVERIFY(!conn().setServerOverride("host:notaport"));
        QVERIFY(conn().setServerOverride("chat.example:7000"));
        session->setServer(1, "10.0.0.1:6000");
        conn().open(&transport);
        QCOMPARE(transport.host, QString("chat.example"));
        QCOMPARE(transport.port, quint16(7000));
        conn().selectServer(1);
        QCOMPARE(transport.host, QString("chat.example"));
        QCOMPARE(session->settings().serverChoice, 1); // saved for the next run
    }

    void closeLeavesAndStops()
    {
        conn().open(&transport);
        session->tick();
        transport.take();
        conn().close();
        QCOMPARE(transport.sent.size(), 1);
        QVERIFY(transport.sent.first().contains("<#>-1</#><W>-1</W>"));
        for (int i = 0; i < 20; ++i)
            session->tick();
        session->Send(1, "<M>after</M>");
        QCOMPARE(transport.sent.size(), 1);
        transport.deliver(ack(0, "<R>1</R><M>late</M>\n")); // nobody listens any more
    }

    void reinitialiseAnnouncesAgain()
    {
        conn().open(&transport);
        session->tick();
        transport.deliver(ack(k(), "<R>1</R><M>here</M>\n"));
        session->set(&ChatSettings::nick, "Other");
        conn().reinitialise();
        session->tick();
        QCOMPARE(sink.notices().mid(1), (QStringList{"T568:Me", "T568:Other"}));
    }

    void neverConnectedIsNotRestored()
    {
        // Nobody answers until the link is marked lost; the first answer is
        // a welcome, not a return.
        conn().open(&transport);
        for (int i = 0; i < 61; ++i)
            session->tick();
        QVERIFY(conn().isLost());
        QCOMPARE(conn().state(), LinkStatus::State::ConnectingLong);
        transport.deliver(ack(k(), "<R>1</R><M>at last</M>\n"));
        QCOMPARE(
            sink.notices(),
            (QStringList{"Connecting to 127.0.0.1:5500…",
                         "Still connecting to 127.0.0.1:5500… " + LinkStatus::connectingHint(), "T568:Me"}));
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
