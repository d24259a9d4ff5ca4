// What the renderer does for the reader on top of showing lines: the own
// nick and keywords marked, addresses made clickable, and each shown line
// told to whoever draws the user's attention.
#include "support/fakesoundplayer.h"
#include "support/faketranscriptview.h"
#include "transcript/transcriptrenderer.h"

#include <QTextBlock>
#include <QtTest>

using namespace hchat;

namespace {

struct Rig {
    FakeTranscriptView first, second;
    FakeSoundPlayer sound;
    QStringList keywords;
    QString keywordSound = "/media/Chord.wav";
    bool highlight = true;
    int quiet = 0;
    QList<ShownLine> shown;
    std::unique_ptr<TranscriptRenderer> r;

    Rig()
    {
        TranscriptContext c;
        c.showTimeStamps = [] { return true; };
        c.text = [](int n) { return n == 453 ? QStringLiteral("hh:nn") : QString(); };
        c.now = [] { return QDateTime(QDate(2024, 5, 1), QTime(9, 30)); };
        c.keywords = [this] { return keywords; };
        c.keywordSound = [this] { return keywordSound; };
        c.quietCounter = [this] { return quiet; };
        c.ownNick = [] { return QStringLiteral("Ann"); };
        c.highlightNick = [this] { return highlight; };
        c.lineShown = [this](const ShownLine &line) { shown << line; };
        c.sound = &sound;
        r = std::make_unique<TranscriptRenderer>(&first, &second, c);
    }

    // The marked stretches of the last line, as text.
    QStringList marked(bool sec = false) const
    {
        QStringList out;
        const QTextBlock b = (sec ? second : first).doc.lastBlock();
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().background().color() == TranscriptRenderer::highlightColor())
                out << it.fragment().text();
        return out;
    }
};

} // namespace

class TstRendererAttention : public QObject
{
    Q_OBJECT
private slots:
    void ownNickInOthersLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("own");
        QTest::addColumn<QStringList>("marked");
        QTest::newRow("named") << "Bob:  ann, are you there?" << false << QStringList{"ann"};
        QTest::newRow("twice") << "Bob:  Ann? ANN!" << false << QStringList{"Ann", "ANN"};
        QTest::newRow("part of a word") << "Bob:  Annabel and Joann" << false << QStringList{};
        QTest::newRow("only the speaker") << "Ann:  hello" << false << QStringList{};
        QTest::newRow("our own line") << "Ann:  Ann is back" << true << QStringList{};
    }
    void ownNickInOthersLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, own);
        QFETCH(QStringList, marked);
        Rig rig;
        rig.r->setOwnMessage(own);
        rig.r->TimeStamp(line);
        QCOMPARE(rig.marked(), marked);
        QCOMPARE(rig.first.doc.lastBlock().text(), "09:30 " + line); // the text as ever
        QCOMPARE(rig.shown.size(), 1);
        QCOMPARE(rig.shown.at(0).nick, !marked.isEmpty());
        QCOMPARE(rig.shown.at(0).own, own);
        QVERIFY(rig.shown.at(0).chatLine);
        // Named, it sounds like a keyword, with no keyword list at all.
        QCOMPARE(rig.sound.played, marked.isEmpty() ? QStringList{} : QStringList{"/media/Chord.wav"});
    }

    void nickOptionOffAndNotices()
    {
        Rig rig;
        rig.highlight = false;
        rig.r->TimeStamp("Bob:  Ann, hi");
        QVERIFY(rig.marked().isEmpty());
        QVERIFY(rig.sound.played.isEmpty());
        QVERIFY(rig.shown.last().nick); // still worth a notification of its own

        // A notice that names the user is the program talking, not someone.
        rig.highlight = true;
        rig.r->ShowMessage("Bob:  pages Ann", false, true);
        QVERIFY(rig.marked().isEmpty());
        QVERIFY(!rig.shown.last().chatLine);
        QVERIFY(rig.shown.last().notice);

        // Bulk lists arriving: marked, but quiet.
        rig.quiet = 5;
        rig.r->TimeStamp2("Bob:  Ann!");
        QCOMPARE(rig.marked(true), QStringList{"Ann"});
        QVERIFY(rig.sound.played.isEmpty());
        QVERIFY(rig.shown.last().second);
    }

    void keywordsAreMarkedAndSoundAsBefore()
    {
        Rig rig;
        rig.keywords = {"invoice|Media/Cash.wav", "ann"};
        rig.r->TimeStamp("Bob:  the INVOICE for Ann");
        // The first keyword wins the sound; the nick is marked all the same.
        QCOMPARE(rig.sound.played, QStringList{"Media/Cash.wav"});
        QCOMPARE(rig.marked(), (QStringList{"INVOICE", "Ann"}));
        QVERIFY(rig.shown.last().keyword);
        QVERIFY(rig.shown.last().nick);

        // No keyword sound set: nothing sounds, the line still counts as a hit.
        rig.keywordSound.clear();
        rig.r->TimeStamp("Carol:  invoice paid");
        QCOMPARE(rig.sound.played.size(), 1);
        QVERIFY(rig.shown.last().keyword);
        QCOMPARE(rig.marked(), QStringList{"invoice"});
    }

    void addressesBecomeLinksWithoutChangingLines()
    {
        Rig rig;
        rig.r->TimeStamp("Bob:  see https://halvex.com/faq\r\nand http://a.org/x.");
        QCOMPARE(rig.r->lineCount(false), 2);
        QStringList anchors;
        for (QTextBlock b = rig.first.doc.begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isAnchor())
                    anchors << it.fragment().charFormat().anchorHref();
        QCOMPARE(anchors, (QStringList{"https://halvex.com/faq", "http://a.org/x"}));
    }
};

QTEST_MAIN(TstRendererAttention)
#include "tst_rendererattention.moc"
