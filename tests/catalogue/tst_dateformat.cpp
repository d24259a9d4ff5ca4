#include "catalogue/dateformat.h"

#include <QTest>

using namespace hchat;

class TestDateFormat : public QObject
{
    Q_OBJECT
private slots:
    void format_data();
    void format();
};

void TestDateFormat::format_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");

    // Saturday 5 March 2022, 07:04:09.031 and 19:45:30
    const QDateTime morning(QDate(2022, 3, 5), QTime(7, 4, 9, 31));
    const QDateTime evening(QDate(2022, 3, 5), QTime(19, 45, 30));
    const QDateTime midnight(QDate(2009, 12, 31), QTime(0, 0, 0));
    const QDateTime noon(QDate(2009, 12, 31), QTime(12, 0, 0));

    QTest::newRow("hh:nn:ss") << "hh:nn:ss" << morning << "07:04:09";
    QTest::newRow("h:n:s") << "h:n:s" << morning << "7:4:9";
    QTest::newRow("nn is minutes") << "nn" << evening << "45";
    QTest::newRow("mm alone is month") << "mm" << evening << "03";
    QTest::newRow("mm after hh is minutes") << "hh:mm" << evening << "19:45";
    QTest::newRow("m after h is minutes") << "h m" << morning << "7 4";
    QTest::newRow("mm after ss is month") << "hh ss mm" << morning << "07 09 03";
    QTest::newRow("mmm d") << "mmm d" << morning << "Mar 5";
    QTest::newRow("mmmm dd") << "mmmm dd" << morning << "March 05";
    QTest::newRow("mm-dd-yy") << "mm-dd-yy" << morning << "03-05-22";
    QTest::newRow("yyyy") << "yyyy/m/d" << morning << "2022/3/5";
    QTest::newRow("ddd dddd") << "ddd, dddd" << morning << "Sat, Saturday";
    QTest::newRow("am/pm evening") << "h:nn am/pm" << evening << "7:45 pm";
    QTest::newRow("AM/PM morning") << "hh:nn AM/PM" << morning << "07:04 AM";
    QTest::newRow("a/p") << "h a/p" << evening << "7 p";
    QTest::newRow("ampm") << "h ampm" << morning << "7 AM";
    QTest::newRow("midnight 12h") << "h:nn am/pm" << midnight << "12:00 am";
    QTest::newRow("noon 12h") << "h:nn am/pm" << noon << "12:00 pm";
    QTest::newRow("midnight 24h") << "hh:nn" << midnight << "00:00";
    QTest::newRow("upper-case letters") << "HH:NN:SS" << evening << "19:45:30";
    QTest::newRow("double-quoted literal") << "\"at\" hh:nn" << evening << "at 19:45";
    QTest::newRow("single-quoted literal") << "'mm dd' mm" << evening << "mm dd 03";
    QTest::newRow("quoted am/pm stays 24h") << "hh 'am/pm'" << evening << "19 am/pm";
    QTest::newRow("unterminated quote") << "hh 'rest" << evening << "19 rest";
    QTest::newRow("zzz") << "ss.zzz" << morning << "09.031";
    QTest::newRow("t tt") << "t|tt" << morning << "7:04|7:04:09";
    QTest::newRow("other characters") << "[hh:nn] -" << evening << "[19:45] -";
    QTest::newRow("empty") << "" << evening << "";
}

void TestDateFormat::format()
{
    QFETCH(QString, format);
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    QCOMPARE(FormatDateTime(format, time), expected);
}

QTEST_GUILESS_MAIN(TestDateFormat)
#include "tst_dateformat.moc"
