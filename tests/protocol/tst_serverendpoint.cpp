#include "protocol/serverendpoint.h"

#include <QTest>

using namespace hchat;

class TestServerEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host"); // empty: invalid
        QTest::addColumn<int>("port");
        QTest::newRow("host and port") << "127.0.0.1:5500"
                                       << "127.0.0.1" << 5500;
        QTest::newRow("host only") << "chat.example"
                                   << "chat.example" << 5500;
        QTest::newRow("blanks around") << "  chat.example:7000 "
                                       << "chat.example" << 7000;
        QTest::newRow("v6 in brackets") << "[::1]:6000"
                                        << "::1" << 6000;
        QTest::newRow("v6 in brackets, no port") << "[::1]"
                                                 << "::1" << 5500;
        QTest::newRow("bare v6") << "fe80::1"
                                 << "fe80::1" << 5500;
        QTest::newRow("empty") << ""
                               << "" << 0;
        QTest::newRow("port 0") << "h:0"
                                << "" << 0;
        QTest::newRow("port too big") << "h:65536"
                                      << "" << 0;
        QTest::newRow("port not a number") << "h:55x"
                                           << "" << 0;
        QTest::newRow("no host") << ":5500"
                                 << "" << 0;
        QTest::newRow("blank inside") << "a b:1"
                                      << "" << 0;
        QTest::newRow("open bracket") << "[::1:5"
                                      << "" << 0;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        const ServerEndpoint e = ServerEndpoint::parse(text);
        QCOMPARE(e.isValid(), !host.isEmpty());
        if (e.isValid()) {
            QCOMPARE(e.host, host);
            QCOMPARE(int(e.port), port);
            QCOMPARE(ServerEndpoint::parse(e.toString()), e);
        }
    }
};

QTEST_GUILESS_MAIN(TestServerEndpoint)
#include "tst_serverendpoint.moc"
