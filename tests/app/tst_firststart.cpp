#include "app/firststartdialog.h"
#include "chat/serverkeys.h"

#include <QTest>

using namespace hchat;

// The first start's server box: what it lets through to the link.
class TestFirstStart : public QObject
{
    Q_OBJECT
private slots:
    void serverChecks_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("usable");
        QTest::newRow("name and port") << "chat.example:5501" << true;
        QTest::newRow("name, default port") << " chat.example " << true;
        QTest::newRow("address, not looked up") << "192.0.2.7:5500" << true;
        QTest::newRow("v6 address") << "[::1]:5500" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("port 0") << "chat.example:0" << false;
        QTest::newRow("port too high") << "chat.example:65536" << false;
        QTest::newRow("port not a number") << "chat.example:55OO" << false;
        QTest::newRow("unknown name") << "nowhere.invalid:5500" << false;
        QTest::newRow("blank inside") << "chat example" << false;
    }
    void serverChecks()
    {
        QFETCH(QString, typed);
        QFETCH(bool, usable);
        QStringList looked;
        const auto resolves = [&looked](const QString &host) {
            looked << host;
            return host == QLatin1String("chat.example");
        };
        const QString problem = FirstStartDialog::serverProblem(typed, resolves);
        QCOMPARE(problem.isEmpty(), usable);
        QVERIFY(!looked.contains("192.0.2.7"));
    }

    // The pasted server key (here and in Properties): 32 bytes or nothing.
    void serverKeyChecks_data()
    {
        QTest::addColumn<QByteArray>("pasted");
        QTest::addColumn<bool>("usable");
        QTest::newRow("32 bytes") << QByteArray(32, 'k').toBase64() << true;
        QTest::newRow("blanks around") << " " + QByteArray(32, 'k').toBase64() + "\n" << true;
        QTest::newRow("none: optional") << QByteArray() << true;
        QTest::newRow("31 bytes") << QByteArray(31, 'k').toBase64() << false;
        QTest::newRow("fingerprint instead") << QByteArray("ABCD-EFGH-IJKL-MNOP") << false;
        QTest::newRow("cut in the middle") << QByteArray(32, 'k').toBase64().insert(20, ' ') << false;
    }
    void serverKeyChecks()
    {
        QFETCH(QByteArray, pasted);
        QFETCH(bool, usable);
        QCOMPARE(ServerKeys::problem(QString::fromLatin1(pasted)).isEmpty(), usable);
    }
};

QTEST_MAIN(TestFirstStart)
#include "tst_firststart.moc"
