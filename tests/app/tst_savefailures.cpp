// The real programs on a disk that is full or read-only: nothing they kept
// is lost, and the failure is told instead of success.
#include "protocol/codec.h"
#include "support/loopbackmember.h"
#include "support/smalldisk.h"
#include "support/testfiles.h"

#include <QDir>
#include <QProcess>
#include <QTest>
#include <QUdpSocket>

#include <csignal>

using namespace hchat;
using hchat::test::FakeSink;
using hchat::test::readFile;
using hchat::test::SmallDisk;
using hchat::test::writeFile;

namespace {

bool stop(QProcess &p)
{
    if (p.processId() > 0) // 0 would be our own process group
        ::kill(pid_t(p.processId()), SIGTERM);
    return p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit;
}

void breakDisk(SmallDisk &disk, const QString &how)
{
    if (how == "full")
        disk.fill();
    else
        QVERIFY(disk.setReadOnly(true));
}

} // namespace

class TestSaveFailures : public QObject
{
    Q_OBJECT

    QString bin = qEnvironmentVariable("HCHAT_BIN_DIR");

private slots:
    void serverTellsTheMemberNothingWasSaved_data()
    {
        QTest::addColumn<QString>("disk");
        QTest::newRow("full") << "full";
        QTest::newRow("read-only") << "read-only";
    }
    void serverTellsTheMemberNothingWasSaved()
    {
        QFETCH(QString, disk);
        SmallDisk small;
        if (!small.available())
            QSKIP(qPrintable(small.skipReason()));
        const QString data = small.path() + "/data";
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost, 0);
        const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(probe.localPort());
        probe.close();

        QByteArray log;
        QProcess server;
        connect(&server, &QProcess::readyReadStandardError, this,
                [&] { log += server.readAllStandardError(); });
        server.start(bin + "/hchat-server", {"--listen", endpoint, "--data", data});
        QVERIFY(server.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("listening"), 10000);
        const QByteArray seeded = readFile(data + "/rooms.txt");
        QVERIFY(seeded.contains("<N>Vacant</N>"));
        breakDisk(small, disk);

        test::LoopbackMember member("Dora", 1, endpoint);
        ChatSession &dora = member.session;
        for (int i = 0; i < 100 && !log.contains("Dora ("); ++i) {
            dora.tick();
            QTest::qWait(50);
        }
        dora.Send(7, AddI(6, "#") + AddS("Changed", "N"));
        dora.Send(9, AddI(6, "#") + AddS("News", "M"));
        for (int i = 0; i < 100 && member.shown().count("could not be saved") < 2; ++i) {
            dora.tick();
            QTest::qWait(50);
        }
        const QString told = member.shown();
        QVERIFY2(told.count("could not be saved") == 2,
                 qPrintable(told + '\n' + QString::fromLocal8Bit(log)));
        QVERIFY2(!told.contains("were saved") && !told.contains("was saved"), qPrintable(told));
        QCOMPARE(readFile(data + "/rooms.txt"), seeded);
        QVERIFY(!QFile::exists(data + "/bulletins.txt"));
        QVERIFY2(log.contains("room 6 not saved for Dora") && log.contains("bulletin of room 6 not saved"),
                 log.constData());

        QVERIFY(stop(server));
        QCOMPARE(server.exitCode(), 0);
    }

    void clientKeepsItsFilesAndSaysSo()
    {
        SmallDisk small(1024);
        if (!small.available())
            QSKIP(qPrintable(small.skipReason()));
        const QString home = small.path() + "/";
        const QByteArray ini = "[Chat]\nNick=Smoky\nRoom=1\nProxyHost=proxy.example\nMemberID=ABCDEFGH\n";
        const QByteArray favourites = "http://127.0.0.1:8080/mon/\n";
        writeFile(home + "ChatLog/Halvex.ini", ini);
        writeFile(home + "Favourites.lst", favourites);
        // The lists are named by the catalogue: the shipped source makes one.
        writeFile(home + "strings2.txt", readFile(qEnvironmentVariable("HCHAT_TEST_DATA") + "/strings2.txt"));

        // A stand-in server: the client's first poll says its window runs.
        QUdpSocket fakeServer;
        QVERIFY(fakeServer.bind(QHostAddress::LocalHost, 0));
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        client.setProcessEnvironment(env);
        client.start(bin + "/hchat", {"--home", home, "--server",
                                      QStringLiteral("127.0.0.1:%1").arg(fakeServer.localPort())});
        QVERIFY(client.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(fakeServer.hasPendingDatagrams(), 20000);

        small.fill();
        QVERIFY2(stop(client), "hchat did not stop on SIGTERM");
        const QByteArray err = client.readAllStandardError();
        QVERIFY2(client.exitCode() != 0, err.constData());
        QVERIFY2(err.contains("Settings not saved") && err.contains("Lists not saved"), err.constData());
        QCOMPARE(readFile(home + "ChatLog/Halvex.ini"), ini);
        QCOMPARE(readFile(home + "Favourites.lst"), favourites);
    }
};

QTEST_MAIN(TestSaveFailures)
#include "tst_savefailures.moc"
