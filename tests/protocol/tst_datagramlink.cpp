#include "protocol/datagramlink.h"
#include "protocol/linkevents.h"
#include "protocol/wirelimits.h"
#include "support/faketransport.h"

#include <QTest>

#include <functional>

using namespace hchat;

namespace {

struct Recorder : LinkEvents {
    QStringList shown;
    QList<QPair<int, QString>> records;
    QStringList pagedBy;
    QList<int> bufferSizes;
    int reannounced = 0;
    int lost = 0;
    int restored = 0;
    QList<int> repeatWarnings;
    QList<quint32> delivered;
    QList<quint32> dropped;
    QStringList droppedRecords;
    std::function<void(int, const QString &)> onDispatch;

    void linkShow(const QString &line) override { shown << line; }
    void linkDispatch(int kind, const QString &record) override
    {
        records.append({kind, record});
        if (onDispatch)
            onDispatch(kind, record);
    }
    void linkPaged(const QString &from) override { pagedBy << from; }
    void linkBufferSize(int t) override { bufferSizes << t; }
    void linkReannounce() override { ++reannounced; }
    void linkRepeatWarning(int count, const QString &) override { repeatWarnings << count; }
    void linkLost() override { ++lost; }
    void linkRestored() override { ++restored; }
    void linkDelivered(quint32 number) override { delivered << number; }
    void linkDropped(quint32 number, const QString &record, const QString &) override
    {
        dropped << number;
        droppedRecords << record;
    }
};

QByteArray ack(int k, int q = 0, const QByteArray &token = "ab", const QByteArray &records = {},
               int reply = 0)
{
    QByteArray d = "<R>0</R><K>" + QByteArray::number(k) + "</K><Q>" + QByteArray::number(q) + "</Q>";
    if (!token.isEmpty())
        d += "<L>" + token + "</L>";
    if (reply > 0)
        d += "<Y>" + QByteArray::number(reply) + "</Y>";
    return d + "\n" + records;
}

// The records a poll carried: everything before the header.
QByteArray carried(const QByteArray &datagram)
{
    return datagram.left(datagram.lastIndexOf("<R>0</R>"));
}

int sentK(const QByteArray &datagram)
{
    const qsizetype at = datagram.lastIndexOf("<K>");
    return datagram.mid(at + 3, datagram.indexOf("</K>", at) - at - 3).toInt();
}

} // namespace

class TestDatagramLink : public QObject
{
    Q_OBJECT

    Recorder events;
    FakeTransport transport;
    std::unique_ptr<DatagramLink> link;

    void tickUntilPoll()
    {
        const qsizetype before = transport.sent.size();
        for (int i = 0; i < 20 && transport.sent.size() == before; ++i)
            link->tick();
        QVERIFY(transport.sent.size() > before);
    }

private slots:
    void init()
    {
        events = Recorder();
        transport = FakeTransport();
        link = std::make_unique<DatagramLink>(events);
        link->open(&transport);
        link->startNumbersAt(1);
    }

    void pollDatagramHasOutboxHeaderAndCrLf()
    {
        QCOMPARE(link->Send(1, "<M>hi</M>"), 1u);
        link->Send(0);
        QCOMPARE(transport.last(), QByteArray("<R>1</R><O>1</O><M>hi</M>\n<R>0</R><K>1</K><Y>0</Y>\r\n"));
        transport.deliver(ack(1, 0, "wxyz", "<R>1</R><M>x</M>\n", 7));
        link->Send(0);
        QCOMPARE(transport.last(), QByteArray("<R>0</R><K>1</K><L>wxyz</L><Y>7</Y>\r\n"));
    }

    void sequenceWrapsAndEmptyPollKeepsIt()
    {
        for (int i = 1; i <= 10; ++i) {
            link->Send(1, "<M>x</M>");
            link->Send(0);
            QCOMPARE(sentK(transport.last()), i % 10);
            transport.deliver(ack(i % 10));
        }
        QCOMPARE(link->sequence(), 0);
        link->Send(0);
        link->Send(0);
        QCOMPARE(link->sequence(), 0);
        QCOMPARE(link->repeatCount(), 2);
    }

    void acknowledgementRemovesExactlyWhatWasCarried()
    {
        link->Send(1, "<M>" + QString(14, u'a') + "</M>"); // 38 bytes with R, O and line feed
        QCOMPARE(link->outbox().size(), 38);
        link->Send(0);
        QCOMPARE(link->lastSentLength(), 38);
        link->Send(1, "<M>later</M>");
        transport.deliver(ack(link->sequence()));
        QCOMPARE(link->outbox(), QByteArray("<R>1</R><O>2</O><M>later</M>\n"));
        QCOMPARE(link->lastSentLength(), 0);
        QCOMPARE(events.delivered, QList<quint32>{1});
        QCOMPARE(link->pollCountdown(), 1); // what is left goes at the next tick
    }

    void unansweredPollsKeepTheOutbox()
    {
        link->Send(1, "<M>stuck</M>");
        link->Send(0); // carries it, K advances
        const int k = link->sequence();
        for (int i = 1; i <= 20; ++i)
            link->Send(0);
        QCOMPARE(carried(transport.last()), QByteArray("<R>1</R><O>1</O><M>stuck</M>\n"));
        QCOMPARE(sentK(transport.last()), k); // the same poll, again
        transport.deliver(ack(k));
        QVERIFY(link->outbox().isEmpty());
        QCOMPARE(events.delivered, QList<quint32>{1});
    }

    void foreignAcknowledgementsKeepTheOutbox()
    {
        link->Send(1, "<M>x</M>");
        link->Send(0);
        const int k = link->sequence();
        const int foreign = (k + 5) % 10;
        for (int i = 1; i <= 4; ++i)
            transport.deliver(ack(foreign));
        QCOMPARE(link->mismatchCount(), 0);
        QVERIFY(events.delivered.isEmpty());
        // Carried afresh under a new K.
        link->Send(0);
        QCOMPARE(sentK(transport.last()), (k + 1) % 10);
        QCOMPARE(carried(transport.last()), QByteArray("<R>1</R><O>1</O><M>x</M>\n"));
    }

    void unreadableKNeverAcknowledges_data()
    {
        QTest::addColumn<QByteArray>("k");
        QTest::newRow("letters") << QByteArray("x");
        QTest::newRow("trailing junk") << QByteArray("0x");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("overflow") << QByteArray("99999999999");
    }
    void unreadableKNeverAcknowledges()
    {
        QFETCH(QByteArray, k);
        // Our K is 0: an unreadable K taken as 0 would throw the records away.
        for (int i = 1; i <= 10; ++i) {
            link->Send(1, "<M>x</M>");
            link->Send(0);
            if (i < 10)
                transport.deliver(ack(link->sequence()));
        }
        QCOMPARE(link->sequence(), 0);
        const QByteArray before = link->outbox();
        QVERIFY(!before.isEmpty());
        transport.deliver("<R>0</R><K>" + k + "</K><Q>0</Q>\n");
        QCOMPARE(link->outbox(), before);
        QVERIFY(events.delivered.size() == 9);
    }

    void risingQPollsAtNextTick()
    {
        link->Send(0);
        transport.deliver(ack(link->sequence(), 0, "ab"));
        QCOMPARE(link->pollCountdown(), 8);
        link->Send(0);
        transport.deliver(ack(link->sequence(), 3, "ab"));
        QCOMPARE(link->lastQ(), 3);
        const qsizetype before = transport.sent.size();
        link->tick();
        QCOMPARE(transport.sent.size(), before + 1);
        // The same backlog again is a repeat warning, not another hurry.
        link->Send(0);
        transport.deliver(ack(link->sequence(), 3, "ab"));
        QCOMPARE(events.repeatWarnings, QList<int>{1});
        QCOMPARE(link->pollCountdown(), 8);
    }

    void tokenKeepsFirstFourCharacters()
    {
        link->Send(0);
        transport.deliver(ack(0, 0, "abcdefgh"));
        QCOMPARE(link->token(), QString("abcd"));
        link->Send(0);
        transport.deliver(ack(0, 0, ""));
        QCOMPARE(link->token(), QString("abcd"));
        link->Send(0);
        QVERIFY(transport.last().endsWith("<L>abcd</L><Y>0</Y>\r\n"));
    }

    void pendingLinesShortenCountdown()
    {
        link->Send(0);
        QCOMPARE(link->pollCountdown(), 8);
        link->pause();
        transport.deliver(ack(link->sequence(), 0, "ab", "<R>1</R><M>a</M>\n"));
        QCOMPARE(link->pollCountdown(), 4);
    }

    void kindTenAsksForAnnouncement()
    {
        link->Send(0);
        transport.deliver(ack(10));
        QCOMPARE(events.reannounced, 1);
        QCOMPARE(link->mismatchCount(), 1);
    }

    void newTokenOnlyWithTheAnswerToOurAnnouncement()
    {
        link->Send(0);
        transport.deliver(ack(0, 0, "ab"));
        link->Send(1, "<M>line</M>");
        link->Send(0);
        // Somebody's first poll with our address: its session's token.
        transport.deliver(ack(link->sequence(), 0, "cd"));
        QCOMPARE(link->token(), QStringLiteral("ab"));
        transport.deliver(ack(10, 0, "ab"));
        QCOMPARE(events.reannounced, 1);
        link->beginAnnouncement();
        link->Send(5, "<N>me</N>");
        link->endAnnouncement();
        link->Send(0);
        QVERIFY(transport.last().endsWith("<L>ab</L><X>ab</X><Y>0</Y>\r\n"));
        transport.deliver(ack(link->sequence(), 0, "cd"));
        QCOMPARE(link->token(), QStringLiteral("cd"));
        QVERIFY(!link->announcementRefused());
    }

    void announcementGoesFirstAndReplacesTheLast()
    {
        link->Send(1, "<M>one</M>");
        link->Send(0); // in flight
        link->Send(1, "<M>two</M>");
        for (int round = 0; round < 2; ++round) {
            link->beginAnnouncement();
            link->Send(5, "<N>me</N>");
            link->Send(25, "<#>1</#>");
            link->endAnnouncement();
        }
        QCOMPARE(QString::fromUtf8(link->outbox()).split(u'\n', Qt::SkipEmptyParts),
                 (QStringList{"<R>5</R><O>5</O><N>me</N>", "<R>25</R><O>6</O><#>1</#>",
                              "<R>1</R><O>1</O><M>one</M>", "<R>1</R><O>2</O><M>two</M>"}));
        QCOMPARE(link->lastSentLength(), 0); // nothing in flight any more
        // The announcement travels alone; the lines follow.
        link->Send(0);
        QCOMPARE(carried(transport.last()),
                 QByteArray("<R>5</R><O>5</O><N>me</N>\n<R>25</R><O>6</O><#>1</#>\n"));
        transport.deliver(ack(link->sequence()));
        link->Send(0);
        transport.deliver(ack(link->sequence()));
        QCOMPARE(events.delivered, (QList<quint32>{5, 6, 1, 2}));
    }

    void silenceMarksLinkLostAndKeepsTheOutbox()
    {
        link->Send(1, "<M>queued</M>");
        for (int i = 0; i < 60; ++i)
            link->tick();
        QCOMPARE(events.lost, 0);
        QVERIFY(!link->isLost());
        link->Send(1, "<M>typed while lost</M>");
        link->tick();
        QCOMPARE(events.lost, 1);
        QVERIFY(link->isLost());
        QCOMPARE(link->token(), DatagramLink::lostToken());
        QCOMPARE(link->queuedRecords(), 2);
        QCOMPARE(link->lastSentLength(), 0);
        QCOMPARE(link->silence(), 0);
        // Still silent: no second notice, nothing given up.
        for (int i = 0; i < 200; ++i)
            link->tick();
        QCOMPARE(events.lost, 1);
        QCOMPARE(link->queuedRecords(), 2);
        QVERIFY(events.dropped.isEmpty());
        // The server knows the lost link's token no more; K = 10 brings no records.
        transport.deliver(ack(10, 0, "", "<R>1</R><M>back</M>\n"));
        QCOMPARE(events.restored, 1);
        QVERIFY(!link->isLost());
        QCOMPARE(link->silence(), 0);
        QCOMPARE(events.records.size(), 0);
        // The next poll carries both.
        link->Send(0);
        QCOMPARE(carried(transport.last()),
                 QByteArray("<R>1</R><O>1</O><M>queued</M>\n<R>1</R><O>2</O><M>typed while lost</M>\n"));
    }

    void outboxIsBounded_data()
    {
        QTest::addColumn<int>("recordBytes");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("dropped");
        QTest::newRow("records") << 40 << WireLimits::maxQueuedRecords + 3 << 3;
        QTest::newRow("bytes") << 2000 << 40 << 40 - WireLimits::maxQueuedBytes / 2000;
    }
    void outboxIsBounded()
    {
        QFETCH(int, recordBytes);
        QFETCH(int, records);
        QFETCH(int, dropped);
        const int overhead = int(DatagramLink::recordBytes(1, "<M></M>")) - 6 + 1;
        for (int i = 1; i <= records; ++i)
            link->Send(1, "<M>" + QString(recordBytes - overhead, QChar(u'a' + i % 26)) + "</M>");
        // An announcement is no line waiting: it goes, whatever the bound.
        link->beginAnnouncement();
        link->Send(5, "<N>me</N>");
        link->endAnnouncement();
        QCOMPARE(events.dropped.size(), dropped);
        for (int i = 0; i < dropped; ++i)
            QCOMPARE(events.dropped[i], quint32(i + 1)); // the oldest
        QVERIFY(events.droppedRecords.first().startsWith("<R>1</R><O>1</O><M>b"));
        QCOMPARE(link->queuedRecords(), records - dropped + 1);
        QVERIFY(link->outbox().size() <= WireLimits::maxQueuedBytes + 64);
    }

    void pollCarriesAtMostWhatTheServerTakes()
    {
        for (int i = 0; i < WireLimits::maxQueuedRecords; ++i)
            link->Send(1, "<M>" + QString::number(i) + "</M>");
        link->beginAnnouncement();
        for (int i = 0; i < 5; ++i)
            link->Send(25, "<#>1</#>");
        link->endAnnouncement();
        QVERIFY(events.dropped.isEmpty());
        link->Send(0);
        QCOMPARE(carried(transport.last()).count('\n'), 5); // the announcement alone
        transport.deliver(ack(link->sequence()));
        link->Send(0);
        QCOMPARE(carried(transport.last()).count('\n'), WireLimits::maxRecordsPerPoll);
    }

    void recordLimits_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("queued");
        QTest::newRow("line at the limit") << 1 << WireLimits::maxRecordBytes << true;
        QTest::newRow("line one byte over") << 1 << WireLimits::maxRecordBytes + 1 << false;
        QTest::newRow("bulletin filling a poll") << 9 << WireLimits::maxBulletinRecordBytes << true;
        QTest::newRow("bulletin one byte over") << 9 << WireLimits::maxBulletinRecordBytes + 1 << false;
    }
    void recordLimits()
    {
        QFETCH(int, kind);
        QFETCH(int, bytes);
        QFETCH(bool, queued);
        link->startNumbersAt(WireLimits::maxNumber); // the longest number
        const qsizetype overhead = DatagramLink::recordBytes(kind, "<M></M>");
        const QString data = "<M>" + QString(bytes - overhead, u'z') + "</M>";
        QCOMPARE(DatagramLink::recordBytes(kind, data), bytes);
        QCOMPARE(link->Send(kind, data) != 0, queued);
        QCOMPARE(events.shown.size(), queued ? 0 : 1);
        if (!queued)
            return;
        link->Send(1, "<M>next</M>");
        link->Send(0);
        // A record never travels cut, and one filling a poll travels alone.
        const QByteArray body = carried(transport.last());
        QCOMPARE(body.indexOf('\n'), bytes);
        if (kind == 9)
            QCOMPARE(body.size(), bytes + 1);
        QVERIFY(body.size() <= WireLimits::maxCarriedBytes);
        QVERIFY(transport.last().size() <= WireLimits::maxPollBytes);
    }

    void repliesToldApartByNumber()
    {
        const QByteArray records = "<R>3</R><N>Bob</N><M>same</M>\n";
        // Each answers a poll of ours; only the numbers tell them apart.
        for (const int reply : {5, 5, 6, 5}) { // the network's copy, the same text sent again, a late copy
            link->Send(0);
            transport.deliver(ack(0, 0, "ab", records, reply));
        }
        QCOMPARE(events.records.size(), 2);
        QCOMPARE(link->lastReply(), 6u);
        link->Send(0);
        QVERIFY(transport.last().endsWith("<Y>6</Y>\r\n"));
        // A new session (we announced ourselves) numbers from 1 again; its
        // first reply brings the token alone.
        link->beginAnnouncement();
        link->Send(5, "<N>me</N>");
        link->endAnnouncement();
        link->Send(0);
        transport.deliver(ack(link->sequence(), 0, "cd"));
        link->Send(0);
        transport.deliver(ack(link->sequence(), 0, "cd", records, 1));
        QCOMPARE(events.records.size(), 3);
    }

    void replyWithoutNumberIsACopyOnlyBeforeTheNextPoll()
    {
        // A server without reply numbers: two PMs alike are two PMs, one
        // datagram delivered twice is one.
        const QByteArray d = ack(0, 0, "ab", "<R>3</R><N>Bob</N><M>same</M>\n");
        link->Send(0);
        transport.deliver(d);
        transport.deliver(d);
        QCOMPARE(events.records.size(), 1);
        link->Send(0);
        transport.deliver(d);
        QCOMPARE(events.records.size(), 2);
        // A copy still counts as hearing from the server.
        for (int i = 0; i < 30; ++i)
            link->tick();
        transport.deliver(d);
        QCOMPARE(link->silence(), 0);
    }

    void pausedLinesParsedInArrivalOrder()
    {
        link->pause();
        link->pause();
        link->Send(0);
        transport.deliver(ack(0, 0, "ab", "<R>1</R><M>1</M>\n<R>1</R><M>2</M>\n<R>1</R><M>3"));
        link->Send(0);
        transport.deliver(ack(0, 0, "ab", "</M>\n<R>1</R><M>4</M>\n"));
        QVERIFY(events.records.isEmpty());
        link->resume();
        QVERIFY(events.records.isEmpty());
        link->resume();
        QCOMPARE(events.records.size(), 4);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(events.records[i].second, QString("<R>1</R><M>%1</M>").arg(i + 1));
        QVERIFY(link->inbound().isEmpty());
    }

    void handlerReceivingAgainKeepsOrder()
    {
        bool once = false;
        events.onDispatch = [&](int, const QString &) {
            if (!once) {
                once = true;
                link->Send(0);
                transport.deliver(ack(0, 0, "ab", "<R>1</R><M>c</M>\n"));
            }
        };
        link->Send(0);
        transport.deliver(ack(0, 0, "ab", "<R>1</R><M>a</M>\n<R>1</R><M>b</M>\n"));
        QCOMPARE(events.records.size(), 3);
        QCOMPARE(events.records[1].second, QString("<R>1</R><M>b</M>"));
        QCOMPARE(events.records[2].second, QString("<R>1</R><M>c</M>"));
    }

    void kindsHandledInLink_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("dispatched");
        QTest::addColumn<QString>("paged");
        QTest::addColumn<int>("buffer");
        QTest::newRow("page") << QByteArray("<R>4</R><N>Ann</N>") << -1 << "Ann" << -1;
        QTest::newRow("buffer") << QByteArray("<R>18</R><T>2800</T>") << -1 << "" << 2800;
        QTest::newRow("chat") << QByteArray("<R>1</R><M>x</M>") << 1 << "" << -1;
        QTest::newRow("unknown") << QByteArray("<R>77</R><M>x</M>") << 77 << "" << -1;
        QTest::newRow("user") << QByteArray("<R>5</R><N>b</N>") << 5 << "" << -1;
    }
    void kindsHandledInLink()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, dispatched);
        QFETCH(QString, paged);
        QFETCH(int, buffer);
        link->Send(0);
        transport.deliver(ack(0, 0, "ab", line + "\r\n"));
        QCOMPARE(events.records.isEmpty() ? -1 : events.records.first().first, dispatched);
        QCOMPARE(events.pagedBy.isEmpty() ? QString() : events.pagedBy.first(), paged);
        QCOMPARE(events.bufferSizes.isEmpty() ? -1 : events.bufferSizes.first(), buffer);
        if (dispatched >= 0)
            QCOMPARE(events.records.first().second, QString::fromLatin1(line)); // CR taken off
    }

    void onlyTheAnswerToOurPollBringsRecords_data()
    {
        // Anybody may send a datagram with the server's address and port.
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("answeredBefore");
        QTest::addColumn<bool>("taken");
        const QByteArray line = "<R>1</R><M>Ann:  send me your password</M>\n";
        QTest::newRow("its K") << ack(0, 0, "ab", line, 5) << false << true;
        QTest::newRow("K = 10") << ack(10, 0, "ab", line) << false << false;
        QTest::newRow("K = 10, another token") << ack(10, 0, "zz", line) << false << false;
        QTest::newRow("its K, another session's token") << ack(0, 0, "zz", line, 5) << false << false;
        QTest::newRow("its K, no token") << ack(0, 0, "", line, 5) << false << false;
        QTest::newRow("another K") << ack(3, 0, "zz", line, 5) << false << false;
        QTest::newRow("no acknowledgement") << line + line << false << false;
        QTest::newRow("a number seen") << ack(0, 0, "ab", line, 4) << false << false;
        QTest::newRow("answered already") << ack(0, 0, "zz", line, 5) << true << false;
    }
    void onlyTheAnswerToOurPollBringsRecords()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, answeredBefore);
        QFETCH(bool, taken);
        link->Send(0);
        transport.deliver(ack(0, 0, "ab", {}, 4));
        link->Send(0); // in flight, K = 0
        if (answeredBefore)
            transport.deliver(ack(0, 0, "ab"));
        transport.deliver(datagram);
        QCOMPARE(events.records.size(), taken ? 1 : 0);
        if (!taken)
            QCOMPARE(link->token(), QStringLiteral("ab")); // no other session forced on us
    }

    void twentyKilobytesGoOutWhole()
    {
        QStringList queued;
        for (int i = 0; queued.join(QString()).size() < 20 * 1024; ++i) {
            const QString data =
                QString("<M>%1 ").arg(i) + QString(100 + (i * 37) % 900, QChar(u'a' + i % 26)) + "</M>";
            queued << QString("<R>1</R><O>%1</O>").arg(i + 1) + data + "\n";
            link->Send(1, data);
        }
        QByteArray received;
        int polls = 0;
        while (!link->outbox().isEmpty() && polls < 20) {
            tickUntilPoll();
            ++polls;
            const QByteArray body = carried(transport.last());
            QVERIFY(body.size() <= DatagramLink::maxCarried);
            QVERIFY(body.endsWith('\n'));
            received += body;
            transport.deliver(ack(sentK(transport.last())));
        }
        QVERIFY(polls >= 3);
        QCOMPARE(QString::fromUtf8(received), queued.join(QString()));
        QVERIFY(events.shown.first().startsWith("Ping > "));
    }

    void lineBreaksInDataStayInOneRecord()
    {
        link->Send(1, "<M>a\r\nb\nc</M>");
        QCOMPARE(link->outbox(), QByteArray("<R>1</R><O>1</O><M>a||b||c</M>\n"));
    }

    void nothingWithoutNickOrTransport()
    {
        link->setEnabled(false);
        QCOMPARE(link->Send(1, "<M>x</M>"), 0u);
        link->Send(0);
        for (int i = 0; i < 100; ++i)
            link->tick();
        QVERIFY(transport.sent.isEmpty());
        QVERIFY(link->outbox().isEmpty());
        DatagramLink closed(events);
        QCOMPARE(closed.Send(1, "<M>x</M>"), 0u);
        closed.tick();
        QVERIFY(closed.outbox().isEmpty());
    }

    void echoes()
    {
        link->echoAll = true;
        link->echoRecords = true;
        link->echoChat = true;
        link->Send(5, "<N>me</N>");
        link->Send(1, "<M>x</M>");
        link->Send(0);
        transport.deliver(ack(link->sequence(), 2, "ab", "<R>7</R>\n"));
        transport.deliver("no line feed");
        const QStringList expected = {
            "eUser:  <N>me</N>",
            "Send: <R>5</R><O>1</O><N>me</N>",
            "Other:  1",
            "Send: <R>1</R><O>2</O><M>x</M>",
            "Ping: <R>5</R><O>1</O><N>me</N>\n<R>1</R><O>2</O><M>x</M>\n<R>0</R><K>1</K><Y>0</Y>",
            "Pong: <R>0</R><K>1</K><Q>2</Q><L>ab</L>\n<R>7</R>\n",
            "eMore:  2",
            "Rcvd: <R>7</R>",
            "Pong: no line feed",
            "Pong #10: no line feed"};
        QCOMPARE(events.shown, expected);
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::newRow("no R, no K") << QByteArray("hello\nworld\n");
        QTest::newRow("K not a number") << QByteArray("<R>0</R><K>x1</K>\n");
        QTest::newRow("K out of range") << QByteArray("<R>0</R><K>57</K>\n");
        QTest::newRow("negative K") << QByteArray("<R>0</R><K>-1</K>\n");
        QTest::newRow("huge Q") << QByteArray("<R>0</R><K>3</K><Q>99999999999999999999</Q>\n");
        QTest::newRow("long L") << QByteArray("<R>0</R><K>3</K><L>") + QByteArray(5000, 'L') + "</L>\n";
        QTest::newRow("bad Y") << QByteArray("<R>0</R><K>3</K><Y>-4</Y>\n<R>1</R><M>a</M>\n");
        QTest::newRow("NUL bytes") << QByteArray("<R>1\0</R>\n\0\0\n<R>1</R><M>a\0b</M>\n", 30);
        QTest::newRow("only line feeds") << QByteArray(1000, '\n');
        QTest::newRow("64 KiB") << QByteArray(64 * 1024, '<');
        QTest::newRow("64 KiB lines") << QByteArray("x\n").repeated(32 * 1024);
        QTest::newRow("tags only") << QByteArray("<R></R><K></K>\n</R><R>\n");
    }
    void badInput()
    {
        QFETCH(QByteArray, datagram);
        link->Send(1, "<M>x</M>");
        link->Send(0);
        const QByteArray before = link->outbox();
        transport.deliver(datagram);
        QCOMPARE(link->outbox(), before);
        QVERIFY(link->inbound().size() <= DatagramLink::maxInbound);
        QVERIFY(link->token().size() <= 4);
    }

    void invalidUtf8ReadsAsLatin1_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9") << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("latin-1") << QByteArray("caf\xe9") << QString::fromLatin1("caf\xe9");
        QTest::newRow("encoded surrogate")
            << QByteArray("a\xed\xa0\x80z") << QString::fromLatin1("a\xed\xa0\x80z");
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QString::fromLatin1("\xc0\xaf");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QString::fromLatin1("\xf4\x90\x80\x80");
        QTest::newRow("cut short") << QByteArray("ok \xe2\x82") << QString::fromLatin1("ok \xe2\x82");
    }
    void invalidUtf8ReadsAsLatin1()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, shown);
        link->Send(0);
        transport.deliver(ack(0, 0, "ab", "<R>1</R><M>" + text + "</M>\n"));
        QCOMPARE(events.records.size(), 1);
        QCOMPARE(events.records[0].second, "<R>1</R><M>" + shown + "</M>");
    }

    void inboundBufferIsBounded()
    {
        link->pause();
        const QByteArray lines = QByteArray("<R>1</R><M>") + QByteArray(1000, 'z') + "</M>\n";
        const QByteArray chunk = ack(0, 0, "ab", lines.repeated(60)); // about 60 KB
        for (int i = 0; i < 40; ++i) {
            link->Send(0);
            transport.deliver(ack(link->sequence(), 0, "ab", lines.repeated(60), i + 1));
        }
        QVERIFY(link->inbound().size() <= DatagramLink::maxInbound);
        QVERIFY(link->inbound().size() > DatagramLink::maxInbound - chunk.size());
        QVERIFY(!events.shown.isEmpty());
        link->resume();
        QCOMPARE(events.records.size() % 60, 0);
        QVERIFY(link->inbound().isEmpty());
    }

    void newServerKeepsTheLinesAndTheSequence()
    {
        link->Send(1, "<M>x</M>");
        link->Send(0);
        transport.deliver(ack(9, 4, "tokn", "<R>1</R><M>a</M>\n", 3));
        link->resetForNewServer();
        QCOMPARE(link->sequence(), 1);
        QCOMPARE(link->queuedRecords(), 1);
        QCOMPARE(link->token(), DatagramLink::lostToken());
        QCOMPARE(link->lastQ(), 0);
        QCOMPARE(link->lastReply(), 0u);
        QCOMPARE(link->mismatchCount(), 0);
        // A goodbye to the old server goes on its own, outside the outbox.
        transport.take();
        link->sendAside(5, "<#>-1</#>");
        QCOMPARE(carried(transport.last()), QByteArray("<R>5</R><O>2</O><#>-1</#>\n"));
        QCOMPARE(link->queuedRecords(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDatagramLink)
#include "tst_datagramlink.moc"
