#include "platform/udptransport.h"
#include "protocol/datagramlink.h"
#include "protocol/linkevents.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

using namespace hchat;

namespace {

struct Records : LinkEvents {
    QStringList records;
    void linkShow(const QString &) override {}
    void linkDispatch(int, const QString &record) override { records << record; }
    void linkPaged(const QString &) override {}
    void linkBufferSize(int) override {}
    void linkReannounce() override {}
    void linkRepeatWarning(int, const QString &) override {}
    void linkLost() override {}
    void linkRestored() override {}
};

} // namespace

class TestUdpTransport : public QObject
{
    Q_OBJECT

private slots:
    // The link over real loopback UDP against a server scripted here: a poll
    // carries the queued record, the reply's records are dispatched, the
    // acknowledgement empties the outbox, and a stranger's datagram is dropped.
    void pollAndReplyOverLoopback()
    {
        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress::LocalHost, 0));

        UdpTransport transport;
        QVERIFY(transport.isBound());
        QVERIFY(transport.udpChat.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt() >=
                UdpTransport::receiveBufferSize);
        transport.setEndpoint("127.0.0.1", server.localPort());

        Records events;
        DatagramLink link(events);
        link.open(&transport);
        link.startNumbersAt(7);
        link.Send(1, QString::fromUtf8("<M>h\xc3\xa9llo</M>"));
        link.Send(0);

        QVERIFY(server.hasPendingDatagrams() || server.waitForReadyRead(5000));
        const QNetworkDatagram poll = server.receiveDatagram();
        QCOMPARE(poll.data(),
                 QByteArray("<R>1</R><O>7</O><M>h\xc3\xa9llo</M>\n<R>0</R><K>1</K><Y>0</Y>\r\n"));

        const QHostAddress client(QHostAddress::LocalHost);
        stranger.writeDatagram("<R>0</R><K>1</K>\n<R>1</R><M>forged</M>\n", client, transport.localPort());
        server.writeDatagram("<R>0</R><K>1</K><Q>0</Q><L>t1</L>\n<R>1</R><M>welcome</M>\n", client,
                             transport.localPort());

        QTRY_COMPARE(events.records, QStringList{"<R>1</R><M>welcome</M>"});
        QVERIFY(link.outbox().isEmpty());
        QCOMPARE(link.token(), QString("t1"));

        // The stranger's datagram has been read and dropped by now or comes
        // later; either way it must never reach the link.
        QTest::qWait(50);
        QCOMPARE(events.records.size(), 1);
    }

    void hostNameIsLookedUp()
    {
        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        UdpTransport transport;
        transport.setEndpoint("localhost", server.localPort());
        QTRY_VERIFY(!transport.serverAddress().isNull());
        if (transport.serverAddress().protocol() != QAbstractSocket::IPv4Protocol)
            QSKIP("localhost does not resolve to IPv4 here");
        transport.sendDatagram("ping\n");
        QVERIFY(server.hasPendingDatagrams() || server.waitForReadyRead(5000));
        QCOMPARE(server.receiveDatagram().data(), QByteArray("ping\n"));
    }
};

QTEST_GUILESS_MAIN(TestUdpTransport)
#include "tst_udptransport.moc"
