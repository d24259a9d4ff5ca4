#include "platform/httpfetcher.h"
#include "support/loopbackhttpserver.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;

namespace {

using hchat::test::LoopbackHttpServer;

// The loopback server with one file, the way most cases want it.
struct FileServer : LoopbackHttpServer {
    explicit FileServer(const QByteArray &body) { serve("/file", body); }
};

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
    void badAnswers_data();
    void badAnswers();
    void lengthNotAnnounced();
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
    FileServer server(body);
    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    QSignalSpy progress(&fetcher, &Fetcher::progress);
    fetcher.get(server.url("/file"));
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
    FileServer server("new contents");
    QTemporaryDir dir;
    const QString target = dir.filePath("HChat.new");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old contents that are longer");
    old.close();

    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    fetcher.get(server.url("/file"), target);
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(0).at(0).toByteArray(), QByteArray());
    QCOMPARE(readFile(target), QByteArray("new contents"));
}

void TestHttpFetcher::badAnswers_data()
{
    QTest::addColumn<QByteArray>("answer"); // empty: never answered
    QTest::addColumn<bool>("toFile");
    const QList<QPair<const char *, QByteArray>> answers{
        {"404 page", QByteArray()}, // the server's own 404
        {"cut short",
         "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n" + QByteArray(50, 'h')},
        {"no content", "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"},
        {"partial content", "HTTP/1.1 206 Partial Content\r\nContent-Length: 5\r\n\r\nabcde"},
        {"past the body limit", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + QByteArray(300000, 'x')},
        {"timeout", "hold"}};
    for (const auto &[name, answer] : answers) {
        QTest::addRow("%s, memory", name) << answer << false;
        QTest::addRow("%s, file", name) << answer << true;
    }
}

void TestHttpFetcher::badAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, toFile);
    LoopbackHttpServer server;
    if (answer == "hold")
        server.hold("/files/chat.dll");
    else if (!answer.isEmpty())
        server.serveRaw("/files/chat.dll", answer);
    QTemporaryDir dir;
    const QString target = toFile ? dir.filePath("chat.dll") : QString();
    if (toFile) {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("previous");
    }
    HttpFetcher fetcher;
    fetcher.setTimeout(300);
    fetcher.setBodyLimit(64 * 1024);
    QSignalSpy done(&fetcher, &Fetcher::finished);
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(server.url("/files/chat.dll"), target);
    QVERIFY(failed.wait(10000));
    QVERIFY(done.isEmpty());
    QVERIFY(!fetcher.isBusy());
    if (toFile) {
        QCOMPARE(readFile(target), QByteArray("previous")); // only a whole body replaces the file
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"chat.dll"});
    }
}

void TestHttpFetcher::lengthNotAnnounced()
{
    // Without a length the end of the connection is the end of the body.
    LoopbackHttpServer server;
    server.serveRaw("/file", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nwhole body");
    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    fetcher.get(server.url("/file"));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(0).at(0).toByteArray(), QByteArray("whole body"));
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
    FileServer server(QByteArray(100, 'y'));
    HttpFetcher fetcher;
    QSignalSpy done(&fetcher, &Fetcher::finished);
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(server.url("/file"));
    fetcher.abort();
    QVERIFY(!fetcher.isBusy());
    // A second request replaces the first; only its own end is reported.
    fetcher.get(server.url("/file"));
    fetcher.get(server.url("/file"));
    QVERIFY(done.wait(10000));
    QTest::qWait(50);
    QCOMPARE(done.count(), 1);
    QCOMPARE(failed.count(), 0);
}

void TestHttpFetcher::memoryLimit()
{
    FileServer server(QByteArray(300000, 'z'));
    HttpFetcher fetcher;
    fetcher.setMemoryLimit(1000);
    QSignalSpy failed(&fetcher, &Fetcher::failed);
    fetcher.get(server.url("/file"));
    QVERIFY(failed.wait(10000));
    QVERIFY(!fetcher.isBusy());
}

void TestHttpFetcher::goesThroughProxy()
{
    // The "proxy" is our loopback server: a request through it carries the
    // whole address in its request line.
    LoopbackHttpServer proxy;
    proxy.serve("http://halvex.example/files/file", "via proxy");
    HttpFetcher fetcher;
    fetcher.setProxy(QStringLiteral("127.0.0.1"), proxy.serverPort(), QStringLiteral("u"),
                     QStringLiteral("p"));
    QSignalSpy done(&fetcher, &Fetcher::finished);
    fetcher.get(QUrl(QStringLiteral("http://halvex.example/files/file")));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(0).at(0).toByteArray(), QByteArray("via proxy"));
    QCOMPARE(proxy.requestLines.value(0), QByteArray("GET http://halvex.example/files/file HTTP/1.1"));

    fetcher.setProxy(QString(), 0, QString(), QString());
    FileServer direct("direct");
    fetcher.get(direct.url("/file"));
    QVERIFY(done.wait(10000));
    QCOMPARE(done.at(1).at(0).toByteArray(), QByteArray("direct"));
}

QTEST_GUILESS_MAIN(TestHttpFetcher)
#include "tst_httpfetcher.moc"
