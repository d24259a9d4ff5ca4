#include "platform/httpfetcher.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;

namespace {

// A tiny HTTP server on loopback: "/file" answers 200 with the body it was
// given, anything else 404. Records the request lines it saw.
class LoopbackServer : public QTcpServer
{
public:
    explicit LoopbackServer(QByteArray body) : m_body(std::move(body))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] { serve(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
        listen(QHostAddress::LocalHost, 0);
    }

    QList<QByteArray> requestLines;

private:
    void serve(QTcpSocket *s)
    {
        QByteArray &buffer = m_pending[s];
        buffer += s->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QByteArray line = buffer.left(buffer.indexOf("\r\n"));
        requestLines << line;
        const QList<QByteArray> parts = line.split(' ');
        const QByteArray path = parts.value(1);
        QByteArray reply;
        if (path.endsWith("/file")) {
            reply = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_body.size()) +
                    "\r\nConnection: close\r\n\r\n" + m_body;
        } else {
            const QByteArray page = "<html>404 Not Found</html>";
            reply = "HTTP/1.1 404 Not Found\r\nContent-Length: " + QByteArray::number(page.size()) +
                    "\r\nConnection: close\r\n\r\n" + page;
        }
        m_pending.remove(s);
        s->write(reply);
        s->disconnectFromHost();
    }

    QByteArray m_body;
    QHash<QTcpSocket *, QByteArray> m_pending;
};

QUrl urlOf(const QTcpServer &server, const QString &path)
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestHttpFetcher : public QObject
{
    Q_OBJECT
private slots:
    void intoMemory();
    void intoFile();
    void notFound_data();
    void notFound();
    void refused();
    void invalidAddressFailsLater();
    void abortIsSilent();
    void memoryLimit();
    void goesThroughProxy();
};

void TestHttpFetcher::intoMemory()
{
    QByteArray body(200000, 'x');
    body[0] = 'A';
    LoopbackServer server(body);
    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    QSignalSpy progress(&fetcher, &Fetcher::progress);
    fetcher.get(urlOf(server, "/files/file"));
    QVERIFY(fetcher.isBusy());
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(0).at(0).toByteArray(), body);
    QVERIFY(!fetcher.isBusy());
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.constLast().at(0).toLongLong(), qint64(body.size()));
    QCOMPARE(progress.constLast().at(1).toLongLong(), qint64(body.size()));
}

void TestHttpFetcher::intoFile()
{
    LoopbackServer server("new contents");
    QTemporaryDir dir;
    const QString target = dir.filePath("HChat.new");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old contents that are longer");
    old.close();

    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    fetcher.get(urlOf(server, "/file"), target);
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(0).at(0).toByteArray(), QByteArray());
    QCOMPARE(readFile(target), QByteArray("new contents"));
}

void TestHttpFetcher::notFound_data()
{
    QTest::addColumn<bool>("toFile");
    QTest::newRow("memory") << false;
    QTest::newRow("file") << true;
}

void TestHttpFetcher::notFound()
{
    QFETCH(bool, toFile);
    LoopbackServer server("unused");
    QTemporaryDir dir;
    const QString target = toFile ? dir.filePath("chat.dll") : QString();
    if (toFile) {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("previous");
    }
    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(urlOf(server, "/files/chat.dll"), target);
    QVERIFY(failed.wait(10000));
    QVERIFY(done.isEmpty());
    if (toFile)
        QCOMPARE(readFile(target), QByteArray("previous")); // an error page never replaces the file
}

void TestHttpFetcher::refused()
{
    quint16 port = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        port = closed.serverPort();
    }
    HttpFetcher fetcher;
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(QUrl(QStringLiteral("http://127.0.0.1:%1/files/chat.dll").arg(port)));
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.count(), 1);
    QVERIFY(!fetcher.isBusy());
}

void TestHttpFetcher::invalidAddressFailsLater()
{
    HttpFetcher fetcher;
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(QUrl(QStringLiteral("files/chat.dll"))); // no base
    QCOMPARE(failed.count(), 0);                         // not from inside get()
    QVERIFY(failed.wait(5000));

    QTemporaryDir dir;
    fetcher.get(QUrl("http://127.0.0.1:1/x"), dir.filePath("no/such/folder/file"));
    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.wait(5000));
}

void TestHttpFetcher::abortIsSilent()
{
    LoopbackServer server(QByteArray(100, 'y'));
    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(urlOf(server, "/file"));
    fetcher.abort();
    QVERIFY(!fetcher.isBusy());
    // A second request replaces the first; only its own end is reported.
    fetcher.get(urlOf(server, "/file"));
    fetcher.get(urlOf(server, "/file"));
    QVERIFY(done.wait(10000));
    QTest::qWait(50);
    QCOMPARE(done.count(), 1);
    QCOMPARE(failed.count(), 0);
}

void TestHttpFetcher::memoryLimit()
{
    LoopbackServer server(QByteArray(300000, 'z'));
    HttpFetcher fetcher;
    fetcher.setMemoryLimit(1000);
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(urlOf(server, "/file"));
    QVERIFY(failed.wait(10000));
    QVERIFY(!fetcher.isBusy());
}

void TestHttpFetcher::goesThroughProxy()
{
    // The "proxy" is our loopback server: a request through it carries the
    // whole address in its request line.
    LoopbackServer proxy("via proxy");
    HttpFetcher fetcher;
    fetcher.setProxy(QStringLiteral("127.0.0.1"), proxy.serverPort(), QStringLiteral("u"),
                     QStringLiteral("p"));
    QSignalSpy done(&fetcher, &Fetcher::finished);
    fetcher.get(QUrl(QStringLiteral("http://halvex.example/files/file")));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(0).at(0).toByteArray(), QByteArray("via proxy"));
    QCOMPARE(proxy.requestLines.value(0), QByteArray("GET http://halvex.example/files/file HTTP/1.1"));

    fetcher.setProxy(QString(), 0, QString(), QString());
    LoopbackServer direct("direct");
    fetcher.get(urlOf(direct, "/file"));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(1).at(0).toByteArray(), QByteArray("direct"));
}

QTEST_GUILESS_MAIN(TestHttpFetcher)
#include "tst_httpfetcher.moc"
