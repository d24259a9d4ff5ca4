// The user's own lines through the real connection and link: pending until
// the server takes them, kept through a lost link, refused out loud.
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/wirelimits.h"
#include "support/fakesink.h"
#include "support/faketransport.h"
#include "support/testsession.h"

#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using hchat::test::FakeSink;
using Result = TextEntry::Result;

namespace {

QByteArray ack(int k, const QByteArray &records = {}, int reply = 0)
{
    return "<R>0</R><K>" + QByteArray::number(k) + "</K><Q>0</Q><L>tk</L>" +
           (reply > 0 ? "<Y>" + QByteArray::number(reply) + "</Y>" : QByteArray()) + "\n" + records;
}

QStringList kindsCarried(const QByteArray &datagram)
{
    QStringList kinds;
    for (const QString &r :
         QString::fromUtf8(datagram.left(datagram.lastIndexOf("<R>0</R>"))).split(u'\n', Qt::SkipEmptyParts))
        kinds << GetS(r, "R");
    return kinds;
}

} // namespace

class TestOwnLines : public QObject
{
    Q_OBJECT

    FakeSink sink;
    FakeTransport transport;
    std::unique_ptr<ChatSession> s;

    int k() const { return s->connection().link().sequence(); }
    // The number the sink was told for the last own line shown.
    quint32 lastNumber() const
    {
        quint32 n = 0;
        for (const auto &c : sink.calls)
            if (c.name == "setOwnLineNumber")
                n = c.args.value(0).toUInt();
        return n;
    }
    // Every state the sink was told for own line `number`: "state|reason".
    QStringList states(quint32 number) const
    {
        QStringList out;
        for (const auto &c : sink.calls)
            if (c.name == "setOwnLineState" && c.args.value(0).toUInt() == number)
                out << QStringLiteral("%1|%2").arg(c.args.value(1).toInt()).arg(c.text);
        return out;
    }
    QString delivered() const { return QStringLiteral("%1|").arg(int(OwnLineState::Delivered)); }
    QString notDelivered(const QString &why) const
    {
        return QStringLiteral("%1|%2").arg(int(OwnLineState::NotDelivered)).arg(why);
    }

private slots:
    void init()
    {
        transport = FakeTransport();
        s = std::make_unique<ChatSession>();
        hchat::test::wireSession(*s, sink);
        s->set(&ChatSettings::nick, "Ann");
        s->set(&ChatSettings::room, 1);
        s->connection().open(&transport);
        s->tick(); // announces
        transport.deliver(ack(k()));
        sink.clear();
        transport.take();
    }
    void cleanup() { s.reset(); }

    void pendingUntilTheServerTakesIt()
    {
        QCOMPARE(s->textEntry().submit("hello"), Result::Sent);
        const quint32 n = lastNumber();
        QVERIFY(n != 0);
        QVERIFY(s->ownLines().isPending(n));
        QVERIFY(states(n).isEmpty()); // shown pending, nothing more yet
        s->tick();
        transport.deliver(ack((k() + 5) % 10)); // somebody else's acknowledgement
        QVERIFY(states(n).isEmpty());
        transport.deliver(ack(k()));
        QCOMPARE(states(n), QStringList{delivered()});
        QVERIFY(!s->ownLines().isPending(n));
    }

    void refusedByTheServer()
    {
        s->textEntry().submit("in the wrong room");
        const quint32 n = lastNumber();
        s->tick();
        const QByteArray refusal = "<R>1</R><O>" + QByteArray::number(n) +
                                   "</O><M>You are not in room 1; the line was not sent.</M>\n";
        transport.deliver(ack(k(), refusal, 1));
        QCOMPARE(states(n),
                 (QStringList{delivered(), notDelivered("You are not in room 1; the line was not sent.")}));
    }

    void keptThroughALostLinkAndSentAfterTheAnnouncement()
    {
        s->textEntry().submit("one");
        for (int i = 0; i <= DatagramLink::silenceLimit; ++i)
            s->tick();
        QVERIFY(s->connection().isLost());
        s->textEntry().submit("two");
        const quint32 two = lastNumber();
        transport.take();
        // The server came back without our session.
        transport.deliver("<R>0</R><K>10</K><L>10</L>\n");
        s->tick();
        QCOMPARE(kindsCarried(transport.last()), (QStringList{"5", "25", "12"}));
        transport.deliver(ack(k()));
        s->tick();
        QCOMPARE(kindsCarried(transport.last()), (QStringList{"1", "1"}));
        transport.deliver(ack(k()));
        QCOMPARE(states(two), QStringList{delivered()});
        QCOMPARE(s->ownLines().pendingCount(), 0);
    }

    void aFullOutboxGivesUpTheOldestOutLoud()
    {
        QList<quint32> numbers;
        for (int i = 0; i <= WireLimits::maxQueuedRecords; ++i) {
            s->textEntry().submit(QStringLiteral("line %1").arg(i));
            numbers << lastNumber();
        }
        QCOMPARE(states(numbers.first()), QStringList{notDelivered("too many lines waiting for the server")});
        QVERIFY(sink.texts("ShowMessage")
                    .contains("Not delivered (too many lines waiting for the server): line 0"));
        QVERIFY(states(numbers.at(1)).isEmpty());
    }

    void privateMessages()
    {
        QSignalSpy changed(&s->ownLines(), &OwnLines::stateChanged);
        QSignalSpy sent(&s->privateMessages(), &PrivateMessages::messageSent);
        QCOMPARE(s->privateMessages().send("Zed", "ZZZZZZZZ1", "psst"), Result::Sent);
        const quint32 n = sent.first().at(4).toUInt();
        QVERIFY(n != 0);
        s->tick();
        transport.deliver(ack(k(),
                              "<R>3</R><O>" + QByteArray::number(n) +
                                  "</O><N>Zed</N><E>ZZZZZZZZ1</E><M>Zed is not in the chat</M><A>1</A>\n",
                              1));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.last().at(0).toUInt(), n);
        QCOMPARE(changed.last().at(1).value<OwnLineState>(), OwnLineState::NotDelivered);
        QCOMPARE(changed.last().at(2).toString(), QStringLiteral("Zed is not in the chat"));
        // Once the chat is closed nothing is shown as sent.
        s->connection().close();
        QString why;
        QCOMPARE(s->privateMessages().send("Bob", "BOBBOBBO#", "still there?", &why), Result::Refused);
        QCOMPARE(why, PrivateMessages::chatClosedText());
        QCOMPARE(sent.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestOwnLines)
#include "tst_ownlines.moc"
