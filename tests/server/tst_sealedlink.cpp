// The sealed link against the real chat server in-process: the client's
// SealedTransport and DatagramLink, the server's SealedGate and ChatServer.
#include "protocol/pollheader.h"
#include "server/chatserver.h"
#include "server/linkclient.h"
#include "server/sealedgate.h"

#include <QTest>

using namespace hchat;

class TestSealedLink : public QObject
{
    Q_OBJECT

    qint64 now = 1000;
    RoomStore rooms;
    std::unique_ptr<ChatServer> server;
    std::unique_ptr<SealedGate> gate;
    MemberKeys keys;
    const SealKeyPair serverKey = SealKeyPair::generate();

    void join(LinkClient &c, const QString &nick, const QString &id, const SealKeyPair *member = nullptr)
    {
        if (member)
            c.seal(gate.get(), *member, serverKey.publicKey);
        else
            c.gate = gate.get();
        c.presence(nick, id, 1);
        c.drain();
    }

private slots:
    void init()
    {
        rooms.load();
        keys = MemberKeys();
        server = std::make_unique<ChatServer>(&rooms);
        server->setMemberKeys(&keys);
        gate = std::make_unique<SealedGate>(server.get(), serverKey);
    }

    void sealedAndPlainMembersTalk()
    {
        LinkClient ann(server.get(), 4000, &now), bob(server.get(), 4001, &now);
        const SealKeyPair annKey = SealKeyPair::generate();
        join(ann, "Ann", "AAAAAAAA!", &annKey);
        join(bob, "Bob", "BBBBBBBB!");
        QCOMPARE(ann.sealed->state(), SealState::Encrypted);
        QCOMPARE(gate->counters().handshakes, 1u);
        ann.say(1, "sealed hello");
        ann.drain();
        bob.drain();
        QVERIFY(bob.take(1).join("").contains("sealed hello"));
        QCOMPARE(bob.lastReply.front(), '<');
        // Lines pile up for Ann; her next handshake's answer never outgrows it.
        for (int i = 0; i < 4; ++i)
            bob.say(1, QString(500, u'x'));
        bob.drain();
        ann.sealed->restart();
        ann.poll();
        QCOMPARE(ann.lastPoll.front(), char(SealWire::Handshake));
        QCOMPARE(ann.lastRaw.front(), char(SealWire::HandshakeAnswer));
        QVERIFY(ann.lastRaw.size() <= ann.lastPoll.size());
        ann.drain();
        QCOMPARE(ann.take(1).size(), 4);
    }

    void memberIdBoundToItsKey_data()
    {
        QTest::addColumn<bool>("sealed");
        QTest::newRow("under another key") << true;
        QTest::newRow("plain") << false;
    }
    void memberIdBoundToItsKey()
    {
        QFETCH(bool, sealed);
        const SealKeyPair annKey = SealKeyPair::generate(), otherKey = SealKeyPair::generate();
        LinkClient ann(server.get(), 4000, &now), eve(server.get(), 4002, &now);
        join(ann, "Ann", "AAAAAAAA!", &annKey);
        now += server->limits().lostMs + 1000; // Ann's session counts as lost: only the key holds
        join(eve, "Eve", "AAAAAAAA!", sealed ? &otherKey : nullptr);
        QVERIFY(eve.lastReply.contains("<K>10</K>")); // announce again: refused
        LinkClient annAgain(server.get(), 4003, &now);
        join(annAgain, "Ann", "AAAAAAAA!", &annKey);
        QVERIFY(!annAgain.lastReply.contains("<K>10</K>"));
        QCOMPARE(server->sessionCount(), 1);
    }

    void forgedOrRefusedDatagramsDoNothing_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *f : {"flipped bit", "replay", "other key", "replayed handshake", "plain from sealed",
                              "sealed only", "unknown index", "handshakes past the allowance"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void forgedOrRefusedDatagramsDoNothing()
    {
        QFETCH(QString, fault);
        LinkClient ann(server.get(), 4000, &now);
        const SealKeyPair annKey = SealKeyPair::generate();
        join(ann, "Ann", "AAAAAAAA!", &annKey);
        ann.say(1, "once");
        ann.poll();
        QByteArray d = ann.lastPoll;
        if (fault == "flipped bit")
            d[d.size() - 20] ^= 1;
        if (fault == "other key")
            d = SealedChannel(0, *SealWire::indexOf(d), QByteArray(32, 'k'), QByteArray(32, 'k'), {})
                    .seal("<R>0");
        if (fault == "replayed handshake")
            ann.sealed->restart(), ann.poll(), d = ann.lastPoll;
        if (fault == "plain from sealed")
            d = PollHeader::build(3, ann.token(), 0) + "\r\n";
        if (fault == "sealed only") {
            gate->setSealedOnly(true);
            ann.gate = nullptr;
            d = PollHeader::build(3, {}, 0) + "\r\n";
            ann.peer.port = 5000;
        }
        if (fault == "unknown index")
            d.replace(1, 4, "\xff\xff\xff\x7f");
        for (int i = 0; fault.startsWith("handshakes") && i < server->limits().maxSessionsPerAddress; ++i)
            ann.sealed->restart(), ann.poll(), d = ann.lastPoll;
        const auto before = gate->counters();
        SealedGate::Datagrams out;
        const quint64 pollsBefore = server->stats().polls;
        gate->handle(ann.peer, d, now, &out);
        QCOMPARE(server->stats().polls, pollsBefore);
        if (fault == "unknown index") {
            QCOMPARE(out.value(0).second, SealWire::sessionUnknown(*SealWire::indexOf(d)));
            return;
        }
        QVERIFY(out.isEmpty());
        const auto &after = gate->counters();
        QCOMPARE(after.dropped + after.plainRefused + after.handshakesRefused,
                 before.dropped + before.plainRefused + before.handshakesRefused + 1);
    }
};

QTEST_GUILESS_MAIN(TestSealedLink)
#include "tst_sealedlink.moc"
