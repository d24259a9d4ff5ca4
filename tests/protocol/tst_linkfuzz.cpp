#include "protocol/datagramlink.h"
#include "protocol/linkevents.h"
#include "support/faketransport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace hchat;

namespace {

// Handlers that push back: they queue records, pause and resume, the way the
// chat layer does, so the fuzzing also reaches re-entrant paths.
struct BusyEvents : LinkEvents {
    DatagramLink *link = nullptr;
    int dispatched = 0;
    int shown = 0;
    void linkShow(const QString &) override { ++shown; }
    void linkDispatch(int kind, const QString &record) override
    {
        ++dispatched;
        if (kind == 3)
            link->Send(1, record.left(200));
        if (kind == 9)
            link->pause();
        if (kind == 10)
            link->resume();
    }
    void linkPaged(const QString &) override { link->Send(4, QStringLiteral("<N>x</N>")); }
    void linkBufferSize(int) override { link->Send(5, QStringLiteral("<T>1</T>")); }
    void linkReannounce() override { link->Send(25, QStringLiteral("<#>1</#>")); }
    void linkRepeatWarning(int, const QString &) override {}
    void linkLost() override {}
    void linkRestored() override {}
};

const QList<QByteArray> seeds = {
    "<R>0</R><K>1</K><Q>0</Q><L>ab</L>\n<R>1</R><F>255</F><E>abcdefgh!</E><#>0</#><Z>12:00:00</Z><M>Ann:  "
    "hi</M>\n",
    "<R>0</R><K>10</K><Q>3</Q><L>abcd</L>\n<R>5</R><E>x</E><N>n</N><I>1|2</I><#>0</#><W>-1</W>\n",
    "<R>0</R><K>2</K><L>ab</L>\n<R>4</R><N>Bob</N>\n<R>18</R><T>2000</T>\n<R>3</R><M>pm</M>\n",
    "<R>0</R><K>3</K><Q>1</Q><L>ab</L>\n<R>9</R>\n<R>1</R><M>held</M>\n<R>10</R>\n<R>7</R><N>room</N>\n",
    "<R>0</R><K>4</K><L>zz</L>\n<R>20</R><M>a||b</M>\n<R>25</R><#>3</#>\n",
};

QByteArray mutate(QByteArray d, QRandomGenerator &rng)
{
    const int edits = 1 + rng.bounded(8);
    for (int e = 0; e < edits; ++e) {
        const int pos = d.isEmpty() ? 0 : rng.bounded(int(d.size()));
        switch (rng.bounded(7)) {
        case 0: // flip a byte
            if (!d.isEmpty())
                d[pos] = char(rng.bounded(256));
            break;
        case 1: // delete a run
            d.remove(pos, rng.bounded(16));
            break;
        case 2: // insert tag-like noise
            d.insert(pos, QByteArrayList({"<", ">", "</", "\n", "\r", "||", "<K>", "</K>", "<R>0</R>", "\xc3",
                                          "\xff", QByteArray(1, '\0')})
                              .at(rng.bounded(12)));
            break;
        case 3: // duplicate a run
            d.insert(pos, d.mid(pos, rng.bounded(64)));
            break;
        case 4: // a big number
            d.insert(pos, QByteArray::number(rng.generate64()));
            break;
        case 5: // truncate
            d.truncate(pos);
            break;
        default: // a long run
            d.insert(pos, QByteArray(rng.bounded(3000), char(rng.bounded(256))));
            break;
        }
    }
    return d;
}

QByteArray randomBytes(QRandomGenerator &rng)
{
    QByteArray d(rng.bounded(rng.bounded(10) == 0 ? 65536 : 300), Qt::Uninitialized);
    for (char &c : d)
        c = char(rng.bounded(256));
    return d;
}

} // namespace

class TestLinkFuzz : public QObject
{
    Q_OBJECT

private slots:
    void tenThousandDatagrams()
    {
        QRandomGenerator rng(20240506);
        BusyEvents events;
        FakeTransport transport;
        DatagramLink link(events);
        events.link = &link;
        link.open(&transport);
        link.echoAll = true;
        link.echoRecords = true;
        link.echoChat = true;

        for (int i = 0; i < 10000; ++i) {
            // Most datagrams answer a poll of ours, so their records get as far
            // as the handlers.
            if (rng.bounded(4) != 0)
                link.Send(0);
            QByteArray seed = seeds.at(rng.bounded(int(seeds.size())));
            if (rng.bounded(4) != 0) {
                seed.replace(seed.indexOf("<K>") + 3, 1, QByteArray::number(link.sequence()));
                if (const qsizetype l = seed.indexOf("<L>"); l >= 0)
                    seed.replace(l + 3, seed.indexOf("</L>") - l - 3, link.token().toUtf8());
            }
            const QByteArray datagram = rng.bounded(4) == 0 ? randomBytes(rng) : mutate(seed, rng);
            transport.deliver(datagram);
            if (rng.bounded(3) == 0)
                link.tick();
            if (rng.bounded(5) == 0)
                link.Send(1, QString::fromLatin1(datagram.left(100)));
            if (link.pauseCount() > 3 || rng.bounded(20) == 0)
                while (link.pauseCount() > 0)
                    link.resume();

            QVERIFY(link.inbound().size() <= DatagramLink::maxInbound);
            QVERIFY(link.token().size() <= 4);
            QVERIFY(link.sequence() >= 0 && link.sequence() <= 9);
            QVERIFY(link.lastSentLength() <= link.outbox().size());
            if (i % 500 == 0)
                transport.sent.clear();
        }
        for (const QByteArray &d : std::as_const(transport.sent)) {
            const qsizetype header = d.lastIndexOf("<R>0</R>");
            QVERIFY(header >= 0 && header <= DatagramLink::maxCarried);
        }
        QVERIFY2(events.dispatched > 1000, qPrintable(QString::number(events.dispatched)));
    }
};

QTEST_GUILESS_MAIN(TestLinkFuzz)
#include "tst_linkfuzz.moc"
