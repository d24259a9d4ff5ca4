// A posted link on its whole way through the real window: a datagram on the
// socket, the chat lines, the renderer, the link opener and the web pane,
// with the shipped catalogue and a room whose record approves a root.
#include "app/chatservices.h"
#include "app/sealbadge.h"
#include "app/tfrmchat.h"
#include "platform/webviewerhost.h"
#include "support/chatwindowparts.h"

#include <QDir>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QUdpSocket>

using namespace hchat;

class TestLinkEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("HCHAT_NO_WEBENGINE", "1"); // the plain pane is enough to see the address
    }

    void postedLinkOpens_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("opened");
        // Lines of ordinary length: each record is well over 110 bytes.
        const QString approved = "http://www.data.example/guide/chapter-one.html";
        QTest::newRow("approved root")
            << "Bob:  have a look at this page, it explains the whole thing: " + approved << approved;
        const QString monitor = "http://127.0.0.1:8080/mon/today";
        QTest::newRow("shipped site text")
            << "Bob:  the room monitor for today is on our own site, see " + monitor << monitor;
        QTest::newRow("host not approved")
            << "Bob:  and this one is on some other site altogether: http://www.elsewhere.example/x.html"
            << QString();
    }

    void postedLinkOpens()
    {
        QFETCH(QString, message);
        QFETCH(QString, opened);

        QUdpSocket server;
        QVERIFY(server.bind(QHostAddress::LocalHost, 0));
        QTemporaryDir home;
        QDir().mkpath(home.filePath("ChatLog"));
        QFile ini(home.filePath("ChatLog/Halvex.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[Chat]\nNick=Ann\nRoom=0\nServer0=127.0.0.1:%1\n")
                      .arg(server.localPort())
                      .toUtf8());
        ini.close();

        StartOptions o;
        o.programFolder = home.path() + "/";
        o.installFolder = qEnvironmentVariable("HCHAT_BIN_DIR") + "/";
        TfrmChat w(o, 300);
        tmrChat(w)->stop();
        QCOMPARE(w.session().text(100), QString("127.0.0.1:8080")); // the shipped catalogue is in

        // This server speaks plain only: the key requests go unanswered
        // until the client falls back. That poll tells the server where we are.
        QNetworkDatagram poll;
        for (int tick = 0; tick < 200 && !poll.data().startsWith('<'); ++tick) {
            w.tmrChatTimer();
            while (server.waitForReadyRead(20))
                poll = server.receiveDatagram();
        }
        const QRegularExpressionMatch k =
            QRegularExpression("<R>0</R><K>(\\d)</K>").match(QString::fromUtf8(poll.data()));
        QVERIFY(k.hasMatch());

        const QByteArray line =
            "<R>1</R><F>255</F><E>BOBBOBBOx</E><#>0</#><Z>10:00:00</Z><M>" + message.toUtf8() + "</M>\n";
        QVERIFY(line.size() > 110);
        const QByteArray reply = "<R>0</R><K>" + k.captured(1).toUtf8() + "</K><Q>0</Q><L>ab</L>\n" +
                                 "<R>7</R><#>0</#><N>Lobby</N><V>data.example</V>\n" + line;
        server.writeDatagram(reply, poll.senderAddress(), quint16(poll.senderPort()));

        QTRY_VERIFY(memRich(w)->toPlainText().contains(message));
        QCOMPARE(sealBadge(w)->text(), QString("not encrypted"));
        QCOMPARE(w.services().web()->currentAddress(), opened);
    }
};

QTEST_MAIN(TestLinkEndToEnd)
#include "tst_linkendtoend.moc"
