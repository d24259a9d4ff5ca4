#include "chat/nickcompleter.h"

#include <QtTest>

using namespace hchat;

class TstNickCompleter : public QObject
{
    Q_OBJECT
    const QStringList nicks{"Bob", "bill", "Carol", "Me", "Bob"};

private slots:
    void completes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("resultCaret");
        QTest::newRow("start of the line") << "bo" << 2 << "Bob:  " << 6;
        QTest::newRow("any case") << "CA" << 2 << "Carol:  " << 8;
        QTest::newRow("after blanks") << "  car" << 5 << "  Carol:  " << 10;
        QTest::newRow("within the line") << "thanks bo" << 9 << "thanks Bob" << 10;
        QTest::newRow("caret mid text") << "bo is here" << 2 << "Bob:  is here" << 5;
        QTest::newRow("separator there already") << "bo:  hi" << 2 << "Bob:  hi" << 3;
        QTest::newRow("second line") << "hi\nca" << 5 << "hi\nCarol:  " << 11;
    }
    void completes()
    {
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(QString, result);
        QFETCH(int, resultCaret);
        NickCompleter completer;
        const auto r = completer.complete(text, caret, nicks, "Me");
        QVERIFY(r);
        QCOMPARE(r->text, result);
        QCOMPARE(r->caret, resultCaret);
    }

    void leavesTabAloneWithoutAMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("after a blank") << "hello " << 6;
        QTest::newRow("no such nick") << "zed" << 3;
        QTest::newRow("only the own nick") << "m" << 1;
    }
    void leavesTabAloneWithoutAMatch()
    {
        QFETCH(QString, text);
        QFETCH(int, caret);
        NickCompleter completer;
        QVERIFY(!completer.complete(text, caret, nicks, "Me"));
    }

    void repeatedTabCycles()
    {
        NickCompleter completer;
        auto r = completer.complete("b", 1, nicks, "Me");
        QCOMPARE(r->text, QStringLiteral("bill:  "));
        r = completer.complete(r->text, r->caret, nicks, "Me");
        QCOMPARE(r->text, QStringLiteral("Bob:  ")); // Bob once, though listed twice
        r = completer.complete(r->text, r->caret, nicks, "Me");
        QCOMPARE(r->text, QStringLiteral("bill:  "));

        // Typing in between starts afresh from what is typed.
        completer.reset();
        r = completer.complete("hi c", 4, nicks, "Me");
        QCOMPARE(r->text, QStringLiteral("hi Carol"));
        // One candidate: Tab again keeps it instead of leaving the entry.
        r = completer.complete(r->text, r->caret, nicks, "Me");
        QCOMPARE(r->text, QStringLiteral("hi Carol"));
    }
};

QTEST_GUILESS_MAIN(TstNickCompleter)
#include "tst_nickcompleter.moc"
