#include "chat/chatsession.h"
#include "support/fakesink.h"
#include "support/testsession.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using hchat::test::FakeSink;
using Result = TextEntry::Result;

Q_DECLARE_METATYPE(TextEntry::Result)

class TestTextEntry : public QObject
{
    Q_OBJECT

    ChatSession *s = nullptr;
    FakeSink sink;
    QList<QPair<int, QString>> sent;

    bool press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, mods);
        return s->textEntry().keyPress(&event);
    }

private slots:
    void init()
    {
        s = new ChatSession;
        hchat::test::wireSession(*s, sink, &sent);
        s->set(&ChatSettings::nick, "Ann");
        s->set(&ChatSettings::room, 3);
        s->set(&ChatSettings::fontColor, 255);
    }
    void cleanup() { delete s; }

    void enterSendsAndShowsOnce()
    {
        QCOMPARE(s->textEntry().submit("hello\nworld"), Result::Sent);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).first, 1);
        QCOMPARE(sent.at(0).second, QString("<F>255</F><#>3</#><M>hello||world</M>"));
        QCOMPARE(sink.texts("TimeStamp"), QStringList({"Ann:  hello\r\nworld"}));
        QCOMPARE(sink.lineColor, 255);
        // The own-message flag is raised right before the line is shown.
        int own = -1, shown = -1;
        for (int i = 0; i < sink.calls.size(); ++i) {
            if (sink.calls[i].name == "setOwnMessage" && sink.calls[i].args.value(0).toBool())
                own = i;
            if (sink.calls[i].name == "TimeStamp")
                shown = i;
        }
        QVERIFY(own >= 0 && own < shown);
    }

    void ownColourOnItsOwnBackground()
    {
        s->set(&ChatSettings::fontColor, s->settings().formColor); // white on white
        s->textEntry().submit("x");
        QCOMPARE(sink.lineColor, 0);
        QVERIFY(sent.at(0).second.startsWith("<F>16777215</F>")); // others choose for themselves
    }

    void groom_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("groomed");
        QTest::newRow("CR LF") << "a\r\nb"
                               << "a\nb";
        QTest::newRow("LF and CR") << "a\nb\rc"
                                   << "a\nb\nc";
        QTest::newRow("paragraph separator") << QString("a") + QChar::ParagraphSeparator + "b"
                                             << "a\nb";
        QTest::newRow("trailing breaks") << "a\n\n  "
                                         << "a";
        QTest::newRow("leading blank kept") << "  a"
                                            << "  a";
    }
    void groom()
    {
        QFETCH(QString, typed);
        QTEST(TextEntry::groom(typed), "groomed");
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Result>("result");
        QTest::addColumn<int>("notices");
        QTest::newRow("empty") << "" << Result::Empty << 0;
        QTest::newRow("blanks and breaks") << " \n " << Result::Empty << 0;
        QTest::newRow("too many bytes") << QString(4100, 'x') << Result::TooLong << 1;
        // 1400 characters, but 4200 bytes in UTF-8: the wire counts bytes.
        QTest::newRow("multi-byte") << QString(1400, QChar(0x20AC)) << Result::TooLong << 1;
    }
    void refusals()
    {
        QFETCH(QString, typed);
        QTEST(s->textEntry().submit(typed), "result");
        QVERIFY(sent.isEmpty());
        QTEST(int(sink.count("ShowMessage")), "notices");
        QVERIFY(s->textEntry().history().isEmpty());
    }

    void longestLineThatFits()
    {
        // The server's own limit: 4096 bytes.
        QCOMPARE(TextEntry::maxRecordBytes, 4096);
        const int overhead = TextEntry::recordBytes(1, TextEntry::chatRecord(255, 3, ""));
        const QString text(TextEntry::maxRecordBytes - overhead - 7, 'y'); // "<M></M>" is 7 more
        QCOMPARE(TextEntry::recordBytes(1, TextEntry::chatRecord(255, 3, text)), TextEntry::maxRecordBytes);
        QCOMPARE(s->textEntry().submit(text), Result::Sent);
        QCOMPARE(s->textEntry().submit(text + "y"), Result::TooLong);
    }

    void typedTextTravelsAsTyped()
    {
        QCOMPARE(s->textEntry().submit("a||b </M> c"), Result::Sent);
        QCOMPARE(sent.at(0).second, QString("<F>255</F><#>3</#><M>a|\\|b <\\/M> c</M>"));
        QCOMPARE(sink.texts("TimeStamp"), QStringList({"Ann:  a||b </M> c"}));
    }

    void withoutNickNothingIsShownAsSent()
    {
        s->set(&ChatSettings::nick, QString());
        QCOMPARE(s->textEntry().submit("hello"), Result::Refused);
        QVERIFY(sent.isEmpty());
        QVERIFY(sink.texts("TimeStamp").isEmpty());
        QCOMPARE(sink.texts("ShowMessage"), QStringList{TextEntry::noNickText()});
        QVERIFY(s->textEntry().history().isEmpty());
    }

    void keysOfTheEditor()
    {
        QString box;
        s->textEntry().attach([&] { return box; }, [&](const QString &t) { box = t; });
        QSignalSpy sentSpy(&s->textEntry(), &TextEntry::sent);

        box = "first";
        QVERIFY(press(Qt::Key_Return));
        QCOMPARE(box, QString());
        box = "second";
        QVERIFY(press(Qt::Key_Enter));
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sentSpy.count(), 2);

        // Shift+Enter is left to the editor: a line break.
        box = "draft";
        QVERIFY(!press(Qt::Key_Return, Qt::ShiftModifier));
        QCOMPARE(sent.size(), 2);

        // Up and Down walk the history and come back to the draft.
        QVERIFY(press(Qt::Key_Up));
        QCOMPARE(box, QString("second"));
        press(Qt::Key_Up);
        QCOMPARE(box, QString("first"));
        press(Qt::Key_Up);
        QCOMPARE(box, QString("first"));
        press(Qt::Key_Down);
        QCOMPARE(box, QString("second"));
        press(Qt::Key_Down);
        QCOMPARE(box, QString("draft"));

        // Within several lines the arrows belong to the caret.
        box = "a\nb";
        QVERIFY(!press(Qt::Key_Up));
        QCOMPARE(box, QString("a\nb"));

        // An empty Enter sends nothing; a refused text stays in the box.
        box = "";
        QVERIFY(press(Qt::Key_Return));
        box = QString(5000, 'z');
        QVERIFY(press(Qt::Key_Return));
        QCOMPARE(box.size(), 5000);
        QCOMPARE(sent.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestTextEntry)
#include "tst_textentry.moc"
