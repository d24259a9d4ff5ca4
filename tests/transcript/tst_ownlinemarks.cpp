// The marks after the user's own lines, as the transcript shows them.
#include "support/faketranscriptview.h"
#include "transcript/ownlinemarks.h"
#include "transcript/transcriptrenderer.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

using namespace hchat;

class TstOwnLineMarks : public QObject
{
    Q_OBJECT

    FakeTranscriptView first, second;
    std::unique_ptr<TranscriptRenderer> r;

    QString line(int fromEnd) const
    {
        QTextBlock b = first.doc.lastBlock();
        for (int i = 0; i < fromEnd; ++i)
            b = b.previous();
        return b.text();
    }
    void own(quint32 number, const QString &text)
    {
        r->setOwnMessage(true);
        r->setOwnLineNumber(number);
        r->TimeStamp(text);
    }

private slots:
    void init()
    {
        first.doc.clear();
        TranscriptContext c;
        c.showTimeStamps = [] { return false; };
        r = std::make_unique<TranscriptRenderer>(&first, &second, c);
    }

    void pendingUntilDeliveredThenNoMark()
    {
        own(7, "Ann:  hello");
        r->TimeStamp("Bob:  hi"); // someone else's line: no mark
        QCOMPARE(line(1), QStringLiteral("Ann:  hello  (sending)"));
        QCOMPARE(line(0), QStringLiteral("Bob:  hi"));
        r->setOwnLineState(7, OwnLineState::Delivered, {});
        QCOMPARE(line(1), QStringLiteral("Ann:  hello"));
        QCOMPARE(line(0), QStringLiteral("Bob:  hi"));
    }

    void ownLineMovesToTheServersPlace()
    {
        own(7, "Ann:  mine\r\nin two lines");
        r->setLineNumber(41);
        r->TimeStamp("Bob:  relayed before mine");
        r->ShowMessage("a notice", false, true);
        r->setLineNumber(43);
        r->TimeStamp("Cy:  relayed after mine");
        r->placeOwnLine(7, 42);
        QCOMPARE(first.doc.toPlainText(),
                 QStringLiteral("Bob:  relayed before mine\nAnn:  mine\nin two lines  "
                                "(sending)\na notice\nCy:  relayed after mine"));
        r->setOwnLineState(7, OwnLineState::Delivered, {});
        QCOMPARE(line(2), QStringLiteral("in two lines"));
    }

    void notDeliveredSaysWhy()
    {
        own(8, "Ann:  one\r\ntwo");
        r->setOwnLineState(8, OwnLineState::NotDelivered, "too many lines waiting for the server");
        QCOMPARE(line(0), QStringLiteral("two  (not delivered: too many lines waiting for the server)"));
        QCOMPARE(line(1), QStringLiteral("Ann:  one"));
        // The server's refusal after its acknowledgement replaces the mark.
        own(9, "Ann:  three");
        r->setOwnLineState(9, OwnLineState::Delivered, {});
        r->setOwnLineState(9, OwnLineState::NotDelivered, "You are not in room 4");
        QCOMPARE(line(0), QStringLiteral("Ann:  three  (not delivered: You are not in room 4)"));
        QCOMPARE(OwnLineMarks::markOf(&first.doc, 9),
                 QStringLiteral("  (not delivered: You are not in room 4)"));
    }

    void aLineTrimmedAwayIsLeftAlone()
    {
        own(10, "Ann:  gone soon");
        for (int i = 0; i < TranscriptRenderer::kMaxLines + 20; ++i)
            r->TimeStamp(QStringLiteral("line %1").arg(i));
        QVERIFY(!OwnLineMarks::mark(&first.doc, 10, OwnLineState::Delivered, {}));
        r->setOwnLineState(10, OwnLineState::Delivered, {});
        QCOMPARE(line(0), QStringLiteral("line %1").arg(TranscriptRenderer::kMaxLines + 19));
    }
};

QTEST_MAIN(TstOwnLineMarks)
#include "tst_ownlinemarks.moc"
