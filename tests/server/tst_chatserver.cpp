// The server's link discipline, driven by the real client link: sessions,
// tokens, acknowledgements, reply numbers, resent records, amplification,
// hostile input, throttling and idle expiry.
#include "protocol/pollheader.h"
#include "protocol/wirelimits.h"
#include "server/chatserver.h"
#include "server/linkclient.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace hchat;

class TestChatServer : public QObject
{
    Q_OBJECT

    qint64 now = 1000;
    RoomStore rooms;
    std::unique_ptr<ChatServer> server;
    QStringList lines; // chat lines the server accepted, "nick|room|text"

    void join(LinkClient &c, const QString &nick, const QString &id, int room, int watch = -1)
    {
        c.presence(nick, id, room, watch);
        c.poll();
        c.drain();
    }
    QByteArray raw(quint16 port, const QByteArray &datagram)
    {
        return server->handleDatagram(Endpoint::ipv4(0x7f000001, port), datagram, now);
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
        LinkClient a(server.get(), 4000, &now);
        a.presence("Ann", "AAAAAAAA!", 1);
        const QByteArray reply = a.poll();
        QCOMPARE(server->sessionCount(), 1);
        QCOMPARE(a.ackK(), a.link.sequence());
        QCOMPARE(a.token().size(), 4);
        QVERIFY(a.link.outbox().isEmpty());
        QVERIFY(reply.size() <= a.lastPoll.size());
        QVERIFY(a.received.isEmpty()); // room records wait for the token to come back
        QVERIFY(a.link.lastQ() > 0);
        a.poll();
        QVERIFY(!a.take(7).isEmpty());
    }

    void emptyPollWithoutTokenOpensNothing()
    {
        QCOMPARE(raw(4001, "<R>0</R><K>0</K>\r\n"), QByteArray("<R>0</R><K>0</K>\n"));
        QCOMPARE(server->sessionCount(), 0);
    }

    void unknownTokens_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("sessions");
        QTest::newRow("unknown") << QByteArray("<R>0</R><K>3</K><L>zzzz</L>\r\n")
                                 << QByteArray("<R>0</R><K>10</K><L>zzzz</L>\n") << 0;
        QTest::newRow("lost-link marker")
            << QByteArray("<R>1</R><#>1</#><M>x</M>\n<R>0</R><K>4</K><L>10</L>\r\n")
            << QByteArray("<R>0</R><K>10</K><L>10</L>\n") << 0;
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
        const QByteArray got = raw(4002, datagram);
        if (!reply.isEmpty())
            QCOMPARE(got, reply);
        else
            QVERIFY(got.startsWith("<R>0</R><K>5</K>") && got.contains("<L>"));
        QCOMPARE(server->sessionCount(), sessions);
    }

    void tokenIsBoundToItsAddress()
    {
        LinkClient a(server.get(), 4003, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        QCOMPARE(raw(4999, PollHeader::build(1, a.token(), 0) + "\r\n"),
                 "<R>0</R><K>10</K><L>" + a.token() + "</L>\n");
    }

    void lineReachesRoomOnceWithServerFields()
    {
        LinkClient a(server.get(), 4010, &now), b(server.get(), 4011, &now), w(server.get(), 4012, &now),
            other(server.get(), 4013, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        join(w, "Wes", "WWWWWWWW$", 2, 1); // watches room 1
        join(other, "Olga", "OOOOOOOO%", 3);
        b.received.clear();
        w.received.clear();
        a.say(1, "hello\nthere", 4227327);
        a.poll();
        // The acknowledgement is lost: the same poll comes again.
        raw(4010, a.lastPoll);
        b.poll();
        w.poll();
        other.poll();
        a.poll();
        const QStringList got = b.take(1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got.first(), QStringLiteral("<R>1</R><X>1</X><F>4227327</F><E>AAAAAAAA!</E><#>1</"
                                             "#><Z>12:00:05</Z><M>Ann:  hello||there</M>"));
        QCOMPARE(w.take(1), got);
        QVERIFY(other.take(1).isEmpty());
        QVERIFY(a.take(1).isEmpty()); // never echoed to the sender
        QCOMPARE(lines.size(), 1);
        QCOMPARE(server->stats().retransmissions, 1u);
        // Tagged for a room she is neither in nor watching: refused, by its number.
        const quint32 stray = a.say(3, "psst");
        a.poll();
        other.poll();
        QVERIFY(other.take(1).isEmpty());
        QVERIFY(a.received.last().startsWith(QStringLiteral("<R>1</R><O>%1</O>").arg(stray)));
    }

    void everyLineOnceWhateverIsResent()
    {
        LinkClient a(server.get(), 4020, &now), b(server.get(), 4021, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        a.say(1, "one");
        a.loseReplies = true;
        a.poll(); // taken, but the acknowledgement is lost
        a.loseReplies = false;
        a.say(1, "two"); // the outbox grew: "one" rides again under a new K
        a.poll();
        // The same line again, alone and then with more behind it.
        a.say(1, "two");
        a.poll();
        a.say(1, "two");
        a.say(1, "three");
        a.poll();
        QCOMPARE(lines, (QStringList{"Ann|1|one", "Ann|1|two", "Ann|1|two", "Ann|1|two", "Ann|1|three"}));
        b.poll();
        QCOMPARE(b.take(1).size(), 5);
        QCOMPARE(server->stats().resentSkipped, 1u);
    }

    void lostReplyComesAgainAndIsShownOnce()
    {
        LinkClient a(server.get(), 4025, &now), b(server.get(), 4026, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        for (int i = 0; i < 3; ++i)
            a.say(1, "same");
        a.poll();
        b.loseReplies = true;
        b.poll();
        b.loseReplies = false;
        QVERIFY(b.received.isEmpty());
        const QByteArray again = b.poll();
        QCOMPARE(b.take(1).size(), 3);
        QCOMPARE(server->stats().repliesResent, 1u);
        // The network delivers the reply once more: nothing new.
        b.link.receive(again);
        QVERIFY(b.received.isEmpty());
        // Taken: the next poll echoes it and the server lets the records go.
        b.poll();
        b.poll();
        QVERIFY(b.received.isEmpty());
        QCOMPARE(server->stats().repliesResent, 1u);
    }

    void presenceIsReadBeforeTheLinesOfItsPoll()
    {
        LinkClient a(server.get(), 4027, &now), b(server.get(), 4028, &now);
        join(b, "Bob", "BBBBBBBB#", 1);
        a.say(1, "typed before the presence");
        a.presence("Ann", "AAAAAAAA!", 1);
        a.drain();
        QCOMPARE(lines, QStringList{"Ann|1|typed before the presence"});
        QVERIFY(a.take(1).isEmpty()); // no "announce yourself first"
    }

    void repeatedFirstPollOpensOneSession()
    {
        LinkClient a(server.get(), 4030, &now);
        a.presence("Ann", "AAAAAAAA!", 1);
        a.say(1, "hi");
        a.poll();
        raw(4030, a.lastPoll);
        QCOMPARE(server->sessionCount(), 1);
        QVERIFY(lines.isEmpty()); // nothing runs before the token comes back
        a.poll();
        QCOMPARE(lines.size(), 1);
    }

    void linesSaidWhileTheTokenIsOnItsWayArrive()
    {
        LinkClient a(server.get(), 4032, &now), b(server.get(), 4033, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        b.presence("Bob", "BBBBBBBB#", 1);
        b.poll(); // Bob's token is on its way
        a.say(1, "welcome back");
        a.poll();
        now += 500;
        b.drain();
        QCOMPARE(b.take(1).size(), 1);
        // Nor does Ann hear of Bob before his token came back.
        a.poll();
        QCOMPARE(a.take(5).size(), 1);
    }

    void clientsBehindOneAddressGetTheirOwnSessions()
    {
        LinkClient a(server.get(), 4035, &now), b(server.get(), 4035, &now);
        a.presence("Ann", "AAAAAAAA!", 1);
        b.presence("Bob", "BBBBBBBB#", 1);
        a.poll();
        b.poll();
        QCOMPARE(server->sessionCount(), 2);
        QVERIFY(a.token() != b.token());
    }

    void repliesStayWithinLimitAndKeepOrder_data()
    {
        QTest::addColumn<int>("recordBytes");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("300-byte lines") << 300 << 60 << false;
        // 64 of these fill a reply's room exactly without their line feeds.
        QTest::newRow("127-byte lines") << 127 << 130 << false;
        // Relayed as runs of lines, split where a reply is full.
        QTest::newRow("300-byte lines at once") << 300 << 60 << true;
        QTest::newRow("127-byte lines at once") << 127 << WireLimits::lineBurst << true;
    }
    void repliesStayWithinLimitAndKeepOrder()
    {
        QFETCH(int, recordBytes);
        QFETCH(int, count);
        QFETCH(bool, atOnce);
        LinkClient a(server.get(), 4040, &now), b(server.get(), 4041, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        const int overhead =
            QByteArray("<R>1</R><X>1</X><F>255</F><E>AAAAAAAA!</E><#>1</#><Z>12:00:05</Z><M>Ann:  000 </M>")
                .size();
        for (int i = 0; i < count; ++i) {
            now += 100; // below the line rate
            a.say(1, QStringLiteral("%1 ").arg(i, 3, 10, QLatin1Char('0')) +
                         QString(recordBytes - overhead, u'x'));
            if (!atOnce)
                a.poll();
        }
        a.drain();
        int polls = 0;
        do {
            b.poll();
            ++polls;
            QVERIFY2(b.lastReply.size() <= WireLimits::maxReplyBytes,
                     qPrintable(QString::number(b.lastReply.size())));
        } while (b.link.lastQ() > 0 && polls < 40);
        const QStringList got = b.take(1);
        QCOMPARE(got.size(), count);
        QCOMPARE(got.first().size(), recordBytes);
        for (int i = 0; i < count; ++i)
            QVERIFY(
                GetS(got[i], "M").startsWith(QStringLiteral("Ann:  %1 ").arg(i, 3, 10, QLatin1Char('0'))));
    }

    void queueForAMemberIsBounded_data()
    {
        QTest::addColumn<int>("maxRecords");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QStringList>("kept");
        const int line =
            QByteArray("<R>1</R><X>1</X><F>255</F><E>AAAAAAAA!</E><#>1</#><Z>12:00:05</Z><M>Ann:  0</M>\n")
                .size();
        QTest::newRow("records") << 5 << 1000000 << QStringList{"3", "4", "5", "6", "7"};
        QTest::newRow("bytes") << 2000 << 3 * line << QStringList{"5", "6", "7"};
    }
    void queueForAMemberIsBounded()
    {
        QFETCH(int, maxRecords);
        QFETCH(int, maxBytes);
        QFETCH(QStringList, kept);
        ServerLimits limits;
        limits.maxQueuedRecords = maxRecords;
        limits.maxQueuedBytes = maxBytes;
        ChatServer small(&rooms, limits);
        small.setWallClock([] { return QDateTime(QDate(2026, 1, 15), QTime(19, 0, 5), Qt::UTC); });
        LinkClient a(&small, 4045, &now), b(&small, 4046, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        for (int i = 0; i < 8; ++i)
            a.say(1, QString::number(i));
        a.poll();
        b.drain();
        QStringList texts;
        for (const QString &r : b.take(1))
            texts << GetS(r, "M").mid(6);
        QCOMPARE(texts, kept);
    }

    void severalPresencesInOnePollRunOnce()
    {
        LinkClient a(server.get(), 4047, &now), b(server.get(), 4048, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        for (const int room : {2, 3, 1, 2})
            a.presence("Ann", "AAAAAAAA!", room);
        a.poll();
        b.poll();
        const QStringList moves = b.take(5);
        QCOMPARE(moves.size(), 1); // the last: Ann went to room 2
        QCOMPARE(GetI(moves.first(), "#"), 2);
    }

    void unverifiedRepliesNeverOutgrowTheRequest_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        // Smaller than a full acknowledgement with its token.
        QTest::newRow("26 bytes") << QByteArray("<R>5</R>\n<R>0</R><K>1</K>\r\n");
        QTest::newRow("31 bytes") << QByteArray("<R>5</R>abcd\n<R>0</R><K>1</K>\r\n");
        QTest::newRow("tiny presence") << QByteArray("<R>5</R><E>e</E><N>n</N>\n<R>0</R><K>1</K>\r\n");
        QTest::newRow("presence + requests") << QByteArray(
            "<R>5</R><E>AAAAAAAA!</E><N>Ann</N><#>1</#>\n<R>15</R>\n<R>12</R>\n<R>0</R><K>2</K><Y>0</Y>\r\n");
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
            if (datagram.endsWith("\r\n"))
                QVERIFY2(reply.startsWith("<R>0</R><K>"), reply.constData()); // answered all the same
        }
    }

    void hostileBytesNeverCrash()
    {
        QRandomGenerator rng(42);
        LinkClient a(server.get(), 4050, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        const QByteArray pieces[] = {"<R>",  "</R>", "<K>",    "</K>",   "<L>",  "</L>", "<#>",
                                     "</#>", "<M>",  "</M>",   "\n",     "\r\n", "5",    "1",
                                     "-1",   "25",   "\xff",   "\xc3",   "||",   "<O>",  "</O>",
                                     "<Y>",  "</Y>", "999999", a.token()};
        for (int i = 0; i < 3000; ++i) {
            QByteArray d;
            const int parts = rng.bounded(40);
            for (int p = 0; p < parts; ++p)
                d += rng.bounded(3) ? pieces[rng.bounded(int(std::size(pieces)))]
                                    : QByteArray(1, char(rng.bounded(256)));
            if (rng.bounded(2))
                d += PollHeader::build(rng.bounded(10), a.token(), rng.bounded(3)) + "\r\n";
            const QByteArray reply = raw(4050, d);
            QVERIFY(reply.size() <= WireLimits::maxReplyBytes);
            now += 7;
        }
        QVERIFY(server->sessionCount() >= 1);
    }

    void recordLimitsAgreeWithTheClient_data()
    {
        QTest::addColumn<int>("recordBytes");
        QTest::addColumn<bool>("taken");
        QTest::newRow("at the limit") << WireLimits::maxRecordBytes << true;
        QTest::newRow("one byte over") << WireLimits::maxRecordBytes + 1 << false;
    }
    void recordLimitsAgreeWithTheClient()
    {
        QFETCH(int, recordBytes);
        QFETCH(bool, taken);
        LinkClient a(server.get(), 4060, &now);
        a.link.startNumbersAt(500000); // numbers as long as they get
        join(a, "Ann", "AAAAAAAA!", 1);
        a.received.clear();
        const QString fields = "<#>1</#><M>" + QString(recordBytes, u'a') + "</M>";
        const QString text =
            QString(recordBytes - (DatagramLink::recordBytes(1, fields) - recordBytes), u'a');
        const QString exact = "<#>1</#><M>" + text + "</M>";
        QCOMPARE(DatagramLink::recordBytes(1, exact), recordBytes);
        // The client refuses what the server would refuse, and nothing else.
        QCOMPARE(a.link.Send(1, exact) != 0, taken);
        a.drain();
        QCOMPARE(lines.size(), taken ? 1 : 0);
        // Sent anyway, the server refuses it with a notice.
        const QByteArray over = "<R>1</R>" + QByteArray(WireLimits::maxRecordBytes - 7, 'b') + "\n";
        raw(4060, over + PollHeader::build(9, a.token(), a.link.lastReply()) + "\r\n");
        a.poll();
        QCOMPARE(a.take(1).size(), 1);
    }

    void datagramLimit_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::newRow("at the limit") << WireLimits::maxPollBytes;
        QTest::newRow("one byte over") << WireLimits::maxPollBytes + 1;
    }
    void datagramLimit()
    {
        QFETCH(int, bytes);
        LinkClient a(server.get(), 4062, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        const QByteArray header = PollHeader::build(3, a.token(), a.link.lastReply()) + "\r\n";
        QByteArray records;
        while (records.size() + header.size() < bytes) {
            const qsizetype room = bytes - header.size() - records.size() - 1;
            records +=
                "<R>1</R><#>1</#><M>" + QByteArray(std::clamp<qsizetype>(room - 19, 0, 4000), 'x') + "\n";
        }
        const QByteArray datagram = records + header;
        QCOMPARE(datagram.size(), bytes);
        // Read and answered up to the limit; past it nothing is read and
        // nothing goes back.
        const QByteArray reply = raw(4062, datagram);
        QCOMPARE(reply.isEmpty(), bytes > WireLimits::maxPollBytes);
    }

    void tooManyRecordsInOnePollAreRefusedWhole()
    {
        LinkClient a(server.get(), 4065, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        a.received.clear();
        QByteArray records;
        for (int i = 0; i <= WireLimits::maxRecordsPerPoll; ++i)
            records += "<R>1</R><#>1</#><M>" + QByteArray::number(i) + "</M>\n";
        raw(4065, records + PollHeader::build(7, a.token(), a.link.lastReply()) + "\r\n");
        QVERIFY(lines.isEmpty());
        a.poll();
        QVERIFY(a.take(1).join("").contains("Too many records"));
    }

    void fastTalkersAreSlowedWithOneNotice()
    {
        LinkClient a(server.get(), 4070, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        a.received.clear();
        // A whole outbox goes at once: what an outage leaves behind.
        QList<quint32> numbers;
        for (int i = 0; i < WireLimits::lineBurst + 20; ++i) {
            numbers << a.say(1, QString::number(i));
            if (i + 1 == WireLimits::lineBurst)
                a.poll();
        }
        a.drain();
        QVERIFY(a.dropped.isEmpty());
        QCOMPARE(lines.size(), WireLimits::lineBurst);
        const QStringList notices = a.received;
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.first().contains("too fast"));
        // The notice names the first line it refused.
        QCOMPARE(quint32(GetI(notices.first(), "O")), numbers.value(WireLimits::lineBurst));
        now += 1000; // a second later there is room for more
        a.say(1, "later");
        a.poll();
        QCOMPARE(lines.last(), QStringLiteral("Ann|1|later"));
    }

    void silentMembersAreAwayThenLeave()
    {
        LinkClient a(server.get(), 4080, &now), b(server.get(), 4081, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 2, 1);
        b.received.clear();
        now += 30000;
        b.poll();
        server->tick(now);
        QVERIFY(b.take(5).isEmpty());
        now += 1000;
        server->tick(now);
        b.poll();
        // Away from 31 s on, with the time it was last heard (server time).
        const QStringList away = b.take(5);
        QCOMPARE(away.size(), 1);
        QCOMPARE(GetS(away.first(), "I"), QStringLiteral("5|4"));
        QCOMPARE(GetS(away.first(), "Z"), QStringLiteral("11:59:34"));
        // What is said meanwhile waits for Ann (after Bob's arrival), within
        // her away bound, and the drop is told when she is back.
        for (int i = 0; i < server->limits().awayQueuedRecords + 3; ++i) {
            now += 60;
            b.say(1, QStringLiteral("line %1").arg(i));
            b.poll();
        }
        now += 9 * 60000 - 60000;
        b.poll();
        server->tick(now);
        QCOMPARE(server->sessionCount(), 2);
        a.drain();
        const QStringList got = a.take(1);
        QCOMPARE(got.filter("Bob:  line").size(), server->limits().awayQueuedRecords);
        QCOMPARE(got.filter("4 records meant for you were dropped").size(), 1);
        b.poll();
        QCOMPARE(GetS(b.take(5).value(0), "I"), QStringLiteral("5|0")); // back

        // Silent for the away time: gone, and its session with it.
        now += server->limits().awayMs + 1;
        b.poll();
        server->tick(now);
        QCOMPARE(server->sessionCount(), 1);
        b.poll();
        const QStringList gone = b.take(5);
        QCOMPARE(gone.size(), 1);
        QCOMPARE(GetS(gone.first(), "N"), QStringLiteral("Ann"));
        QCOMPARE(GetI(gone.first(), "#"), -1);
        a.poll();
        QCOMPARE(a.ackK(), 10);
    }

    void renameLeavesNoGhost()
    {
        LinkClient a(server.get(), 4085, &now), b(server.get(), 4086, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        // Our client's order: leave under the old nick, then the new one.
        a.presence("Ann", "AAAAAAAA!", -1, -1);
        a.presence("AnnK", "AAAAAAAA!", 1);
        a.drain();
        b.drain();
        const QStringList seen = b.take(5);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(GetS(seen[0], "N") + GetS(seen[0], "D") + GetS(seen[0], "#"), QStringLiteral("AnnAnnK-1"));
        QCOMPARE(GetS(seen[1], "N") + GetS(seen[1], "#"), QStringLiteral("AnnK1"));
        QCOMPARE(server->sessionCount(), 2);
        // A new nick alone says the same.
        a.presence("Annie", "AAAAAAAA!", 1);
        a.drain();
        b.drain();
        QCOMPARE(GetS(b.take(5).value(0), "D"), QStringLiteral("Annie"));
    }

    void leavingEndsTheSession()
    {
        LinkClient a(server.get(), 4090, &now), b(server.get(), 4091, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        a.presence("Ann", "AAAAAAAA!", -1, -1);
        a.poll();
        QCOMPARE(server->sessionCount(), 1);
        b.poll();
        QCOMPARE(GetI(b.take(5).value(0), "#"), -1);
    }

    void lostLinkTakesOverTheSessionAndLosesNothing()
    {
        LinkClient a(server.get(), 4100, &now), b(server.get(), 4101, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        join(b, "Bob", "BBBBBBBB#", 1);
        b.received.clear();
        a.received.clear();
        // Ann's replies stop coming: the server takes her lines, she never
        // hears so, and misses Bob's.
        a.loseReplies = true;
        a.say(1, "while cut off");
        a.link.tick();
        b.say(1, "are you there?");
        b.poll();
        for (int i = 1; i <= DatagramLink::silenceLimit; ++i)
            a.link.tick();
        QVERIFY(a.link.isLost());
        QCOMPARE(lines.size(), 2);
        a.loseReplies = false;
        a.say(1, "back");
        a.poll(); // the lost-link token: K = 10, and Ann announces herself first
        QCOMPARE(a.ackK(), 10);
        a.drain();
        QCOMPARE(server->sessionCount(), 2);
        QCOMPARE(lines, (QStringList{"Ann|1|while cut off", "Bob|1|are you there?", "Ann|1|back"}));
        QCOMPARE(a.take(1).size(), 1); // Bob's line, once
        b.poll();
        const QStringList members = b.take(5);
        QCOMPARE(members.size(), 1); // no departure, the same room
        QCOMPARE(GetI(members.first(), "#"), 1);
        QCOMPARE(b.take(1).size(), 2);
    }

    void fullServerEvictsUnverifiedFirst()
    {
        ServerLimits limits;
        limits.maxSessions = 2;
        ChatServer small(&rooms, limits);
        LinkClient a(&small, 5000, &now), spoof(&small, 5001, &now), c(&small, 5002, &now),
            d(&small, 5003, &now);
        join(a, "Ann", "AAAAAAAA!", 1);
        spoof.presence("Sp", "SSSSSSSS1", 1);
        spoof.loseReplies = true; // never echoes its token
        spoof.poll();
        join(c, "Cy", "CCCCCCCC2", 1);
        QCOMPARE(small.sessionCount(), 2);
        d.presence("Di", "DDDDDDDD3", 1);
        d.poll();
        QVERIFY(d.token().isEmpty());
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
