// The server's link discipline: sessions, tokens, acknowledgements, resent
// outboxes, amplification, hostile input, throttling and idle expiry.
#include "protocol/codec.h"
#include "server/chatserver.h"
#include "server/pollclient.h"

#include <QRandomGenerator>
#include <QTest>

using namespace hchat;

class TestChatServer : public QObject
{
    Q_OBJECT

    qint64 now = 1000;
    RoomStore rooms;
    std::unique_ptr<ChatServer> server;
    QStringList lines; // chat lines the server accepted, "nick|room|text"

    void join(PollClient &c, const QString &nick, const QString &id, int room, int watch = -1)
    {
        c.presence(nick, id, room, watch);
        c.poll();
        c.drain();
    }

private slots:
    void init()
    {
        now = 1000;
        rooms = RoomStore();
        rooms.load();
        server = std::make_unique<ChatServer>(&rooms);
        server->setWallClock([] { return QDateTime(QDate(2026, 1, 15), QTime(19, 0, 5), Qt::UTC); });
        lines.clear();
        server->chatLineObserver = [this](const QString &n, int r, const QString &t) {
            lines << QStringLiteral("%1|%2|%3").arg(n).arg(r).arg(t);
        };
    }

    void firstPollGetsTokenAndRosterWaitsForIt()
    {
        PollClient a(server.get(), 4000, &now);
        a.presence("Ann", "AAAAAAAA!", 1);
        const QByteArray request = a.datagram();
        const QByteArray reply = server->handleDatagram(a.peer, request, now);
        a.receive(reply);
        QCOMPARE(server->sessionCount(), 1);
        QCOMPARE(a.lastAckK, a.k);
        QCOMPARE(a.token.size(), 4);
        QVERIFY(a.outbox.isEmpty());
        QVERIFY(reply.size() <= request.size());
        QVERIFY(a.received.isEmpty()); // room records wait for the token to come back
        QVERIFY(a.lastQ > 0);
        a.poll();
        QVERIFY(!a.take(7).isEmpty());
    }

    void emptyPollWithoutTokenOpensNothing()
    {
        const QByteArray request = "<R>0</R><K>0</K>\r\n";
        const QByteArray reply = server->handleDatagram(Endpoint::ipv4(0x7f000001, 4001), request, now);
        QCOMPARE(reply, QByteArray("<R>0</R><K>0</K>\n"));
        QCOMPARE(server->sessionCount(), 0);
    }

    void unknownTokens_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("sessions");
        QTest::newRow("unknown") << QByteArray("<R>0</R><K>3</K><L>zzzz</L>\r\n")
                                 << QByteArray("<R>0</R><K>10</K>\n") << 0;
        QTest::newRow("lost-link marker")
            << QByteArray("<R>1</R><#>1</#><M>x</M>\n<R>0</R><K>4</K><L>10</L>\r\n")
            << QByteArray("<R>0</R><K>10</K>\n") << 0;
        QTest::newRow("too long") << QByteArray("<R>0</R><K>3</K><L>abcdefgh</L>\r\n")
                                  << QByteArray("<R>0</R><K>10</K>\n") << 0;
        QTest::newRow("re-announce") << QByteArray("<R>5</R><E>BBBBBBBB#</E><N>Bob</N><I>1|0</I><#>1</"
                                                   "#><W>-1</W>\n<R>0</R><K>5</K><L>zzzz</L>\r\n")
                                     << QByteArray() << 1;
    }
    void unknownTokens()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, reply);
        QFETCH(int, sessions);
        const QByteArray got = server->handleDatagram(Endpoint::ipv4(0x7f000001, 4002), datagram, now);
        if (!reply.isEmpty())
            QCOMPARE(got, reply);
        else
            QVERIFY(got.startsWith("<R>0</R><K>5</K>") && got.contains("<L>"));
        QCOMPARE(server->sessionCount(), sessions);
    }

    void tokenIsBoundToItsAddress()
    {
        PollClient a(server.get(), 4003, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        PollClient thief(server.get(), 4999, &now);
        thief.token = a.token;
        QCOMPARE(server->handleDatagram(thief.peer, thief.datagram(), now),
                 QByteArray("<R>0</R><K>10</K>\n"));
    }

    void lineReachesRoomOnceWithServerFields()
    {
        PollClient a(server.get(), 4010, &now), b(server.get(), 4011, &now), w(server.get(), 4012, &now),
            other(server.get(), 4013, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        join(w, "Wes", "WWWWWWWW$", 2, 1); // watches room 1
        join(other, "Olga", "OOOOOOOO%", 3);
        b.received.clear();
        w.received.clear();
        a.say(1, "hello||there", 4227327);
        const QByteArray request = a.datagram();
        a.receive(server->handleDatagram(a.peer, request, now));
        // The acknowledgement is lost: the same outbox comes again under the same K.
        server->handleDatagram(a.peer, request, now);
        b.poll();
        w.poll();
        other.poll();
        a.poll();
        const QStringList got = b.take(1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(
            got.first(),
            QStringLiteral(
                "<R>1</R><F>4227327</F><E>AAAAAAAA!</E><#>1</#><Z>12:00:05</Z><M>Ann:  hello||there</M>"));
        QCOMPARE(w.take(1), got);
        QVERIFY(other.take(1).isEmpty());
        QVERIFY(a.take(1).isEmpty()); // never echoed to the sender
        QCOMPARE(lines.size(), 1);
        QCOMPARE(server->stats().retransmissions, 1u);
    }

    void resentOutboxUnderNewKIsNotProcessedTwice()
    {
        PollClient a(server.get(), 4020, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        a.say(1, "one");
        server->handleDatagram(a.peer, a.datagram(), now); // reply lost
        a.say(1, "two");                                   // outbox grows: new K, carries "one" again
        a.poll();
        a.say(1, "two"); // the same line typed again is a new line
        a.poll();
        QCOMPARE(lines, (QStringList{"Ann|1|one", "Ann|1|two", "Ann|1|two"}));
        QCOMPARE(server->stats().resentSkipped, 1u);
    }

    void repeatedFirstPollOpensOneSession()
    {
        PollClient a(server.get(), 4030, &now);
        a.presence("Ann", "AAAAAAAA!", 1);
        a.say(1, "hi");
        const QByteArray request = a.datagram();
        server->handleDatagram(a.peer, request, now);
        server->handleDatagram(a.peer, request, now);
        QCOMPARE(server->sessionCount(), 1);
        QCOMPARE(lines.size(), 1);
    }

    void clientsBehindOneAddressGetTheirOwnSessions()
    {
        PollClient a(server.get(), 4035, &now), b(server.get(), 4035, &now);
        a.presence("Ann", "AAAAAAAA!", 1);
        b.presence("Bob", "BBBBBBBB#", 1);
        a.poll();
        b.poll();
        QCOMPARE(server->sessionCount(), 2);
        QVERIFY(a.token != b.token);
    }

    void repliesStayWithinLimitAndKeepOrder()
    {
        PollClient a(server.get(), 4040, &now), b(server.get(), 4041, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        for (int i = 0; i < 60; ++i) {
            now += 100; // below the line rate
            a.say(1, QStringLiteral("%1 ").arg(i) + QString(300, u'x'));
            a.poll();
        }
        int polls = 0;
        do {
            b.poll();
            ++polls;
            QVERIFY(b.lastReply.size() <= 8192);
        } while (b.lastQ > 0 && polls < 20);
        QVERIFY(polls >= 3);
        const QStringList got = b.take(1);
        QCOMPARE(got.size(), 60);
        for (int i = 0; i < 60; ++i)
            QVERIFY(GetS(got[i], "M").startsWith(QStringLiteral("Ann:  %1 ").arg(i)));
    }

    void unverifiedRepliesNeverOutgrowTheRequest_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::newRow("tiny presence") << QByteArray("<R>5</R><E>e</E><N>n</N>\n<R>0</R><K>1</K>\r\n");
        QTest::newRow("presence + requests") << QByteArray(
            "<R>5</R><E>AAAAAAAA!</E><N>Ann</N><#>1</#>\n<R>15</R>\n<R>12</R>\n<R>0</R><K>2</K>\r\n");
        QTest::newRow("no CR LF") << QByteArray("<R>5</R><E>x</E><N>y</N>\n<R>0</R><K>1</K>");
        QTest::newRow("garbage") << QByteArray("\x01\x02<R>0</R>\n<K>1</K>");
    }
    void unverifiedRepliesNeverOutgrowTheRequest()
    {
        QFETCH(QByteArray, datagram);
        // Forged source: the token never comes back, however often it is sent.
        for (int i = 0; i < 3; ++i) {
            const QByteArray reply = server->handleDatagram(Endpoint::ipv4(0x0a000001, 53), datagram, now);
            QVERIFY2(reply.size() <= datagram.size(), reply.constData());
        }
    }

    void hostileBytesNeverCrash()
    {
        QRandomGenerator rng(42);
        PollClient a(server.get(), 4050, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        const QByteArray pieces[] = {"<R>",  "</R>", "<K>",  "</K>", "<L>",  "</L>", "<#>",
                                     "</#>", "<M>",  "</M>", "\n",   "\r\n", "5",    "1",
                                     "-1",   "25",   "\xff", "\xc3", "||",   a.token};
        for (int i = 0; i < 3000; ++i) {
            QByteArray d;
            const int parts = rng.bounded(40);
            for (int p = 0; p < parts; ++p)
                d += rng.bounded(3) ? pieces[rng.bounded(int(std::size(pieces)))]
                                    : QByteArray(1, char(rng.bounded(256)));
            if (rng.bounded(2))
                d += "<R>0</R><K>" + QByteArray::number(rng.bounded(10)) + "</K><L>" + a.token + "</L>\r\n";
            const QByteArray reply = server->handleDatagram(Endpoint::ipv4(0x7f000001, 4050), d, now);
            QVERIFY(reply.size() <= 8192);
            now += 7;
        }
        QVERIFY(server->sessionCount() >= 1);
    }

    void limitsRefuseWithNotice_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("recordBytes");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<bool>("notice");
        QTest::newRow("100 records") << 100 << 30 << 20 << true; // the line rate takes 20, with a notice
        QTest::newRow("101 records") << 101 << 30 << 0 << true;
        QTest::newRow("4 KiB record") << 1 << 4096 << 1 << false;
        QTest::newRow("over 4 KiB") << 1 << 4097 << 0 << true;
    }
    void limitsRefuseWithNotice()
    {
        QFETCH(int, records);
        QFETCH(int, recordBytes);
        QFETCH(int, accepted);
        QFETCH(bool, notice);
        PollClient a(server.get(), 4060, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        a.received.clear();
        const QString head = QStringLiteral("<R>1</R><#>1</#><M>");
        for (int i = 0; i < records; ++i)
            a.queue(head + QString(recordBytes - head.size() - 4, u'a') + "</M>");
        a.poll();
        a.poll();
        QCOMPARE(lines.size(), accepted);
        QCOMPARE(a.take(1).size(), notice ? 1 : 0);
    }

    void fastTalkersAreSlowedWithOneNotice()
    {
        PollClient a(server.get(), 4070, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        a.received.clear();
        for (int i = 0; i < 30; ++i)
            a.say(1, QString::number(i));
        a.poll();
        a.poll();
        QCOMPARE(lines.size(), 20);
        QCOMPARE(a.take(1).size(), 1);
        now += 1000;
        a.say(1, "later");
        a.poll();
        QCOMPARE(lines.last(), QStringLiteral("Ann|1|later"));
    }

    void silentSessionsEndWithDeparture()
    {
        PollClient a(server.get(), 4080, &now), b(server.get(), 4081, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 2, 1);
        b.received.clear();
        now += 30000;
        b.poll();
        server->tick(now);
        QCOMPARE(server->sessionCount(), 2);
        now += 31000;
        b.poll();
        server->tick(now);
        QCOMPARE(server->sessionCount(), 1);
        b.poll();
        const QStringList gone = b.take(5);
        QCOMPARE(gone.size(), 1);
        QCOMPARE(GetS(gone.first(), "N"), QStringLiteral("Ann"));
        QCOMPARE(GetI(gone.first(), "#"), -1);
        // Ann's next poll carries a token the server no longer knows.
        a.poll();
        QCOMPARE(a.lastAckK, 10);
    }

    void leavingEndsTheSession()
    {
        PollClient a(server.get(), 4090, &now), b(server.get(), 4091, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        a.presence("Ann", "AAAAAAAA!", -1, -1);
        a.poll();
        QCOMPARE(server->sessionCount(), 1);
        b.poll();
        QCOMPARE(GetI(b.take(5).value(0), "#"), -1);
    }

    void reannounceTakesOverWithoutDeparture()
    {
        PollClient a(server.get(), 4100, &now), b(server.get(), 4101, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        a.token = "10"; // the client's mark of a lost link
        a.poll();
        QCOMPARE(a.lastAckK, 10);
        a.presence("Ann", "AAAAAAAA!", 1);
        a.queue("<R>25</R><#>1</#>");
        a.poll();
        QCOMPARE(a.token.size(), 4);
        QCOMPARE(server->sessionCount(), 2);
        b.poll();
        const QStringList members = b.take(5);
        QCOMPARE(members.size(), 1);
        QCOMPARE(GetI(members.first(), "#"), 1);
    }

    void fullServerEvictsUnverifiedFirst()
    {
        ServerLimits limits;
        limits.maxSessions = 2;
        ChatServer small(&rooms, limits);
        PollClient a(&small, 5000, &now), spoof(&small, 5001, &now), c(&small, 5002, &now),
            d(&small, 5003, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        spoof.presence("Sp", "SSSSSSSS1", 1);
        small.handleDatagram(spoof.peer, spoof.datagram(), now); // never echoes its token
        join(c, "Cy", "CCCCCCCC2", 1);
        QCOMPARE(small.sessionCount(), 2);
        d.presence("Di", "DDDDDDDD3", 1);
        d.poll();
        QVERIFY(d.token.isEmpty());
        QVERIFY(d.received.join("").contains("full"));
    }

    void serverClockIsMountainTime()
    {
        QCOMPARE(ChatServer::serverClock(QDateTime(QDate(2026, 1, 15), QTime(19, 0, 5), Qt::UTC)),
                 QStringLiteral("12:00:05"));
        QCOMPARE(ChatServer::serverClock(QDateTime(QDate(2026, 7, 15), QTime(19, 0, 5), Qt::UTC)),
                 QStringLiteral("13:00:05"));
    }
};

QTEST_GUILESS_MAIN(TestChatServer)
#include "tst_chatserver.moc"
