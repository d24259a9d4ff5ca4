#include "protocol/codec.h"

#include <QTest>

using namespace hchat;

class TestCodec : public QObject
{
    Q_OBJECT
private slots:
    void addFields()
    {
        QCOMPARE(AddS(QString(), "N"), QString());
        QCOMPARE(AddS("Bob", "N"), QStringLiteral("<N>Bob</N>"));
        QCOMPARE(AddI(0, "K"), QStringLiteral("<K>0</K>"));
        QCOMPARE(AddI(-1, "#"), QStringLiteral("<#>-1</#>"));
    }

    void getS_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "<R>1</R><M>hello</M>"
                               << "M"
                               << "hello";
        QTest::newRow("line break") << "<M>a||b</M>"
                                    << "M"
                                    << "a\r\nb";
        QTest::newRow("two breaks") << "<M>a||||b</M>"
                                    << "M"
                                    << "a\r\n\r\nb";
        QTest::newRow("odd bars") << "<M>a|||b</M>"
                                  << "M"
                                  << "a\r\n|b";
        QTest::newRow("absent") << "<R>1</R>"
                                << "M"
                                << "";
        QTest::newRow("empty") << "<M></M>"
                               << "M"
                               << "";
        QTest::newRow("no closing tag") << "<M>hello"
                                        << "M"
                                        << "";
        QTest::newRow("closing without opening") << "abc</M>xyz"
                                                 << "M"
                                                 << "";
        QTest::newRow("closing before opening") << "</M><M>x"
                                                << "M"
                                                << "";
        QTest::newRow("first of duplicates wins") << "<N>a</N><N>b</N>"
                                                  << "N"
                                                  << "a";
        QTest::newRow("hash field") << "<#>12</#><N>x</N>"
                                    << "#"
                                    << "12";
        QTest::newRow("utf-8 value") << QString::fromUtf8("<M>Grüße 你好 😀</M>") << "M"
                                     << QString::fromUtf8("Grüße 你好 😀");
        QTest::newRow("order free") << "<M>m</M><R>1</R>"
                                    << "R"
                                    << "1";
        // Names are one letter: a longer one names no field, not a NUL tag.
        const QString nul(QChar(0));
        QTest::newRow("name of two letters") << "<MN>x</MN><" + nul + ">y</" + nul + ">"
                                             << "MN"
                                             << "";
    }
    void getS()
    {
        QFETCH(QString, record);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(GetS(record, name), expected);
    }

    void getI_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("expected");
        QTest::newRow("number") << "<R>15</R>" << 15;
        QTest::newRow("negative") << "<R>-1</R>" << -1;
        QTest::newRow("not in full") << "<R>x5</R>" << 0;
        QTest::newRow("trailing junk") << "<R>5x</R>" << 0;
        QTest::newRow("absent") << "<N>a</N>" << 0;
        QTest::newRow("empty") << "<R></R>" << 0;
        QTest::newRow("lone sign") << "<R>-</R>" << 0;
        QTest::newRow("overflow") << "<R>99999999999</R>" << 0;
        QTest::newRow("largest int") << "<R>2147483647</R>" << 2147483647;
        QTest::newRow("one past the largest") << "<R>2147483648</R>" << 0;
        QTest::newRow("smallest int") << "<R>-2147483648</R>" << int(-2147483647 - 1);
        QTest::newRow("one past the smallest") << "<R>-2147483649</R>" << 0;
        QTest::newRow("leading zeros") << "<R>000000000000042</R>" << 42;
        QTest::newRow("plus sign") << "<R>+7</R>" << 7;
        QTest::newRow("huge text") << "<R>" + QString(5000, u'9') + "</R>" << 0;
        QTest::newRow("space") << "<R> 5</R>" << 0;
    }
    void getI()
    {
        QFETCH(QString, record);
        QFETCH(int, expected);
        QCOMPARE(GetI(record, "R"), expected);
        QCOMPARE(GetI(record, 'R'), expected);
        // The header lines are read from the bytes by the same rule.
        const QByteArray bytes = record.toLatin1();
        QCOMPARE(toIntOrZero(fieldBytes(bytes, 'R')), expected);
    }

    void killS_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("middle") << "<R>1</R><N>a</N><M>b</M>"
                                << "N"
                                << "<R>1</R><M>b</M>";
        QTest::newRow("absent") << "<R>1</R>"
                                << "N"
                                << "<R>1</R>";
        QTest::newRow("first only") << "<N>a</N><N>b</N>"
                                    << "N"
                                    << "<N>b</N>";
        QTest::newRow("empty value") << "<N></N><R>1</R>"
                                     << "N"
                                     << "<R>1</R>";
        QTest::newRow("closing only") << "x</N>y"
                                      << "N"
                                      << "x</N>y";
    }
    void killS()
    {
        QFETCH(QString, record);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(KillS(record, name), expected);
    }

    void replacedFieldMovesToTheEnd()
    {
        const QString r = KillS("<R>1</R><N>a</N><M>b</M>", "N") + AddS("c", "N");
        QCOMPARE(r, QStringLiteral("<R>1</R><M>b</M><N>c</N>"));
        QCOMPARE(GetS(r, "N"), QStringLiteral("c"));
    }

    void roundTrip()
    {
        const QString rec = AddI(1, "R") + AddS("Zoë", "N") + AddI(-7, "#") + AddS(QString(), "X");
        QCOMPARE(GetI(rec, "R"), 1);
        QCOMPARE(GetS(rec, "N"), QString::fromUtf8("Zoë"));
        QCOMPARE(GetI(rec, "#"), -7);
        QCOMPARE(GetS(rec, "X"), QString());
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
