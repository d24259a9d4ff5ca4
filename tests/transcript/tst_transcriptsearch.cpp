#include "transcript/transcriptsearch.h"

#include <QTextDocument>
#include <QtTest>

using namespace hchat;
using Hits = QList<TranscriptSearch::Hit>;

class TstTranscriptSearch : public QObject
{
    Q_OBJECT
private slots:
    void findsEveryHit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<Hits>("hits");
        // Positions count the line breaks: "ab\ncd" has "cd" at 3.
        QTest::newRow("any case by default") << "Bob: hi\nbob: HI"
                                             << "hi" << false << Hits{{5, 2}, {13, 2}};
        QTest::newRow("case matched") << "Bob: hi\nbob: HI"
                                      << "HI" << true << Hits{{13, 2}};
        QTest::newRow("several on a line") << "ab ab ab"
                                           << "ab" << false << Hits{{0, 2}, {3, 2}, {6, 2}};
        QTest::newRow("never overlapping") << "aaaa"
                                           << "aa" << false << Hits{{0, 2}, {2, 2}};
        QTest::newRow("not across lines") << "ab\ncd"
                                          << "b\nc" << false << Hits{};
        QTest::newRow("empty needle") << "abc"
                                      << "" << false << Hits{};
        QTest::newRow("last character") << "abc\nx"
                                        << "x" << false << Hits{{4, 1}};
        QTest::newRow("accented letters fold") << "Élan\nélan"
                                               << "ÉLAN" << false << Hits{{0, 4}, {5, 4}};
    }
    void findsEveryHit()
    {
        QFETCH(QString, text);
        QFETCH(QString, needle);
        QFETCH(bool, matchCase);
        QFETCH(Hits, hits);
        QTextDocument doc;
        doc.setPlainText(text);
        QCOMPARE(TranscriptSearch::findAll(doc, needle, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive),
                 hits);
    }

    void stepsAndWraps_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("index");
        // Hits at 10, 20 and 30.
        QTest::newRow("next after a hit") << 10 << true << 1;
        QTest::newRow("next between hits") << 15 << true << 1;
        QTest::newRow("next wraps to the first") << 30 << true << 0;
        QTest::newRow("previous before a hit") << 20 << false << 0;
        QTest::newRow("previous between hits") << 25 << false << 1;
        QTest::newRow("previous wraps to the last") << 10 << false << 2;
        QTest::newRow("next from the very start") << -1 << true << 0;
    }
    void stepsAndWraps()
    {
        QFETCH(int, position);
        QFETCH(bool, forward);
        QFETCH(int, index);
        const Hits hits{{10, 2}, {20, 2}, {30, 2}};
        QCOMPARE(TranscriptSearch::step(hits, position, forward), index);
        QCOMPARE(TranscriptSearch::step({}, position, forward), -1);
    }
};

QTEST_GUILESS_MAIN(TstTranscriptSearch)
#include "tst_transcriptsearch.moc"
