#include "upgrade/upgradelisting.h"

#include <QTest>

#include <limits>

using namespace hchat;

class TestUpgradeListing : public QObject
{
    Q_OBJECT
private slots:
    void postDates_data();
    void postDates();
    void dayOf_data();
    void dayOf();
    void captionAndButton_data();
    void captionAndButton();
};

namespace {
// 2024-03-10 12:00 UTC.
constexpr qint64 noonMarch10 = 1710072000;
} // namespace

void TestUpgradeListing::postDates_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QByteArray>("sha256");

    const QString entry = "file=hchat\nsize=12\nmtime=1710072000\n";
    QTest::newRow("entry") << entry << true << QDate(2024, 3, 10) << QByteArray();
    QTest::newRow("among others") << "file=chat.dll\nsize=9\nmtime=5\n" + entry << true << QDate(2024, 3, 10)
                                  << QByteArray();
    QTest::newRow("line ends of the other system")
        << QString(entry).replace("\n", "\r\n") << true << QDate(2024, 3, 10) << QByteArray();
    QTest::newRow("digest") << entry + "sha256=ABCDEF01\nfile=x\n"
                            << true << QDate(2024, 3, 10) << QByteArray("abcdef01");
    QTest::newRow("digest of the next file is not ours")
        << entry + "file=chat.dll\nsize=1\nmtime=1\nsha256=ff\n"
        << true << QDate(2024, 3, 10) << QByteArray();
    QTest::newRow("first entry counts") << entry + "file=hchat\nsize=1\nmtime=86400000\n"
                                        << true << QDate(2024, 3, 10) << QByteArray();
    QTest::newRow("a longer name is another file") << "file=hchat-server\nsize=1\nmtime=86400000\n" + entry
                                                   << true << QDate(2024, 3, 10) << QByteArray();
    QTest::newRow("time cut at 20 characters") << "file=hchat\n\nmtime=00000000001710072000999\n"
                                               << true << QDate(2024, 3, 10) << QByteArray();
    QTest::newRow("no entry") << "file=chat.dll\nsize=9\nmtime=1710072000\n"
                              << false << QDate() << QByteArray();
    QTest::newRow("empty listing") << "" << false << QDate() << QByteArray();
    QTest::newRow("mtime one line below") << "file=hchat\nmtime=1710072000\nsize=12\n"
                                          << false << QDate() << QByteArray();
    QTest::newRow("entry at the end") << "size=1\nfile=hchat\nsize=12" << false << QDate() << QByteArray();
    QTest::newRow("time not a number") << "file=hchat\nsize=12\nmtime=yesterday\n"
                                       << false << QDate() << QByteArray();
    QTest::newRow("time past the calendar") << "file=hchat\nsize=12\nmtime=99999999999999999\n"
                                            << false << QDate() << QByteArray();
    QTest::newRow("an error page") << "<html><body>404 Not Found</body></html>" << false << QDate()
                                   << QByteArray();
}

void TestUpgradeListing::postDates()
{
    QFETCH(QString, listing);
    QFETCH(bool, found);
    QFETCH(QDate, date);
    QFETCH(QByteArray, sha256);
    const UpgradeListing l = UpgradeListing::PostDates(listing, "hchat");
    QCOMPARE(l.found, found);
    QCOMPARE(l.date, date);
    QCOMPARE(l.sha256, sha256);
}

void TestUpgradeListing::dayOf_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QDate>("day");
    // The site's day starts five hours after midnight UTC.
    QTest::newRow("epoch") << qint64(0) << QDate(1969, 12, 31);
    QTest::newRow("one second before the day turns") << qint64(5 * 3600 - 1) << QDate(1969, 12, 31);
    QTest::newRow("the day turns") << qint64(5 * 3600) << QDate(1970, 1, 1);
    QTest::newRow("before the epoch") << qint64(-1) << QDate(1969, 12, 31);
    QTest::newRow("a day before the epoch's day") << qint64(5 * 3600 - 86400 - 1) << QDate(1969, 12, 30);
    QTest::newRow("noon") << noonMarch10 << QDate(2024, 3, 10);
    QTest::newRow("late evening UTC") << qint64(1710111599) << QDate(2024, 3, 10); // 22:59:59
    QTest::newRow("just after midnight UTC") << qint64(1710115200) << QDate(2024, 3, 10);
    QTest::newRow("largest") << std::numeric_limits<qint64>::max() << QDate();
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << QDate();
}

void TestUpgradeListing::dayOf()
{
    QFETCH(qint64, seconds);
    QFETCH(QDate, day);
    QCOMPARE(UpgradeListing::dayOf(seconds), day);
}

void TestUpgradeListing::captionAndButton_data()
{
    QTest::addColumn<QDate>("version");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("posted later") << QDate(2024, 3, 9) << true;
    QTest::newRow("same day") << QDate(2024, 3, 10) << false;
    QTest::newRow("program newer") << QDate(2024, 3, 11) << false;
}

void TestUpgradeListing::captionAndButton()
{
    QFETCH(QDate, version);
    QFETCH(bool, enabled);
    const UpgradeListing l = UpgradeListing::PostDates("file=hchat\nsize=1\nmtime=1710072000\n", "hchat");
    QCOMPARE(l.caption(), QStringLiteral("Upgrade to version Mar 10"));
    QCOMPARE(l.isLaterThan(version), enabled);
    QVERIFY(!UpgradeListing().isLaterThan(QDate(1900, 1, 1)));
}

QTEST_GUILESS_MAIN(TestUpgradeListing)
#include "tst_upgradelisting.moc"
