#include "support/faketranscriptview.h"
#include "transcript/chatlogger.h"
#include "transcript/transcriptrenderer.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace hchat;

namespace {
QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}
} // namespace

class TstChatLogger : public QObject
{
    Q_OBJECT
private slots:
    void filesPerRoomAndDay();
    void rendererLogsShownLines();
    void logsAreTheOwnersOnly();
};

void TstChatLogger::filesPerRoomAndDay()
{
    QTemporaryDir dir;
    QDateTime clock(QDate(2024, 5, 1), QTime(23, 59, 58));
    int room = 3;
    ChatLogger log(dir.filePath("ChatLog"), [&] { return clock; });
    log.firstRoom = [&] { return room; };
    log.secondRoom = [] { return 7; };
    log.LogOpened();
    log.AutoLog("first");
    // Written through at once: another reader sees the line already.
    QCOMPARE(readLines(log.roomLogPath(3)), (QStringList{"----------  23:59:58 Open  ----------", "first"}));
    QCOMPARE(readLines(log.pmLogPath()), QStringList{"----------  23:59:58 Open  ----------"});
    log.AutoLog2("watched");
    log.PMAutoLog("pm line");
    room = 4;
    log.AutoLog("moved");
    clock = clock.addSecs(5); // next day
    log.AutoLog("tomorrow");
    QVERIFY(log.roomLogPath(4).endsWith("Room 4 2024-05-02.log"));
    QCOMPARE(readLines(dir.filePath("ChatLog/Room 7 2024-05-01.log")), QStringList{"watched"});
    QCOMPARE(readLines(dir.filePath("ChatLog/Room 4 2024-05-01.log")), QStringList{"moved"});
    QCOMPARE(readLines(log.roomLogPath(4)), QStringList{"tomorrow"});
    QCOMPARE(readLines(dir.filePath("ChatLog/PM 2024-05-01.log")).last(), QString("pm line"));

    // A second run appends.
    ChatLogger again(dir.filePath("ChatLog"), [&] { return clock; });
    again.firstRoom = [] { return 4; };
    again.AutoLog("more");
    QCOMPARE(readLines(again.roomLogPath(4)), (QStringList{"tomorrow", "more"}));

    // A folder that can't be made loses the lines, not the program.
    ChatLogger broken("/proc/no/such/dir");
    broken.AutoLog("x");
}

void TstChatLogger::rendererLogsShownLines()
{
    QTemporaryDir dir;
    ChatLogger log(dir.path(), [] { return QDateTime(QDate(2024, 5, 1), QTime(8, 0)); });
    FakeTranscriptView a, b;
    bool autoLog = true;
    TranscriptContext c;
    c.log = &log;
    c.autoLog = [&] { return autoLog; };
    c.showTimeStamps = [] { return false; };
    c.text = [](int n) { return n == 469 ? QStringLiteral("'clock' hh:nn") : QString(); };
    c.now = [] { return QDateTime(QDate(2024, 5, 1), QTime(8, 0)); };
    TranscriptRenderer r(&a, &b, c);
    for (int i = 1; i <= 51; ++i)
        r.TimeStamp(QString("line %1").arg(i));
    r.ShowMessage("notice only", false, true); // ShowMessage itself does not log
    autoLog = false;
    r.TimeStamp("unlogged");
    const QStringList lines = readLines(log.roomLogPath(0));
    QCOMPARE(lines.size(), 52);
    QCOMPARE(lines.last(), QString("clock 08:00"));
}

void TstChatLogger::logsAreTheOwnersOnly()
{
    // Whatever the umask, and for files an older version left readable.
    QTemporaryDir dir;
    const QString folder = dir.filePath("ChatLog");
    QVERIFY(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7555));
    const QDateTime day(QDate(2024, 5, 1), QTime(9, 0));
    QFile old(folder + "/PM 2024-05-01.log");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.setPermissions(QFileDevice::Permissions(0x6644));
    old.close();
    ChatLogger log(folder, [&] { return day; });
    log.PMAutoLog("my bank PIN is 1234");
    log.AutoLog("room line");
    const auto others = QFileDevice::Permissions(0x0077);
    QCOMPARE(QFile::permissions(folder) & others, QFileDevice::Permissions());
    QCOMPARE(QFile::permissions(log.pmLogPath()) & others, QFileDevice::Permissions());
    QCOMPARE(QFile::permissions(log.roomLogPath(0)) & others, QFileDevice::Permissions());
    QCOMPARE(readLines(log.pmLogPath()), QStringList{"my bank PIN is 1234"});
}

QTEST_MAIN(TstChatLogger)
#include "tst_chatlogger.moc"
