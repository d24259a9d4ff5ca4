// The two real executables together: hchat-server and hchat (offscreen)
// start, meet, and stop cleanly on SIGTERM.
#include "support/loopbackmember.h"

#include <QDir>
#include <QProcess>
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
        QDir(home.path()).mkpath("ChatLog");
        QFile ini(home.path() + "/ChatLog/Halvex.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Chat]\r\nNick=Smoky\r\nRoom=1\r\nLog=1\r\n");
        ini.close();
        port = freePort();
        const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(port);
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
        QTRY_VERIFY_WITH_TIMEOUT((tess.session.tick(), tess.session.roster.count() >= 2), 10000);
        tess.session.textEntry.submit("hello from the smoke test");
        QTRY_VERIFY_WITH_TIMEOUT((tess.session.tick(), tess.session.ownLines.pendingCount() == 0), 10000);
        // The server hands it to hchat's next poll.
        QTRY_VERIFY_WITH_TIMEOUT(serverLog.contains("<M>Tess:  hello from the smoke test</M>"), 15000);

        QVERIFY2(stop(client), "hchat did not stop on SIGTERM");
        QCOMPARE(client.exitCode(), 0);
        QVERIFY2(stop(server), "hchat-server did not stop on SIGTERM");
        QCOMPARE(server.exitCode(), 0);
        QVERIFY(serverLog.contains("hchat-server stopping"));
        // hchat really showed it: its transcript log has the line.
        QVERIFY2(clientLogs().contains("Tess:  hello from the smoke test"), qPrintable(clientLogs()));
    }
};

QTEST_MAIN(TestSmoke)
#include "tst_smoke.moc"
