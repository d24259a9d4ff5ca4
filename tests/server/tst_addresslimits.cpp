// What one address can do to everybody else: the sessions it holds, the
// tokens it tries, the member IDs it takes over or makes up. Forged source
// addresses are as easy as real ones here: the server only sees datagrams.
#include "protocol/pollheader.h"
#include "server/chatserver.h"
#include "server/linkclient.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

using namespace hchat;

namespace {

constexpr quint32 kAttacker = 0x0a000042; // 10.0.0.66
constexpr quint32 kOffice = 0x0a000007;

// A first poll as a client sends it: a presence and a line, no token yet.
QByteArray firstPoll(int i, const QByteArray &line = "spam")
{
    const QByteArray n = QByteArray::number(i);
    return "<R>5</R><O>1</O><E>FORGED" + n.rightJustified(2, '0') + "!</E><N>x" + n +
           "</N><I>5|0</I><#>1</#><W>-1</W>\n<R>1</R><O>2</O><F>255</F><#>1</#><M>" + line + "</M>\n" +
           PollHeader::build(1, {}, 0) + "\r\n";
}

} // namespace

class TestAddressLimits : public QObject
{
    Q_OBJECT

    qint64 now = 1000;
    RoomStore rooms;
    std::unique_ptr<ChatServer> server;
    QStringList lines;

    void start(ServerLimits limits = {})
    {
        server = std::make_unique<ChatServer>(&rooms, limits);
        server->chatLineObserver = [this](const QString &n, int r, const QString &t) {
            lines << QStringLiteral("%1|%2|%3").arg(n).arg(r).arg(t);
        };
    }
    void join(LinkClient &c, const QString &nick, const QString &id, int room)
    {
        c.presence(nick, id, room);
        c.poll();
        c.drain();
    }
    QByteArray from(quint32 host, quint16 port, const QByteArray &datagram)
    {
        return server->handleDatagram(Endpoint::ipv4(host, port), datagram, now);
    }

private slots:
    void init()
    {
        now = 1000;
        rooms = RoomStore();
        rooms.load();
        rooms.setFields(5, "<N>Traders</N><B>key</B>");
        lines.clear();
        start();
    }

    void forgedFirstPollsReachNobodyAndHoldLittle()
    {
        LinkClient bob(server.get(), 4000, &now);
        join(bob, "Bob", "BBBBBBBB#", 1);
        bob.received.clear();
        // One host opens sessions as fast as it can; their tokens never come back.
        for (int i = 0; i < 100; ++i)
            QVERIFY(!from(kAttacker, quint16(1000 + i), firstPoll(i)).isEmpty());
        const int perAddress = server->limits().maxSessionsPerAddress;
        QCOMPARE(server->sessionCount(), 1 + perAddress);
        bob.drain();
        QVERIFY2(bob.received.isEmpty(), qPrintable(bob.received.join(u'\n')));
        QVERIFY(lines.isEmpty());
        // Somebody real behind the same address still gets in, and so does
        // everybody elsewhere.
        LinkClient colleague(server.get(), 2000, &now), cy(server.get(), 4001, &now);
        colleague.peer = Endpoint::ipv4(kAttacker, 2000);
        join(colleague, "Col", "CCCCCCCC1", 1);
        join(cy, "Cy", "CYCYCYCY2", 1);
        QCOMPARE(server->sessionCount(), 2 + perAddress);
        bob.drain();
        QCOMPARE(bob.take(5).size(), 2);
        // Unconfirmed sessions are gone within seconds, the others stay.
        now += server->limits().unconfirmedMs + 1000;
        bob.poll();
        colleague.poll();
        cy.poll();
        server->tick(now);
        QCOMPARE(server->sessionCount(), 3);
        QVERIFY(bob.take(5).isEmpty()); // nobody told of forged departures either
    }

    void anAddressFullOfMembersTakesNoMore()
    {
        ServerLimits limits;
        limits.maxSessionsPerAddress = 2;
        start(limits);
        QList<std::shared_ptr<LinkClient>> office;
        for (int i = 0; i < 3; ++i) {
            office << std::make_shared<LinkClient>(server.get(), quint16(3000 + i), &now);
            office.last()->peer = Endpoint::ipv4(kOffice, quint16(3000 + i));
            join(*office.last(), QStringLiteral("o%1").arg(i), QStringLiteral("OFFICE00%1").arg(i), 1);
        }
        QCOMPARE(server->sessionCount(), 2);
        QVERIFY(office.last()->token().isEmpty());
        QVERIFY(office.last()->received.join(u'\n').contains("Too many connections from your address"));
        // Told to a forged address too: never more bytes than were sent.
        const QByteArray tiny = "<R>5</R>\n<R>0</R><K>1</K>\r\n";
        QVERIFY(from(kOffice, 3999, tiny).size() <= tiny.size());
        LinkClient elsewhere(server.get(), 3100, &now);
        join(elsewhere, "Eli", "ELSEWHER1", 1);
        QCOMPARE(server->sessionCount(), 3);
    }

    void wrongTokensAreAHandfulASecond()
    {
        LinkClient ann(server.get(), 4010, &now);
        join(ann, "Ann", "AAAAAAAA!", 1);
        // Guesses with Ann's address: each would carry a private message to
        // the guesser, so one that is right would tell.
        int answered = 0;
        for (int i = 0; i < 1000; ++i)
            answered +=
                from(0x7f000001, 4010,
                     "<R>3</R><N>Eve</N><M>hit</M>\n" +
                         PollHeader::build(1, "g" + QByteArray::number(i).rightJustified(3, '0'), 0) + "\r\n")
                        .isEmpty()
                    ? 0
                    : 1;
        QCOMPARE(answered, server->limits().wrongTokenBurst);
        QVERIFY(server->stats().wrongTokensDropped >= 990);
        // Another port of the same host is somebody else.
        QCOMPARE(from(0x7f000001, 4011, PollHeader::build(1, "zzzz", 0) + "\r\n"),
                 QByteArray("<R>0</R><K>10</K><L>zzzz</L>\n"));
        // Ann's own token is served all along: the guesses silence nobody.
        ann.received.clear();
        ann.say(1, "still here");
        ann.poll();
        QCOMPARE(ann.ackK(), ann.link.sequence());
        QCOMPARE(lines, QStringList{"Ann|1|still here"});
    }

    void takeOverById_data()
    {
        // Who announces her ID: 0 her own client after its link was lost, 1 a
        // first poll with her address and port (anybody can send one), 2
        // another address, 3 her own client from another address (a network
        // change), naming her old token, 4 the same after guesses at her
        // token from that host.
        QTest::addColumn<int>("who");
        QTest::addColumn<bool>("herLinkLost");
        QTest::addColumn<bool>("takenOver");
        QTest::addColumn<bool>("rights");
        QTest::newRow("her client back after a lost link") << 0 << true << true << true;
        QTest::newRow("a first poll from her address") << 1 << false << true << false;
        QTest::newRow("another address while she is here") << 2 << false << false << false;
        QTest::newRow("another address once she is lost") << 2 << true << true << false;
        QTest::newRow("her client from another address") << 3 << false << true << false;
        QTest::newRow("her client after guesses from there") << 4 << false << false << false;
    }
    void takeOverById()
    {
        QFETCH(int, who);
        QFETCH(bool, herLinkLost);
        QFETCH(bool, takenOver);
        QFETCH(bool, rights);
        LinkClient ann(server.get(), 4020, &now), bob(server.get(), 4021, &now);
        join(bob, "Bob", "BBBBBBBB#", 1);
        ann.presence("Ann", "AAAAAAAA!", 5);
        ann.queue("<R>25</R><#>5</#><B>key</B>");
        ann.poll();
        ann.drain();
        // A private message waits for her.
        bob.queue("<R>3</R><N>Ann</N><E>AAAAAAAA!</E><M>my PIN is 1234</M>");
        bob.poll();
        if (herLinkLost) {
            // Her polls reach the server, its replies don't reach her.
            ann.loseReplies = true;
            for (int i = 0; i <= DatagramLink::silenceLimit; ++i)
                ann.link.tick();
            ann.deliver();
            ann.loseReplies = false;
            if (who != 0)
                now += server->limits().lostMs + 1000;
            bob.poll();
        }
        LinkClient other(server.get(), who == 2 ? 4030 : 4020, &now);
        if (who == 2)
            other.peer = Endpoint::ipv4(kAttacker, 4020);
        LinkClient &comer = who == 0 || who >= 3 ? ann : other;
        ann.received.clear();
        for (int i = 0; who == 4 && i < 5; ++i) {
            const QByteArray hello = "<R>5</R><O>1</O><E>AAAAAAAA!</E><N>Ann</N><I>5|0</I><#>5</#>\n";
            const QByteArray ack =
                from(kOffice, 4100 + i,
                     hello + PollHeader::build(1, {}, 0, "zz" + QByteArray::number(i)) + "\r\n");
            const auto a = AckHeader::parse(QByteArrayView(ack).first(qMax(0, int(ack.indexOf('\n')))));
            from(kOffice, 4100 + i, PollHeader::build(2, a.value().token.toByteArray(), 0) + "\r\n");
        }
        if (who >= 3)
            ann.peer = Endpoint::ipv4(kOffice, 4020);
        if (who == 0 || who >= 3)
            comer.drain();
        else
            join(comer, "Ann", "AAAAAAAA!", 5);
        const QString got = comer.received.join(u'\n');
        QCOMPARE(got.contains("my PIN"), takenOver && who != 2);
        // The private room's key stays with the session that proves its token.
        QCOMPARE(got.contains("<R>25</R><#>5</#>"), takenOver && !rights);
        QCOMPARE(comer.link.announcementRefused(), !takenOver);
        if (who == 0 || who >= 3)
            return;
        // Her own session ended, or carries on with what waits for her.
        ann.poll();
        QCOMPARE(ann.ackK() == AckHeader::announceAgain, takenOver);
        if (!takenOver)
            QVERIFY(ann.take(3).join("").contains("my PIN"));
    }

    void memberIdsFromOneAddressAreRationed()
    {
        LinkClient bob(server.get(), 4040, &now), eve(server.get(), 4041, &now);
        join(bob, "Bob", "BBBBBBBB#", 1);
        eve.peer = Endpoint::ipv4(kAttacker, 4041);
        QSet<QString> ids;
        for (int i = 0; i < 100; ++i) {
            eve.presence("Eve", QStringLiteral("EVE%1!").arg(i, 5, 10, QLatin1Char('0')), 1);
            eve.poll();
        }
        bob.drain();
        for (const QString &r : bob.take(5))
            ids << GetS(r, "E");
        QCOMPARE(ids.size(), server->limits().maxSessionsPerAddress);
        QVERIFY(eve.received.join(u'\n').contains("member ID too often"));
        // Coming back under an ID used lately costs nothing; a new one waits.
        eve.presence("Eve", "EVE00003!", 1);
        eve.poll();
        bob.poll();
        QCOMPARE(GetS(bob.take(5).value(0), "E"), QStringLiteral("EVE00003!"));
        now += server->limits().newIdIntervalMs;
        eve.presence("Eve", "EVE99999!", 1);
        eve.poll();
        bob.poll();
        QCOMPARE(GetS(bob.take(5).value(0), "E"), QStringLiteral("EVE99999!"));
    }

    void forgedFirstPollsAgainstTheRealServer()
    {
        QProcess server;
        server.setReadChannel(QProcess::StandardError);
        server.start(qEnvironmentVariable("HCHAT_BIN_DIR") + "/hchat-server", {"--listen", "127.0.0.1:0"});
        QByteArray log;
        while (!log.contains(")\n") && server.waitForReadyRead(10000))
            log += server.readAllStandardError();
        const quint16 port = log.mid(log.indexOf("(port ") + 6).split(')').first().toUShort();
        QVERIFY2(port != 0, log.constData());
        // The forger shares her address and port; she, bound last, gets every reply.
        QUdpSocket forger, her;
        const auto share = QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;
        QVERIFY(forger.bind(QHostAddress::LocalHost, 0, share));
        QVERIFY(her.bind(QHostAddress::LocalHost, forger.localPort(), share));
        // Sends one poll, then polls on, confirming each reply, until one brings nothing.
        int k = 0;
        auto talk = [&](QUdpSocket &from, const QByteArray &records, const QByteArray &token,
                        const QByteArray &previous = {}) {
            QByteArray all, sent = records;
            quint32 last = 0;
            for (int polls = 0; polls < 8; ++polls) {
                k = k % 9 + 1;
                from.writeDatagram(sent + PollHeader::build(k, token, last, previous) + "\r\n",
                                   QHostAddress::LocalHost, port);
                sent.clear();
                if (!her.waitForReadyRead(5000))
                    break;
                const QByteArray got = her.receiveDatagram().data();
                all += got;
                const auto a = AckHeader::parse(QByteArrayView(got).first(qMax(0, int(got.indexOf('\n')))));
                if (!a || a->reply == 0 || token.isEmpty())
                    break;
                last = a->reply;
            }
            return all;
        };
        auto tokenOf = [](const QByteArray &reply) {
            return AckHeader::parse(QByteArrayView(reply).first(qMax(0, int(reply.indexOf('\n')))))
                ->token.toByteArray();
        };
        const QByteArray hello = "<R>5</R><O>1</O><E>AAAAAAAA!</E><N>Ann</N><I>5|0</I><#>1</#><W>-1</W>\n";
        const QByteArray token = tokenOf(talk(her, hello, {}));
        QVERIFY(!token.isEmpty());
        QVERIFY(talk(her, "<R>7</R><O>2</O><#>10</#><N>Mine</N><S>pw</S>\n", token).contains("were saved"));
        // Forged first polls with her ID: never her token, never her room.
        for (int i = 0; i < 3; ++i) {
            const QByteArray forged = tokenOf(talk(forger, hello, {}));
            QVERIFY(forged != token);
            const QByteArray refused = talk(
                forger, "<R>7</R><O>" + QByteArray::number(20 + i) + "</O><#>10</#><N>Stolen</N>\n", forged);
            QVERIFY2(refused.contains("Only staff or the administrator of room 10"), refused.constData());
        }
        // Her client is served again as soon as it announces itself.
        const QByteArray back = tokenOf(talk(her, hello, {}, token));
        const QByteArray saved = talk(her, "<R>7</R><O>30</O><#>10</#><N>Mine again</N><S>pw</S>\n", back);
        QVERIFY2(saved.contains("were saved"), saved.constData());
        server.terminate();
        QVERIFY(server.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestAddressLimits)
#include "tst_addresslimits.moc"
