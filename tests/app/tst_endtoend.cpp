// Client and server together: the real link code over real loopback UDP,
// no window. Time is driven by hand on both sides; the only waits are for
// datagrams in flight.
#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "platform/udptransport.h"
#include "protocol/codec.h"
#include "server/chatserver.h"
#include "server/udpserver.h"
#include "transcript/transcriptsink.h"

#include <QSignalSpy>
#include <QTest>

using namespace hchat;

namespace {

struct RecordingSink : TranscriptSink {
    int colour = 0;
    QStringList first;  ///< "colour|text" of every first-room line
    QStringList second; ///< the same for the second room
    QStringList notices;
    void ShowMessage(const QString &text, bool, bool notice) override
    {
        if (notice)
            notices << text;
    }
    void TimeStamp(const QString &text) override { first << QStringLiteral("%1|%2").arg(colour).arg(text); }
    void TimeStamp2(const QString &text) override { second << QStringLiteral("%1|%2").arg(colour).arg(text); }
    void setLineColor(int rgb) override { colour = rgb; }
    void setStampTime(const QDateTime &) override {}
    void setOwnMessage(bool) override {}
    void SayIt(const QString &, bool) override {}
    void Notify(const QString &) override {}
};

struct CountingTransport : UdpTransport {
    int sent = 0;
    int received = 0;
    void sendDatagram(const QByteArray &datagram) override
    {
        ++sent;
        UdpTransport::sendDatagram(datagram);
    }
};

Catalogue makeCatalogue()
{
    QStringList lines;
    for (int n = 0; n < 600; ++n)
        lines << (n == 456 ? QStringLiteral("456,hh:nn:ss") : QStringLiteral("%1, [%1] ").arg(n));
    return Catalogue(lines);
}

struct Client {
    Catalogue catalogue = makeCatalogue();
    RecordingSink sink;
    CountingTransport transport;
    ChatSession session;

    Client(const QString &nick, int room, int colour, quint16 port, const QDateTime *clock)
    {
        session.catalogue = &catalogue;
        session.sink = &sink;
        session.now = [clock] { return *clock; };
        session.settings.nick = nick;
        session.settings.room = room;
        session.settings.fontColor = colour;
        session.connection.setServerOverride(QStringLiteral("127.0.0.1:%1").arg(port));
        session.connection.open(&transport);
        auto inner = transport.receiver;
        transport.receiver = [this, inner](const QByteArray &d, const QString &h, quint16 p) {
            ++transport.received;
            inner(d, h, p);
        };
    }
    QStringList rosterNicks() const
    {
        QStringList nicks;
        for (int i = 0; i < session.roster.count(); ++i)
            nicks << session.roster.entry(i).nick;
        nicks.sort();
        return nicks;
    }
};

struct Server {
    RoomStore rooms;
    ChatServer chat{&rooms};
    UdpServer udp{&chat};
    QStringList accepted; ///< "nick|room|text" of every line taken from a client

    Server(quint16 port, const qint64 *clock, const FaultSettings &faults = {})
    {
        rooms.load();
        chat.chatLineObserver = [this](const QString &n, int r, const QString &t) {
            accepted << QStringLiteral("%1|%2|%3").arg(n).arg(r).arg(t);
        };
        udp.setClock([clock] { return *clock; });
        udp.setFaults(faults);
        QString error;
        if (!udp.listen(QStringLiteral("127.0.0.1:%1").arg(port), &error))
            qWarning() << error;
    }
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

    qint64 serverNow = 0;
    QDateTime clientNow = QDateTime(QDate(2026, 3, 2), QTime(10, 0));

    // One 500 ms tick of a client. When it polls, waits until the server
    // has read the poll and, if an answer went out, until it is in. The
    // server drops datagrams on purpose only; loopback loses none.
    void step(Client &c, const UdpServer &udp)
    {
        const int sent = c.transport.sent;
        const int received = c.transport.received;
        const UdpServer::Counters before = udp.counters();
        c.session.tick();
        if (c.transport.sent == sent)
            return;
        QVERIFY(QTest::qWaitFor([&] { return udp.counters().datagramsIn > before.datagramsIn; }, 5000));
        if (udp.counters().repliesOut > before.repliesOut)
            QVERIFY(QTest::qWaitFor([&] { return c.transport.received > received; }, 5000));
    }
    void rounds(std::initializer_list<Client *> clients, int n, const UdpServer &udp)
    {
        for (int i = 0; i < n; ++i) {
            serverNow += 500;
            clientNow = clientNow.addMSecs(500);
            for (Client *c : clients)
                step(*c, udp);
        }
    }

private slots:
    void twoClientsChat()
    {
        auto server = std::make_unique<Server>(0, &serverNow);
        const quint16 port = server->udp.port();
        QVERIFY(port != 0);
        Client ann("Ann", 1, 0x0000ff, port, &clientNow);
        Client bob("Bob", 1, 0x008000, port, &clientNow);
        rounds({&ann, &bob}, 12, server->udp);
        QCOMPARE(server->chat.sessionCount(), 2);
        QCOMPARE(bob.rosterNicks(), (QStringList{"Ann", "Bob"}));
        QCOMPARE(ann.rosterNicks(), (QStringList{"Ann", "Bob"}));

        // A's lines reach B once, in order, in A's colour, in room 1.
        bob.sink.first.clear();
        for (int i = 0; i < 5; ++i) {
            ann.session.textEntry.submit(QStringLiteral("line %1").arg(i));
            rounds({&ann, &bob}, 1, server->udp);
        }
        rounds({&ann, &bob}, 10, server->udp);
        QStringList expected;
        for (int i = 0; i < 5; ++i)
            expected << QStringLiteral("%1|Ann:  line %2").arg(0x0000ff).arg(i);
        QCOMPARE(bob.sink.first, expected);
        QCOMPARE(server->accepted.size(), 5);

        // A private message and a page arrive.
        QSignalSpy pm(&bob.session.privateMessages, &PrivateMessages::messageArrived);
        ann.session.privateMessages.send("Bob", bob.session.ownId, "psst");
        ann.session.memberCommands.run(MemberCommands::Command::Page, {"Bob", bob.session.ownId});
        rounds({&ann, &bob}, 10, server->udp);
        QCOMPARE(pm.size(), 1);
        QCOMPARE(pm.first().at(0).toString(), QStringLiteral("Ann"));
        QVERIFY(pm.first().at(2).toString().contains("psst"));
        QVERIFY(bob.sink.notices.filter("Ann").size() >= 1);

        // A room change moves A out of B's roster; B then watches A's new
        // room as second room and sees A's line there.
        ann.session.roomHandling.setFirstRoom(3);
        rounds({&ann, &bob}, 16, server->udp);
        QCOMPARE(bob.rosterNicks(), QStringList{"Bob"});
        bob.session.roomHandling.setSecondRoom(3);
        bob.session.roomHandling.setShowSecond(true);
        rounds({&ann, &bob}, 16, server->udp);
        ann.session.textEntry.submit("over here");
        rounds({&ann, &bob}, 10, server->udp);
        QCOMPARE(bob.sink.second.filter("Ann:  over here").size(), 1);
        QCOMPARE(bob.sink.first.filter("over here").size(), 0);

        // The server restarts: both clients are asked to announce themselves
        // again and carry on.
        server.reset();
        server = std::make_unique<Server>(port, &serverNow);
        rounds({&ann, &bob}, 24, server->udp);
        QCOMPARE(server->chat.sessionCount(), 2);
        ann.session.textEntry.submit("after the restart");
        rounds({&ann, &bob}, 10, server->udp);
        QCOMPARE(bob.sink.second.filter("Ann:  after the restart").size(), 1);
    }

    void lossyNetwork()
    {
        FaultSettings faults;
        faults.drop = 0.2;
        faults.dup = 0.2;
        faults.seed = 20260302;
        Server server(0, &serverNow, faults);
        Client ann("Ann", 1, 0x0000ff, server.udp.port(), &clientNow);
        Client bob("Bob", 1, 0x008000, server.udp.port(), &clientNow);
        rounds({&ann, &bob}, 30, server.udp);
        QCOMPARE(server.chat.sessionCount(), 2);
        bob.sink.first.clear();
        for (int i = 0; i < 200; ++i) {
            ann.session.textEntry.submit(QStringLiteral("lossy %1").arg(i));
            rounds({&ann, &bob}, 1, server.udp);
        }
        rounds({&ann, &bob}, 120, server.udp);

        // Every line reached the server exactly once, in order.
        QStringList expected;
        for (int i = 0; i < 200; ++i)
            expected << QStringLiteral("Ann|1|lossy %1").arg(i);
        QCOMPARE(server.accepted, expected);

        // What B showed: each line at most once per copy that arrived.
        QSet<QString> distinct;
        for (const QString &l : std::as_const(bob.sink.first))
            if (l.contains("Ann:  lossy "))
                distinct.insert(l);
        const int shown = bob.sink.first.filter("Ann:  lossy ").size();
        qInfo("B showed %lld of 200 lines (%.1f%%), %lld shown twice; server stats: %llu retransmissions, "
              "%llu resent records skipped",
              qlonglong(distinct.size()), distinct.size() / 2.0, qlonglong(shown - distinct.size()),
              qulonglong(server.chat.stats().retransmissions), qulonglong(server.chat.stats().resentSkipped));
        QVERIFY(distinct.size() > 100);
        QCOMPARE(shown, int(distinct.size())); // a duplicated datagram is not shown again
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
