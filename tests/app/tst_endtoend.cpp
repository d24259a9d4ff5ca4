// Client and server together: the real link code over real loopback UDP,
// no window. Time is driven by hand on both sides; the only waits are for
// datagrams in flight.
#include "protocol/wirelimits.h"
#include "server/chatserver.h"
#include "server/memberstore.h"
#include "server/udpserver.h"
#include "support/loopbackmember.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;

namespace {

// "colour|text" of every line a transcript showed.
QStringList coloured(const test::FakeSink &sink, const QString &transcript)
{
    QStringList out;
    int colour = -1;
    for (const test::FakeSink::Call &c : sink.calls) {
        if (c.name == QLatin1String("setLineColor"))
            colour = c.args.value(0).toInt();
        else if (c.name == transcript)
            out << QStringLiteral("%1|%2").arg(colour).arg(c.text);
    }
    return out;
}

struct Client : test::LoopbackMember {
    QStringList privateMessages; ///< lines of every private message that arrived

    Client(const QString &nick, int room, int colour, quint16 port, const QDateTime *clock)
        : LoopbackMember(nick, room, QStringLiteral("127.0.0.1:%1").arg(port))
    {
        session.setClock([clock] { return *clock; });
        session.set(&ChatSettings::fontColor, colour);
        QObject::connect(
            &session.privateMessages(), &PrivateMessages::messageArrived,
            [this](const QString &, const QString &, const QString &line, int) { privateMessages << line; });
    }
    void say(const QString &text) { QCOMPARE(session.textEntry().submit(text), TextEntry::Result::Sent); }
    void pm(const Client &to, const QString &text)
    {
        QCOMPARE(session.privateMessages().send(to.session.settings().nick, to.session.ownId(), text),
                 TextEntry::Result::Sent);
    }
    QStringList rosterNicks() const
    {
        QStringList nicks;
        for (int i = 0; i < session.roster().count(); ++i)
            nicks << session.roster().entry(i).nick;
        nicks.sort();
        return nicks;
    }
    /// The first room's lines that hold `prefix`, in order.
    QStringList linesOf(const QString &prefix) const { return sink.texts("TimeStamp").filter(prefix); }
    /// How many own lines were marked `state`.
    int marked(OwnLineState state) const
    {
        return int(
            std::count_if(sink.calls.cbegin(), sink.calls.cend(), [state](const test::FakeSink::Call &c) {
                return c.name == "setOwnLineState" && c.args.value(1).toInt() == int(state);
            }));
    }
};

// step() takes any reply the server sends while a client waits for its own
// for that client's: under loss the polls that news of others' lines brings
// would pass for it.
ServerLimits withoutNewsUnderFaults(const FaultSettings &faults)
{
    ServerLimits limits;
    limits.news = faults.drop == 0 && faults.dup == 0;
    return limits;
}

struct Server {
    RoomStore rooms;
    MemberStore members;
    ChatServer chat;
    UdpServer udp{&chat};
    QStringList accepted; ///< "nick|room|text" of every line taken from a client

    Server(quint16 port, const qint64 *clock, const FaultSettings &faults = {}, const QString &data = {})
        : rooms(data), members(data), chat(&rooms, withoutNewsUnderFaults(faults))
    {
        rooms.load();
        chat.setMemberStore(&members);
        chat.restoreMembers(*clock);
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
        bob.sink.clear();
        for (int i = 0; i < 5; ++i) {
            ann.session.textEntry().submit(QStringLiteral("line %1").arg(i));
            rounds({&ann, &bob}, 1, server->udp);
        }
        rounds({&ann, &bob}, 10, server->udp);
        QStringList expected;
        for (int i = 0; i < 5; ++i)
            expected << QStringLiteral("%1|Ann:  line %2").arg(0x0000ff).arg(i);
        QCOMPARE(coloured(bob.sink, "TimeStamp"), expected);
        QCOMPARE(server->accepted.size(), 5);

        // A private message and a page arrive.
        QSignalSpy pm(&bob.session.privateMessages(), &PrivateMessages::messageArrived);
        ann.session.privateMessages().send("Bob", bob.session.ownId(), "psst");
        ann.session.memberCommands().run(MemberCommands::Command::Page, {"Bob", bob.session.ownId()});
        rounds({&ann, &bob}, 10, server->udp);
        QCOMPARE(pm.size(), 1);
        QCOMPARE(pm.first().at(0).toString(), QStringLiteral("Ann"));
        QVERIFY(pm.first().at(2).toString().contains("psst"));
        QVERIFY(bob.sink.notices().filter("Ann").size() >= 1);

        // A room change moves A out of B's roster; B then watches A's new
        // room as second room and sees A's line there.
        ann.session.roomHandling().setFirstRoom(3);
        rounds({&ann, &bob}, 16, server->udp);
        QCOMPARE(bob.rosterNicks(), QStringList{"Bob"});
        bob.session.roomHandling().setSecondRoom(3);
        bob.session.roomHandling().setShowSecond(true);
        rounds({&ann, &bob}, 16, server->udp);
        ann.session.textEntry().submit("over here");
        rounds({&ann, &bob}, 10, server->udp);
        QCOMPARE(bob.sink.texts("TimeStamp2").filter("Ann:  over here").size(), 1);
        QCOMPARE(bob.sink.texts("TimeStamp").filter("over here").size(), 0);

        // The server restarts: both clients are asked to announce themselves
        // again and carry on.
        server.reset();
        server = std::make_unique<Server>(port, &serverNow);
        rounds({&ann, &bob}, 24, server->udp);
        QCOMPARE(server->chat.sessionCount(), 2);
        ann.session.textEntry().submit("after the restart");
        rounds({&ann, &bob}, 10, server->udp);
        QCOMPARE(bob.sink.texts("TimeStamp2").filter("Ann:  after the restart").size(), 1);
    }

    // What a person typed into a profile or a bulletin comes back as typed:
    // line breaks as line breaks, a typed "||" or closing tag as itself.
    void profilesAndBulletinsArriveAsTyped()
    {
        Server server(0, &serverNow);
        Client ann("Ann", 1, 0x0000ff, server.udp.port(), &clientNow);
        Client bob("Bob", 1, 0x008000, server.udp.port(), &clientNow);
        const QString typed = QStringLiteral("a || b </M><M>c |\\ d\r\nnext line é");
        ann.session.set(&ChatSettings::profile, typed); // stored line breaks are "||" already
        rounds({&ann, &bob}, 12, server.udp);
        bob.sink.clear();
        bob.session.memberCommands().run(MemberCommands::Command::UserProfile, {"Ann", ann.session.ownId()});
        rounds({&ann, &bob}, 6, server.udp);
        const QStringList notices = bob.sink.notices();
        QCOMPARE(notices.mid(notices.indexOf("Profile of Ann:") + 1),
                 QStringList{QString(typed).replace("||", "\r\n")});

        QStringList bulletins;
        QObject::connect(&bob.session, &ChatSession::bulletinArrived, [&](int room, const QString &text) {
            bulletins << QString::number(room) + ':' + text;
        });
        const QString bulletin = typed + QStringLiteral("\r\n") + QString(2000, QChar(0x20AC));
        ann.session.roomHandling().writeBulletin(1, bulletin);
        rounds({&ann, &bob}, 6, server.udp);
        bob.session.roomHandling().requestBulletin(1);
        rounds({&ann, &bob}, 6, server.udp);
        QCOMPARE(bulletins, QStringList{"1:" + bulletin});
    }

    void everyLineOnceUnderLossAndDuplication()
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

        // Lines and private messages both ways, with runs of the same text.
        QStringList fromAnn, fromBob, pmsFromAnn, pmsFromBob;
        for (int i = 0; i < 200; ++i) {
            const QString line =
                i % 20 >= 15 ? QStringLiteral("same again") : QStringLiteral("line %1").arg(i);
            ann.say(line);
            bob.say(line);
            fromAnn << "Ann:  " + line;
            fromBob << "Bob:  " + line;
            if (i % 4 == 0) {
                const QString pm = i % 16 < 8 ? QStringLiteral("psst") : QStringLiteral("pm %1").arg(i);
                ann.pm(bob, pm);
                bob.pm(ann, pm);
                pmsFromAnn << "Ann:  " + pm;
                pmsFromBob << "Bob:  " + pm;
            }
            rounds({&ann, &bob}, 1, server.udp);
        }
        rounds({&ann, &bob}, 120, server.udp);

        QCOMPARE(bob.linesOf("Ann:  "), fromAnn);
        QCOMPARE(ann.linesOf("Bob:  "), fromBob);
        QCOMPARE(bob.privateMessages, pmsFromAnn);
        QCOMPARE(ann.privateMessages, pmsFromBob);
        // Every own line was marked delivered, none is left pending.
        for (Client *c : {&ann, &bob}) {
            QCOMPARE(c->session.ownLines().pendingCount(), 0);
            QCOMPARE(c->marked(OwnLineState::NotDelivered), 0);
            QCOMPARE(c->marked(OwnLineState::Delivered), 200);
        }
        const UdpServer::Counters &n = server.udp.counters();
        QVERIFY(n.droppedIn > 0 && n.droppedOut > 0);
        qInfo("%llu polls, %llu dropped in, %llu dropped out; %llu replies sent again, %llu records resent",
              qulonglong(n.datagramsIn), qulonglong(n.droppedIn), qulonglong(n.droppedOut),
              qulonglong(server.chat.stats().repliesResent), qulonglong(server.chat.stats().resentSkipped));
    }

    void renameSeenByAThirdMember()
    {
        auto server = std::make_unique<Server>(0, &serverNow);
        const quint16 port = server->udp.port();
        Client ann("Ann", 1, 0x0000ff, port, &clientNow), bob("Bob", 1, 0x008000, port, &clientNow),
            cy("Cy", 1, 0xff0000, port, &clientNow);
        rounds({&ann, &bob, &cy}, 12, server->udp);
        ann.session.connection().takeIdentity("AnnK", ann.session.settings().icon);
        rounds({&ann, &bob, &cy}, 12, server->udp);
        for (const Client *c : {&ann, &cy})
            QCOMPARE(c->rosterNicks(), QStringList({"AnnK", "Bob", "Cy"}));
        QCOMPARE(cy.sink.notices().filter("Ann is now known as AnnK").size(), 1);
    }

    void twoSendersInOneTickSeeOneOrder()
    {
        auto server = std::make_unique<Server>(0, &serverNow);
        Client ann("Ann", 1, 0x0000ff, server->udp.port(), &clientNow),
            bob("Bob", 1, 0x008000, server->udp.port(), &clientNow);
        rounds({&ann, &bob}, 12, server->udp);
        bob.say("said first?");
        ann.say("said second?");
        rounds({&bob, &ann}, 2, server->udp);
        QVERIFY(QTest::qWaitFor([&] { return bob.sink.windowTexts().filter("?").size() == 2; }, 2000));
        QCOMPARE(ann.sink.windowTexts().filter("?"),
                 QStringList({"Bob:  said first?", "Ann:  said second?"}));
        QCOMPARE(bob.sink.windowTexts().filter("?"), ann.sink.windowTexts().filter("?"));
    }

    void anIdleMemberHearsALineAtOnce()
    {
        auto server = std::make_unique<Server>(0, &serverNow);
        Client ann("Ann", 1, 0x0000ff, server->udp.port(), &clientNow),
            bob("Bob", 1, 0x008000, server->udp.port(), &clientNow);
        rounds({&ann, &bob}, 12, server->udp);
        // Bob's clock stands still: only the server's news makes him poll.
        ann.say("quick");
        step(ann, server->udp);
        QVERIFY(QTest::qWaitFor([&] { return bob.linesOf("Ann:  quick").size() == 1; }, 2000));
    }

    void serverRestartWhileBothType()
    {
        QTemporaryDir data;
        auto server = std::make_unique<Server>(0, &serverNow, FaultSettings{}, data.path());
        const quint16 port = server->udp.port();
        Client ann("Ann", 1, 0x0000ff, port, &clientNow);
        Client bob("Bob", 1, 0x008000, port, &clientNow);
        rounds({&ann, &bob}, 12, server->udp);
        QCOMPARE(server->chat.sessionCount(), 2);

        // Stopped for 40 s (80 ticks). Ann types more than her outbox holds.
        server.reset();
        QStringList fromAnn, fromBob;
        for (int tick = 0; tick < 80; ++tick) {
            clientNow = clientNow.addMSecs(500);
            serverNow += 500;
            const int lines = tick % 2 == 0 ? 2 : 1;
            for (int l = 0; l < lines; ++l) {
                fromAnn << QStringLiteral("Ann:  outage %1").arg(fromAnn.size());
                ann.say(fromAnn.last().mid(6));
            }
            if (tick % 3 == 0 || tick == 79) {
                fromBob << QStringLiteral("Bob:  meanwhile %1").arg(fromBob.size());
                bob.say(fromBob.last().mid(6));
            }
            ann.session.tick();
            bob.session.tick();
        }
        QVERIFY(ann.session.connection().isLost() && bob.session.connection().isLost());
        const int over = int(fromAnn.size()) - WireLimits::maxQueuedRecords;
        QVERIFY(over > 0);
        QCOMPARE(ann.marked(OwnLineState::NotDelivered), over);
        QCOMPARE(ann.sink.notices().filter("Not delivered (too many lines waiting").size(), over);

        server = std::make_unique<Server>(port, &serverNow, FaultSettings{}, data.path());
        rounds({&ann, &bob}, 30, server->udp);
        QCOMPARE(server->chat.sessionCount(), 2);
        // What the outbox held arrives once, in order; the oldest were
        // marked not delivered.
        QCOMPARE(bob.linesOf("Ann:  outage"), fromAnn.mid(over));
        QCOMPARE(ann.linesOf("Bob:  meanwhile"), fromBob);
        QCOMPARE(ann.session.ownLines().pendingCount(), 0);
        QCOMPARE(bob.session.ownLines().pendingCount(), 0);
        QCOMPARE(bob.marked(OwnLineState::NotDelivered), 0);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
