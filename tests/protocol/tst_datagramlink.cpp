#include "protocol/datagramlink.h"
#include "protocol/linkevents.h"
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
};

QByteArray ack(int k, int q = 0, const QByteArray &token = "ab", const QByteArray &records = {})
{
    QByteArray d = "<R>0</R><K>" + QByteArray::number(k) + "</K><Q>" + QByteArray::number(q) + "</Q>";
    if (!token.isEmpty())
        d += "<L>" + token + "</L>";
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
    }

    void pollDatagramHasOutboxHeaderAndCrLf()
    {
        link->Send(1, "<M>hi</M>");
        link->Send(0);
        QCOMPARE(transport.last(), QByteArray("<R>1</R><M>hi</M>\n<R>0</R><K>1</K>\r\n"));
        transport.deliver(ack(1, 0, "wxyz"));
        link->Send(0);
        QCOMPARE(transport.last(), QByteArray("<R>0</R><K>1</K><L>wxyz</L>\r\n"));
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
        const QString data = "<M>" + QString(14, u'a') + "</M>"; // 30 bytes with R and line feed
        link->Send(1, data);
        QCOMPARE(link->outbox().size(), 30);
        link->Send(0);
        QCOMPARE(link->lastSentLength(), 30);
        link->Send(1, "<M>later</M>");
        transport.deliver(ack(link->sequence()));
        QCOMPARE(link->outbox(), QByteArray("<R>1</R><M>later</M>\n"));
        QCOMPARE(link->lastSentLength(), 0);
        QCOMPARE(link->pollCountdown(), 1); // what is left goes at the next tick
    }

    void sixthRepeatedPollClearsOutbox()
    {
        link->Send(1, "<M>stuck</M>");
        link->Send(0); // carries it, K advances
        for (int i = 1; i <= 5; ++i) {
            link->Send(0);
            QCOMPARE(link->repeatCount(), i);
            QVERIFY(!link->outbox().isEmpty());
        }
        link->Send(0);
        QVERIFY(link->outbox().isEmpty());
        QCOMPARE(link->repeatCount(), 0);
        QCOMPARE(carried(transport.last()), QByteArray());
    }

    void fourForeignAcknowledgementsClearOutbox()
    {
        link->Send(1, "<M>x</M>");
        link->Send(0);
        const int foreign = (link->sequence() + 5) % 10;
        for (int i = 1; i <= 3; ++i) {
            transport.deliver(ack(foreign));
            QCOMPARE(link->mismatchCount(), i);
        }
        QVERIFY(!link->outbox().isEmpty());
        transport.deliver(ack(foreign));
        QVERIFY(link->outbox().isEmpty());
        QCOMPARE(link->mismatchCount(), 0);
    }

    void risingQPollsAtNextTick()
    {
        link->Send(0);
        transport.deliver(ack(link->sequence(), 0, "ab"));
        QCOMPARE(link->pollCountdown(), 8);
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
        transport.deliver(ack(0, 0, "abcdefgh"));
        QCOMPARE(link->token(), QString("abcd"));
        transport.deliver(ack(0, 0, ""));
        QCOMPARE(link->token(), QString("abcd"));
        link->Send(0);
        QVERIFY(transport.last().endsWith("<L>abcd</L>\r\n"));
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
        transport.deliver(ack(10));
        QCOMPARE(events.reannounced, 1);
        QCOMPARE(link->mismatchCount(), 1);
    }

    void silenceMarksLinkLostThenRestored()
    {
        link->Send(1, "<M>queued</M>");
        for (int i = 0; i < 60; ++i)
            link->tick();
        QCOMPARE(events.lost, 0);
        QVERIFY(!link->isLost());
        link->Send(1, "<M>queued</M>");
        link->tick();
        QCOMPARE(events.lost, 1);
        QVERIFY(link->isLost());
        QCOMPARE(link->token(), QString("10"));
        QVERIFY(link->outbox().isEmpty());
        QCOMPARE(link->lastSentLength(), 0);
        QCOMPARE(link->silence(), 0);
        // Still silent: no second notice.
        for (int i = 0; i < 61; ++i)
            link->tick();
        QCOMPARE(events.lost, 1);
        transport.deliver("<R>1</R><M>back</M>\n");
        QCOMPARE(events.restored, 1);
        QVERIFY(!link->isLost());
        QCOMPARE(link->silence(), 0);
        QCOMPARE(events.records.size(), 1);
    }

    void repeatedDatagramShowsItsRecordsOnce()
    {
        const QByteArray d = ack(0, 0, "ab", "<R>1</R><M>hi</M>\n<R>5</R><N>x</N>\n");
        transport.deliver(d);
        transport.deliver(d);
        QCOMPARE(events.records.size(), 2);
        // Another datagram in between: the same records are news again.
        transport.deliver(ack(0, 0, "ab", "<R>1</R><M>other</M>\n"));
        transport.deliver(d);
        QCOMPARE(events.records.size(), 5);
        // A repeated acknowledgement still counts as hearing from the server.
        for (int i = 0; i < 30; ++i)
            link->tick();
        transport.deliver(d);
        QCOMPARE(link->silence(), 0);
        QCOMPARE(events.records.size(), 5);
    }

    void pausedLinesParsedInArrivalOrder()
    {
        link->pause();
        link->pause();
        transport.deliver(ack(0, 0, "ab", "<R>1</R><M>1</M>\n<R>1</R><M>2</M>\n<R>1</R><M>3"));
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
                transport.deliver(ack(0, 0, "ab", "<R>1</R><M>c</M>\n"));
            }
        };
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
        transport.deliver(ack(0, 0, "ab", line + "\r\n"));
        QCOMPARE(events.records.isEmpty() ? -1 : events.records.first().first, dispatched);
        QCOMPARE(events.pagedBy.isEmpty() ? QString() : events.pagedBy.first(), paged);
        QCOMPARE(events.bufferSizes.isEmpty() ? -1 : events.bufferSizes.first(), buffer);
        if (dispatched >= 0)
            QCOMPARE(events.records.first().second, QString::fromLatin1(line)); // CR taken off
    }

    void twentyKilobytesGoOutWhole()
    {
        QStringList queued;
        for (int i = 0; queued.join(QString()).size() < 20 * 1024; ++i) {
            const QString data =
                QString("<M>%1 ").arg(i) + QString(100 + (i * 37) % 900, QChar(u'a' + i % 26)) + "</M>";
            queued << "<R>1</R>" + data + "\n";
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

    void overlongRecordRefusedWhole()
    {
        link->Send(1, "<M>before</M>");
        link->Send(1, QString(9000, u'x'));
        link->Send(1, "<M>after</M>");
        QCOMPARE(events.shown.size(), 1);
        QVERIFY(events.shown.first().contains("too long"));
        QCOMPARE(link->outbox(), QByteArray("<R>1</R><M>before</M>\n<R>1</R><M>after</M>\n"));
    }

    void lineBreaksInDataStayInOneRecord()
    {
        link->Send(1, "<M>a\r\nb\nc</M>");
        QCOMPARE(link->outbox(), QByteArray("<R>1</R><M>a||b||c</M>\n"));
    }

    void nothingWithoutNickOrTransport()
    {
        link->setEnabled(false);
        link->Send(1, "<M>x</M>");
        link->Send(0);
        for (int i = 0; i < 100; ++i)
            link->tick();
        QVERIFY(transport.sent.isEmpty());
        QVERIFY(link->outbox().isEmpty());
        DatagramLink closed(events);
        closed.Send(1, "<M>x</M>");
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
        const QStringList expected = {"eUser:  <N>me</N>",
                                      "Send: <R>5</R><N>me</N>",
                                      "Other:  1",
                                      "Send: <R>1</R><M>x</M>",
                                      "Ping: <R>5</R><N>me</N>\n<R>1</R><M>x</M>\n<R>0</R><K>1</K>",
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
        QTest::addColumn<bool>("keepsOutbox");
        QTest::newRow("no R, no K") << QByteArray("hello\nworld\n") << true;
        QTest::newRow("K not a number") << QByteArray("<R>0</R><K>x1</K>\n") << true;
        QTest::newRow("K out of range") << QByteArray("<R>0</R><K>57</K>\n") << true;
        QTest::newRow("negative K") << QByteArray("<R>0</R><K>-1</K>\n") << true;
        QTest::newRow("huge Q") << QByteArray("<R>0</R><K>3</K><Q>99999999999999999999</Q>\n") << true;
        QTest::newRow("long L") << QByteArray("<R>0</R><K>3</K><L>") + QByteArray(5000, 'L') + "</L>\n"
                                << true;
        QTest::newRow("NUL bytes") << QByteArray("<R>1\0</R>\n\0\0\n<R>1</R><M>a\0b</M>\n", 30) << true;
        QTest::newRow("only line feeds") << QByteArray(1000, '\n') << true;
        QTest::newRow("64 KiB") << QByteArray(64 * 1024, '<') << true;
        QTest::newRow("64 KiB lines") << QByteArray("x\n").repeated(32 * 1024) << true;
        QTest::newRow("tags only") << QByteArray("<R></R><K></K>\n</R><R>\n") << true;
    }
    void badInput()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, keepsOutbox);
        link->Send(1, "<M>x</M>");
        link->Send(0);
        const QByteArray before = link->outbox();
        transport.deliver(datagram);
        QCOMPARE(link->outbox() == before, keepsOutbox);
        QVERIFY(link->inbound().size() <= DatagramLink::maxInbound);
        QVERIFY(link->token().size() <= 4);
    }

    void invalidUtf8ReadsAsLatin1()
    {
        transport.deliver(ack(0, 0, "ab", "<R>1</R><M>caf\xc3\xa9</M>\n<R>1</R><M>caf\xe9</M>\n"));
        QCOMPARE(events.records.size(), 2);
        QCOMPARE(events.records[0].second, QString::fromUtf8("<R>1</R><M>caf\xc3\xa9</M>"));
        QCOMPARE(events.records[1].second, QString::fromLatin1("<R>1</R><M>caf\xe9</M>"));
    }

    void inboundBufferIsBounded()
    {
        link->pause();
        const QByteArray lines = QByteArray("<R>1</R><M>") + QByteArray(1000, 'z') + "</M>\n";
        const QByteArray chunk = ack(0, 0, "ab", lines.repeated(60)); // about 60 KB
        for (int i = 0; i < 40; ++i)
            transport.deliver(ack(i % 10, 0, "ab", lines.repeated(60))); // no two alike in a row
        QVERIFY(link->inbound().size() <= DatagramLink::maxInbound);
        QVERIFY(link->inbound().size() > DatagramLink::maxInbound - chunk.size());
        QVERIFY(!events.shown.isEmpty());
        link->resume();
        QCOMPARE(events.records.size() % 60, 0);
        QVERIFY(link->inbound().isEmpty());
    }

    void resetForNewServerKeepsSequence()
    {
        link->Send(1, "<M>x</M>");
        link->Send(0);
        transport.deliver(ack(9, 4, "tokn"));
        link->resetForNewServer();
        QCOMPARE(link->sequence(), 1);
        QVERIFY(link->outbox().isEmpty());
        QVERIFY(link->token().isEmpty());
        QCOMPARE(link->lastQ(), 0);
        QCOMPARE(link->mismatchCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDatagramLink)
#include "tst_datagramlink.moc"
