#include "remote/remotesupport.h"
#include "support/fakeprocesscontrol.h"

#include <QCoreApplication>
#include <QTest>

using namespace hchat;
using hchat::test::FakeProcessControl;

namespace {
const QStringList allServiceQueries = [] {
    QStringList q;
    for (int n = 7; n <= 13; ++n)
        q << QStringLiteral("service TeamViewer%1").arg(n);
    return q;
}();
} // namespace

class TestRemoteSupport : public QObject
{
    Q_OBJECT
private slots:
    void whichWindowsAreEnded_data();
    void whichWindowsAreEnded();
    void stepsInOrder_data();
    void stepsInOrder();
    void missingHelperGivesOneNotice();
};

void TestRemoteSupport::whichWindowsAreEnded_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QString>("twist"); // what else differs from the tool's own window
    QTest::newRow("the tool") << "TeamViewer" << qint64(40) << true << "";
    QTest::newRow("inside a title") << "Session - TeamViewer Panel" << qint64(41) << true << "";
    QTest::newRow("the kept kind") << "TeamViewer QRV" << qint64(42) << false << "";
    QTest::newRow("kept marker first") << "QRV support (TeamViewer)" << qint64(43) << false << "";
    QTest::newRow("other case") << "teamviewer" << qint64(44) << false << "";
    QTest::newRow("another program") << "Notes" << qint64(45) << false << "";
    QTest::newRow("name past 255 characters")
        << QString(250, u'x') + "TeamViewer" << qint64(46) << false << "";
    QTest::newRow("name ends at 255") << QString(245, u'x') + "TeamViewer" << qint64(47) << true << "";
    QTest::newRow("marker past 255 is not seen")
        << QString(240, u'x') + "TeamViewer" + QString(10, u'y') + "QRV" << qint64(48) << true << "";
    // An owner that is no process, or all processes of a group, is never signalled.
    QTest::newRow("no owner") << "TeamViewer" << qint64(0) << false << "";
    QTest::newRow("negative owner") << "TeamViewer" << qint64(-1) << false << "";
    // Only the tool's own process, on this host, of our user; never ourselves.
    QTest::newRow("another host's pid") << "TeamViewer" << qint64(50) << false << "remote";
    QTest::newRow("another user") << "TeamViewer" << qint64(51) << false << "user";
    QTest::newRow("a browser page") << "TeamViewer - Browser" << qint64(52) << false << "browser";
    QTest::newRow("this program") << "TeamViewer" << QCoreApplication::applicationPid() << false << "";
}

void TestRemoteSupport::whichWindowsAreEnded()
{
    QFETCH(QString, title);
    QFETCH(qint64, pid);
    QFETCH(bool, ended);
    QFETCH(QString, twist);
    FakeProcessControl control;
    control.windows = {
        {title, pid, twist == "browser" ? "firefox" : "TeamViewer.exe", twist != "remote", twist != "user"}};
    RemoteSupport(control, "/opt/hchat").run();
    QCOMPARE(control.log.contains(QStringLiteral("end %1").arg(pid)), ended);
}

void TestRemoteSupport::stepsInOrder_data()
{
    QTest::addColumn<QStringList>("running");
    QTest::addColumn<bool>("elevated");
    QTest::newRow("no service runs") << QStringList() << false;
    QTest::newRow("first runs") << QStringList{"TeamViewer7"} << true;
    QTest::newRow("last runs") << QStringList{"TeamViewer13"} << true;
    QTest::newRow("several run") << QStringList{"TeamViewer8", "TeamViewer12"} << true;
    QTest::newRow("number out of range") << QStringList{"TeamViewer6", "TeamViewer14", "TeamViewer"} << false;
}

void TestRemoteSupport::stepsInOrder()
{
    QFETCH(QStringList, running);
    QFETCH(bool, elevated);
    FakeProcessControl control;
    control.windows = {{"TeamViewer", 10, "teamviewer", true, true},
                       {"Notes", 11, "notes", true, true},
                       {"TeamViewer - Remote", 10, "teamviewer", true, true},
                       {"TeamViewer", 12, "teamviewer", true, true}};
    control.running = QSet<QString>(running.begin(), running.end());
    QCOMPARE(RemoteSupport(control, "/opt/hchat").run(), QString());

    // Windows first (a process with two windows ended once), then every
    // service, then the script only when one runs, our program last.
    QStringList expected{"windows", "end 10", "end 12"};
    expected << allServiceQueries;
    if (elevated)
        expected << "elevated /opt/hchat/" + RemoteSupport::elevatedScriptName();
    expected << "start /opt/hchat/" + RemoteSupport::helpProgramName() + " in /opt/hchat/";
    QCOMPARE(control.log, expected);
}

void TestRemoteSupport::missingHelperGivesOneNotice()
{
    FakeProcessControl control;
    control.running = {"TeamViewer9"};
    control.elevates = false; // a refused elevation stays silent
    control.startError = "/opt/hchat/halvexhelp is missing";
    const QString notice = RemoteSupport(control, "/opt/hchat/").run();
    QVERIFY(notice.contains("halvexhelp is missing"));
    QVERIFY(!notice.contains(u'\n'));
    QCOMPARE(control.log.constLast(), "start /opt/hchat/halvexhelp in /opt/hchat/");
}

QTEST_GUILESS_MAIN(TestRemoteSupport)
#include "tst_remotesupport.moc"
