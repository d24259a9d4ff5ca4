// The two real executables together: hchat-server and hchat (offscreen)
// start, meet, and stop cleanly on SIGTERM; members kept across a restart.
#include "protocol/sealing.h"
#include "support/loopbackmember.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

using namespace hchat;

namespace {

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

bool stop(QProcess &p)
{
    if (p.processId() > 0) // 0 would be our own process group
        ::kill(pid_t(p.processId()), SIGTERM);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit;
}

} // namespace

class TestSmoke : public QObject
{
    Q_OBJECT

    QString bin = qEnvironmentVariable("HCHAT_BIN_DIR");
    QTemporaryDir home;
    quint16 port = 0;
    // The log is declared first so that it outlives the processes, whose
    // destructors still deliver their last output to it.
    QByteArray serverLog;
    QProcess server;
    QProcess client;

    void startBoth()
    {
        QVERIFY(QFile::exists(bin + "/hchat-server"));
        QVERIFY(QFile::exists(bin + "/hchat"));
        port = freePort();
        const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(port);
        QDir(home.path()).mkpath("ChatLog");
        QFile ini(home.path() + "/ChatLog/Halvex.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Chat]\r\nNick=Smoky\r\nRoom=1\r\nLog=1\r\nServer1=" + endpoint.toUtf8() + "\r\n");
        ini.close();
        connect(&server, &QProcess::readyReadStandardError, this,
                [this] { serverLog += server.readAllStandardError(); });
        server.start(bin + "/hchat-server", {"--listen", endpoint, "--verbose"});
        QVERIFY(server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(serverLog.contains("listening"), 10000);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        client.setProcessEnvironment(env);
        client.start(bin + "/hchat", {"--home", home.path(), "--server", endpoint});
        QVERIFY(client.waitForStarted());
    }

    // The text of every log file the client wrote in its ChatLog folder.
    QString clientLogs() const
    {
        QString all;
        const QDir logs(home.path() + "/ChatLog");
        for (const QString &name : logs.entryList({"*.log"}, QDir::Files)) {
            QFile f(logs.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                all += QString::fromUtf8(f.readAll());
        }
        return all;
    }

private slots:
    void startMeetAndStop()
    {
        startBoth();
        if (QTest::currentTestFailed())
            return;
        // The client announces itself within a few of its ticks.
        QTRY_VERIFY2_WITH_TIMEOUT(serverLog.contains(": Smoky ("), "hchat never announced itself", 15000);

        // A second member joins in-process and says a line; the server
        // hands it to the client's next poll.
        test::LoopbackMember tess("Tess", 1, QStringLiteral("127.0.0.1:%1").arg(port));
        // Tess's timer ticks while we wait: she announces herself and is
        // answered, then says her line and the server takes it.
        QTRY_VERIFY_WITH_TIMEOUT((tess.session.tick(), serverLog.contains(": Tess (")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT((tess.session.tick(), tess.session.roster().count() >= 2), 10000);
        tess.session.textEntry().submit("hello from the smoke test");
        QTRY_VERIFY_WITH_TIMEOUT((tess.session.tick(), tess.session.ownLines().pendingCount() == 0), 10000);
        // The server hands it to hchat's next poll.
        QTRY_VERIFY_WITH_TIMEOUT(serverLog.contains("<M>Tess:  hello from the smoke test</M>"), 15000);

        QVERIFY2(stop(client), "hchat did not stop on SIGTERM");
        QCOMPARE(client.exitCode(), 0);
        QVERIFY2(stop(server), "hchat-server did not stop on SIGTERM");
        QCOMPARE(server.exitCode(), 0);
        QVERIFY(serverLog.contains("hchat-server stopping"));
        // hchat really showed it: its transcript log has the line.
        QVERIFY2(clientLogs().contains("Tess:  hello from the smoke test"), qPrintable(clientLogs()));
        // Sealed under the key the first contact taught, kept for the address.
        QFile ini(home.path() + "/ChatLog/Halvex.ini");
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QString key = QRegularExpression("ServerKey1=(\\S+)").match(ini.readAll()).captured(1);
        const QString shown = QRegularExpression("key fingerprint ([A-Z0-9-]+)").match(serverLog).captured(1);
        QVERIFY(!shown.isEmpty());
        QCOMPARE(SealKeyText::fingerprint(SealKeyText::decode(key)), shown);
    }

    // Ann and Bob in room 1; the server stops (SIGTERM) or is killed right
    // after its save; Ann is back first and speaks, then Cy joins, then Bob.
    void restartBetweenReturnsLosesNothing_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }
    void restartBetweenReturnsLosesNothing()
    {
        QFETCH(int, sig);
        QTemporaryDir data;
        const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(freePort());
        QProcess hchatServer;
        QByteArray log;
        auto start = [&] {
            hchatServer.start(bin + "/hchat-server", {"--listen", endpoint, "--data", data.path()});
            return hchatServer.waitForStarted() &&
                   QTest::qWaitFor(
                       [&] { return (log += hchatServer.readAllStandardError()).contains("listening"); },
                       10000);
        };
        std::vector<std::unique_ptr<test::LoopbackMember>> here;
        auto until = [&](const std::function<bool()> &done) {
            return QTest::qWaitFor(
                [&] {
                    for (auto &m : here)
                        m->session.tick();
                    return done();
                },
                20000);
        };
        auto join = [&](const QString &nick) {
            here.push_back(std::make_unique<test::LoopbackMember>(nick, 1, endpoint));
            return here.back().get();
        };
        auto heard = [](const test::LoopbackMember *m, const QString &line) {
            return m->shown().count(line);
        };
        QVERIFY(start());
        test::LoopbackMember *ann = join("Ann");
        QVERIFY(until([&] { return ann->session.roster().count() == 1; }));
        test::LoopbackMember *bob = join("Bob");
        QVERIFY(
            until([&] { return ann->session.roster().count() == 2 && bob->session.roster().count() == 2; }));
        // Killed only once both are on disk: at most the last 100 ms are lost.
        QVERIFY(QTest::qWaitFor(
            [&] {
                QFile f(data.filePath("members.dat")); // nicks in UTF-16, Bob's saved after Ann's
                return f.open(QIODevice::ReadOnly) && f.readAll().contains(QByteArray("\0B\0o\0b", 6));
            },
            10000));
        if (hchatServer.processId() > 0) // 0 would be our own process group
            ::kill(pid_t(hchatServer.processId()), sig);
        QVERIFY(hchatServer.waitForFinished(10000));
        std::unique_ptr<test::LoopbackMember> away = std::move(here.back());
        here.pop_back();
        QVERIFY(start());
        ann->session.textEntry().submit("back first");
        QVERIFY(until([&] { return ann->session.ownLines().pendingCount() == 0; }));
        test::LoopbackMember *cy = join("Cy");
        QVERIFY(until([&] { return cy->session.roster().count() == 3; }));
        here.push_back(std::move(away));
        bob->session.textEntry().submit("back too");
        QVERIFY(until([&] { return heard(ann, "Bob:  back too") == 1 && heard(cy, "Bob:  back too") == 1; }));
        QCOMPARE(heard(bob, "Ann:  back first"), 1);
        QCOMPARE(heard(cy, "Ann:  back first"), 0);
        here.clear();
        QVERIFY(stop(hchatServer));
    }
};

QTEST_MAIN(TestSmoke)
#include "tst_smoke.moc"
