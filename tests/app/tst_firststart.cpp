#include "app/firststartdialog.h"

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
};

QTEST_MAIN(TestFirstStart)
#include "tst_firststart.moc"
