// 100,000 hostile datagrams against the chat server: mangled polls of real
// members (their tokens, their addresses), polls from made-up addresses and
// plain noise. The server never crashes, never answers past its limits or
// more than it was sent before a token comes back, and still serves its
// members afterwards.
#include "protocol/pollheader.h"
#include "protocol/wirelimits.h"
#include "server/chatserver.h"
#include "server/linkclient.h"

#include <QRandomGenerator>
#include <QTest>

using namespace hchat;

namespace {

const QList<QByteArray> records = {
    "<R>1</R><O>7</O><F>255</F><#>1</#><M>hello</M>",
    "<R>5</R><O>8</O><E>FUZZFUZZ1</E><N>fuzz</N><I>5|0</I><#>1</#><W>2</W><T>1400</T>",
    "<R>3</R><N>Ann</N><E>AAAAAAAA!</E><M>psst</M>",
    "<R>4</R><#>1</#>",
    "<R>6</R><U>http://x</U><M>away</M>",
    "<R>7</R><#>6</#><N><<B>B>x<</B>/B></N><S>s</S><B>b</B><G>Ann||Bob</G>",
    "<R>8</R><N>Bob</N><E>BBBBBBBB#</E><#>1</#><S>s</S>",
    "<R>9</R><#>6</#><M>bulletin||text</M>",
    "<R>11</R><#>99999999999</#>",
    "<R>12</R>",
    "<R>13</R><N>Bob</N>",
    "<R>15</R><#>1</#>",
    "<R>16</R><#>1</#>",
    "<R>17</R>",
    "<R>20</R><#>6</#>",
    "<R>21</R><#>0</#>",
    "<R>25</R><#>5</#><B>key</B><W>1</W>",
    "<R>28</R><#>6</#><S>s</S>",
    "<R>5</R><E>AAAAAAAA!</E><N>Ann</N><#>-1</#><W>-1</W>",
};

QByteArray mutate(QByteArray d, QRandomGenerator &rng)
{
    const int edits = rng.bounded(6);
    for (int e = 0; e < edits; ++e) {
        const int pos = d.isEmpty() ? 0 : rng.bounded(int(d.size()));
        switch (rng.bounded(6)) {
        case 0:
            if (!d.isEmpty())
                d[pos] = char(rng.bounded(256));
            break;
        case 1:
            d.remove(pos, rng.bounded(12));
            break;
        case 2:
            d.insert(pos, QByteArrayList({"<", ">", "</", "\n", "\r\n", "||", "<R>5</R>", "<O>1</O>", "\xc3",
                                          "\xff", QByteArray(1, '\0'), "-1", "999999999999"})
                              .at(rng.bounded(13)));
            break;
        case 3:
            d.insert(pos, d.mid(pos, rng.bounded(200)));
            break;
        case 4:
            d.truncate(pos);
            break;
        default:
            d.insert(pos, QByteArray(rng.bounded(rng.bounded(8) == 0 ? 9000 : 300), char(rng.bounded(256))));
            break;
        }
    }
    return d;
}

} // namespace

class TestServerFuzz : public QObject
{
    Q_OBJECT

private slots:
    void hundredThousandDatagrams()
    {
        qint64 now = 1000;
        RoomStore rooms;
        rooms.load();
        rooms.setFields(5, "<N>Traders</N><S>admin</S><B>key</B>");
        ChatServer server(&rooms);
        LinkClient ann(&server, 4000, &now), bob(&server, 4001, &now);
        ann.presence("Ann", "AAAAAAAA!", 1);
        bob.presence("Bob", "BBBBBBBB#", 1);
        ann.drain();
        bob.drain();
        // A sealed member: her handshake and sealed polls, mangled, go to the gate.
        SealedGate gate(&server, SealKeyPair::generate());
        LinkClient eve(&server, 4003, &now);
        eve.seal(&gate, SealKeyPair::generate(), gate.key().publicKey);
        eve.presence("Eve", "EEEEEEEE!", 1);
        eve.poll();
        QByteArrayList sealedSamples{eve.lastPoll};
        const QByteArray strangeTokens[] = {"zz", "10", QByteArray(), "AAAAAAAA"};
        const Endpoint strangers[] = {Endpoint::ipv4(0x0a000001, 53), Endpoint::ipv4(0x0a000002, 9),
                                      Endpoint::ipv4(0x7f000001, 4002)};

        QRandomGenerator rng(20260512);
        for (int i = 0; i < 100000; ++i) {
            // Mostly a member's own token from its own address, so the records
            // get as far as the handlers; else anything from anywhere.
            LinkClient &member = rng.bounded(2) ? ann : bob;
            const bool own = rng.bounded(4) != 0;
            const Endpoint from = own ? member.peer : strangers[rng.bounded(int(std::size(strangers)))];
            QByteArray d;
            if (rng.bounded(8) == 0) {
                d.resize(rng.bounded(rng.bounded(10) == 0 ? 10000 : 400));
                for (char &c : d)
                    c = char(rng.bounded(256));
            } else {
                const int n = rng.bounded(rng.bounded(10) == 0 ? 120 : 6);
                for (int r = 0; r < n; ++r)
                    d += records.at(rng.bounded(int(records.size()))) + '\n';
                const QByteArray token =
                    own ? member.token() : strangeTokens[rng.bounded(int(std::size(strangeTokens)))];
                d += PollHeader::build(rng.bounded(11), token, rng.bounded(3) ? quint32(rng.bounded(5)) : 0) +
                     "\r\n";
                d = mutate(d, rng);
            }
            if (i % 4 == 1) {
                d = mutate(sealedSamples.at(rng.bounded(int(sealedSamples.size()))), rng);
                if (rng.bounded(4) == 0 && !d.isEmpty())
                    d[0] = char(1 + rng.bounded(6));
                SealedGate::Datagrams out;
                gate.handle(from, d, now, &out);
                for (const auto &o : out) // nothing forged or replayed gets more back than it sent
                    QVERIFY(o.second.size() <= d.size());
                continue;
            }
            const int before = server.sessionCount();
            const QByteArray reply = server.handleDatagram(from, d, now);
            QVERIFY(reply.size() <= WireLimits::maxReplyBytes);
            // A session just opened has not heard back from its address yet.
            if (server.sessionCount() > before)
                QVERIFY2(reply.size() <= d.size(), reply.constData());
            now += rng.bounded(50);
            if (i % 1000 == 0)
                server.tick(now);
            // The members' own clients keep their sessions going (announcing
            // themselves again when the noise ended them).
            if (i % 200 == 0)
                for (LinkClient *c : {&ann, &bob, &eve})
                    c->poll();
            if (i % 5000 == 0)
                sealedSamples << eve.lastPoll;
        }
        QVERIFY(server.sessionCount() <= server.limits().maxSessions);
        // The noise got as far as the handlers, not just the header check.
        QVERIFY2(server.stats().records > 20000, qPrintable(QString::number(server.stats().records)));

        // Whatever the noise did to the rooms, the server still serves.
        now += server.limits().idleMs;
        server.tick(now);
        rooms.setFields(3, "<N>Quiet</N>");
        LinkClient cy(&server, 5000, &now), di(&server, 5001, &now);
        for (LinkClient *c : {&cy, &di}) {
            c->presence(c == &cy ? "Cy" : "Di", c == &cy ? "CYCYCYCY1" : "DIDIDIDI1", 3);
            c->drain();
        }
        di.received.clear();
        cy.say(3, "still here");
        cy.drain();
        di.drain();
        QVERIFY(di.received.join(u'\n').contains("Cy:  still here"));
        QCOMPARE(eve.sealed->state(), SealState::Encrypted);
        QVERIFY(gate.counters().dropped + gate.counters().unknownSessions > 5000);
    }
};

QTEST_GUILESS_MAIN(TestServerFuzz)
#include "tst_serverfuzz.moc"
