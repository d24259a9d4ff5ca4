#include "chat/chatsession.h"
#include "chat/storedlists.h"
#include "protocol/codec.h"
#include "support/fakesink.h"
#include "support/faketranscriptview.h"
#include "support/shippedcatalogue.h"
#include "support/testsession.h"
#include "transcript/transcriptrenderer.h"

#include <QTextBlock>
#include <QtTest>

using namespace hchat;
using hchat::test::FakeSink;

namespace {

QString chatRecord(const QString &m, const QString &f = QStringLiteral("255"),
                   const QString &room = QString(), const QString &id = QStringLiteral("ABCDEFGHx"),
                   const QString &z = QString())
{
    return AddI(1, QStringLiteral("R")) + AddS(f, QStringLiteral("F")) + AddS(id, QStringLiteral("E")) +
           AddS(room, QStringLiteral("#")) + AddS(z, QStringLiteral("Z")) + AddS(m, QStringLiteral("M"));
}

} // namespace

class TestChatLines : public QObject
{
    Q_OBJECT

    ChatSession *s = nullptr;
    FakeSink sink;

private slots:
    void init()
    {
        s = new ChatSession;
        hchat::test::wireSession(*s, sink);
        s->set(&ChatSettings::room, 7);
        s->set(&ChatSettings::room2, 9);
        s->set(&ChatSettings::showSecond, false);
        s->set(&ChatSettings::showTime, false);
    }
    void cleanup() { delete s; }

    void colours_data()
    {
        QTest::addColumn<int>("background");
        QTest::addColumn<bool>("useMyColor");
        QTest::addColumn<QString>("f");
        QTest::addColumn<int>("expected");
        QTest::newRow("no F is purple") << 16777215 << false << QString() << 0x800080;
        QTest::newRow("no F purple even with own colour") << 16777215 << true << QString() << 0x800080;
        QTest::newRow("sender colour") << 16777215 << false << "255" << 255;
        QTest::newRow("own colour on white is black") << 16777215 << true << "255" << 0;
        QTest::newRow("own colour on navy is yellow") << 0x800000 << true << "255" << 0x00FFFF;
        QTest::newRow("white on white") << 16777215 << false << "16777215" << 0;
        QTest::newRow("black on black") << 0 << false << "0" << 0x00FFFF;
        QTest::newRow("navy on navy") << 0x800000 << false << QString::number(0x800000) << 0x00FFFF;
        QTest::newRow("not a number reads 0") << 16777215 << false << "12ab" << 0;
        QTest::newRow("-1 is white on white") << 16777215 << false << "-1" << 0;
        QTest::newRow("beyond 24 bits on white") << 16777215 << false << QString::number(0x1FFFFFF) << 0;
        QTest::newRow("-1 background") << -1 << false << "16777215" << 0;
    }
    void colours()
    {
        QFETCH(int, background);
        QFETCH(bool, useMyColor);
        QFETCH(QString, f);
        QFETCH(int, expected);
        s->set(&ChatSettings::formColor, background);
        s->set(&ChatSettings::useMyColor, useMyColor);
        s->dispatch(1, chatRecord(QStringLiteral("hi"), f));
        QCOMPARE(sink.lineColor, expected);
        QCOMPARE(sink.texts("TimeStamp"), QStringList{"hi"});
    }

    void ignoredLineKeepsColourButShowsNothing()
    {
        s->ignore(QStringLiteral("ABCDEFGH"), true);
        s->chatLines().lastText1 = QStringLiteral("before");
        s->dispatch(1, chatRecord(QStringLiteral("spam"), QStringLiteral("255")));
        QCOMPARE(sink.lineColor, 255);
        QCOMPARE(sink.count("TimeStamp") + sink.count("TimeStamp2") + sink.count("SayIt"), 0);
        QCOMPARE(s->chatLines().lastText1, QStringLiteral("before"));

        // The prefix is compared exactly: case and the per-run character matter not.
        sink.clear();
        s->dispatch(
            1, chatRecord(QStringLiteral("other run"), QStringLiteral("1"), {}, QStringLiteral("ABCDEFGH!")));
        QCOMPARE(sink.count("TimeStamp"), 0);
        s->dispatch(
            1, chatRecord(QStringLiteral("lower"), QStringLiteral("1"), {}, QStringLiteral("abcdefghx")));
        QCOMPARE(sink.texts("TimeStamp"), QStringList{"lower"});
    }

    void routing_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<bool>("showSecond");
        QTest::addColumn<QString>("room");
        QTest::addColumn<int>("firstCount");
        QTest::addColumn<int>("secondCount");
        QTest::newRow("no # goes to the first room") << 7 << true << QString() << 1 << 0;
        QTest::newRow("first room") << 7 << true << "7" << 1 << 0;
        QTest::newRow("second room") << 7 << true << "9" << 0 << 1;
        QTest::newRow("second room not watched") << 7 << false << "9" << 0 << 0;
        QTest::newRow("-1 without second room") << 7 << false << "-1" << 0 << 0;
        QTest::newRow("-1 when the first room is -1") << -1 << false << "-1" << 1 << 0;
        QTest::newRow("other room") << 7 << true << "3" << 0 << 0;
        QTest::newRow("# not a number reads 0") << 0 << false << "x" << 1 << 0;
    }
    void routing()
    {
        QFETCH(int, first);
        QFETCH(bool, showSecond);
        QFETCH(QString, room);
        QFETCH(int, firstCount);
        QFETCH(int, secondCount);
        s->set(&ChatSettings::room, first);
        s->set(&ChatSettings::showSecond, showSecond);
        s->dispatch(1, chatRecord(QStringLiteral("line"), QStringLiteral("1"), room));
        QCOMPARE(sink.count("TimeStamp"), firstCount);
        QCOMPARE(sink.count("SayIt"), firstCount);
        QCOMPARE(sink.count("TimeStamp2"), secondCount);
    }

    void sameRoomBothTranscripts()
    {
        s->set(&ChatSettings::room2, 7);
        s->set(&ChatSettings::showSecond, true);
        s->dispatch(1, chatRecord(QStringLiteral("twice")));
        QCOMPARE(sink.texts("TimeStamp"), QStringList{"twice"});
        QCOMPARE(sink.texts("TimeStamp2"), QStringList{"twice"});
    }

    void duplicatesPerRoom()
    {
        s->set(&ChatSettings::showSecond, true);
        const QString a = QStringLiteral("a"), b = QStringLiteral("b");
        for (const QString &room :
             {QStringLiteral("7"), QStringLiteral("7"), QStringLiteral("9"), QStringLiteral("7")})
            s->dispatch(1, chatRecord(a, QStringLiteral("1"), room));
        s->dispatch(1, chatRecord(b, QStringLiteral("1"), QStringLiteral("7")));
        s->dispatch(1, chatRecord(a, QStringLiteral("1"), QStringLiteral("7")));
        s->dispatch(1, chatRecord(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("7")));
        QCOMPARE(sink.texts("TimeStamp"), (QStringList{"a", "b", "a", "A"}));
        QCOMPARE(sink.texts("TimeStamp2"), QStringList{"a"});
    }

    void voiceReadPassesItsCheck()
    {
        s->set(&ChatSettings::voiceRead, true);
        s->dispatch(1, chatRecord(QStringLiteral("say")));
        QCOMPARE(sink.calls.last().name, QStringLiteral("SayIt"));
        QCOMPARE(sink.calls.last().args.value(0).toBool(), true);
    }

    void remoteImageStaffOnly()
    {
        const QString rec = chatRecord(QStringLiteral("see http://x/sat/remote.png"));
        s->dispatch(1, rec);
        QVERIFY(sink.calls.isEmpty());
        s->setStaffMode(true);
        s->dispatch(1, rec);
        QCOMPARE(sink.count("TimeStamp"), 1);
    }

    void stamps_data()
    {
        QTest::addColumn<QString>("z");
        QTest::addColumn<int>("zone");
        QTest::addColumn<QString>("expected"); // "" = now, "drop" = line dropped
        QTest::newRow("plain") << "12:34:56" << 2 << "12:34:56";
        QTest::newRow("zone shift") << "12:34:56" << 0 << "14:34:56";
        QTest::newRow("zone shift back") << "01:00:00" << 5 << "22:00:00";
        QTest::newRow("hours and minutes") << "9:05" << 2 << "09:05:00";
        QTest::newRow("dot retry") << "12:34.56" << 2 << "12:34:56";
        QTest::newRow("dotted") << "12.34.56" << 2 << "12:34:56";
        QTest::newRow("pm") << "1:05:09 PM" << 2 << "13:05:09";
        QTest::newRow("empty Z is now") << "" << 2 << "";
        QTest::newRow("garbage") << "noon" << 2 << "drop";
        QTest::newRow("out of range") << "25:00:00" << 2 << "drop";
        QTest::newRow("too many fields") << "1:2:3:4" << 2 << "drop";
    }
    void stamps()
    {
        QFETCH(QString, z);
        QFETCH(int, zone);
        QFETCH(QString, expected);
        s->set(&ChatSettings::showTime, true);
        s->set(&ChatSettings::zone, zone);
        sink.stampTime = QDateTime(QDate(2020, 1, 1), QTime(1, 1)); // marks "untouched"
        s->dispatch(1,
                    chatRecord(QStringLiteral("t"), QStringLiteral("1"), {}, QStringLiteral("ABCDEFGHx"), z));
        if (expected == QLatin1String("drop")) {
            QCOMPARE(sink.count("TimeStamp"), 0);
            QCOMPARE(sink.count("setStampTime"), 0);
            // The next record is handled normally.
            s->dispatch(1, chatRecord(QStringLiteral("next")));
            QCOMPARE(sink.texts("TimeStamp"), QStringList{"next"});
            return;
        }
        QCOMPARE(sink.count("TimeStamp"), 1);
        if (expected.isEmpty()) {
            QVERIFY(!sink.stampTime.isValid());
        } else {
            QCOMPARE(sink.stampTime.time().toString(QStringLiteral("HH:mm:ss")), expected);
            QVERIFY(sink.stampTime.date().year() > 1900);
        }
    }

    void stampsOffLeaveZAlone()
    {
        s->set(&ChatSettings::showTime, false);
        s->dispatch(1, chatRecord(QStringLiteral("t"), QStringLiteral("1"), {}, QStringLiteral("ABCDEFGHx"),
                                  QStringLiteral("garbage")));
        QCOMPARE(sink.count("setStampTime"), 0);
        QCOMPARE(sink.texts("TimeStamp"), QStringList{"t"});
    }

    void stampComesBeforeTheLine()
    {
        s->set(&ChatSettings::showTime, true);
        s->dispatch(1, chatRecord(QStringLiteral("t"), QStringLiteral("1"), {}, QStringLiteral("ABCDEFGHx"),
                                  QStringLiteral("10:00:00")));
        QStringList order;
        for (const auto &c : sink.calls)
            order << c.name;
        QCOMPARE(order, (QStringList{"setLineColor", "setStampTime", "TimeStamp", "SayIt"}));
    }

    // The rest drives the real renderer: what the reader sees.
    void serverTimeBelongsToItsLine()
    {
        FakeTranscriptView first, second;
        TranscriptContext c;
        c.text = [](int n) { return n == 453 ? QStringLiteral("hh:nn:ss") : QString(); };
        c.now = [] { return QDateTime(QDate(2024, 5, 1), QTime(23, 11, 0)); };
        TranscriptRenderer renderer(&first, &second, c);
        s->setSink(&renderer);
        s->set(&ChatSettings::showTime, true);
        s->set(&ChatSettings::zone, 2);
        auto last = [](FakeTranscriptView &v) { return v.doc.lastBlock().text(); };

        s->dispatch(1, chatRecord("Ann:  hi", "1", "7", "ANNANNANx", "12:00:00"));
        QCOMPARE(last(first), QString("12:00:00 Ann:  hi"));
        // A repeat and a line of a room not watched are not shown; their
        // server times stamp nothing else.
        s->dispatch(1, chatRecord("Ann:  hi", "1", "7", "ANNANNANx", "01:05:00"));
        s->dispatch(1, chatRecord("Bob:  elsewhere", "1", "3", "BOBBOBBOx", "01:06:00"));
        renderer.ShowMessage("dora has entered the room", false, true);
        QCOMPARE(last(first), QString("23:11:00 dora has entered the room"));

        // A line for a room shown in both transcripts has its time in both.
        s->set(&ChatSettings::room2, 7);
        s->set(&ChatSettings::showSecond, true);
        s->dispatch(1, chatRecord("Ann:  both", "1", "7", "ANNANNANx", "12:30:00"));
        QCOMPARE(last(first), QString("12:30:00 Ann:  both"));
        QCOMPARE(last(second), QString("12:30:00 Ann:  both"));
        s->setSink(nullptr);
    }

    void blankIgnoreEntriesHideNobody()
    {
        QTemporaryDir dir;
        const Catalogue shipped = hchat::test::shippedCatalogue(dir.path());
        QFile ignore(dir.filePath(shipped.Lookup(StoredLists::IgnoreFile)));
        QVERIFY(ignore.open(QIODevice::WriteOnly));
        ignore.write("ABCDEFGH\n\n   \r\nZZZZZZZZ\n");
        ignore.close();
        StoredLists lists;
        lists.load(shipped, *s);
        QCOMPARE(s->ignoreList(), (QStringList{"ABCDEFGH", "ZZZZZZZZ"}));

        FakeTranscriptView first, second;
        TranscriptRenderer renderer(&first, &second, TranscriptContext());
        renderer.context().showTimeStamps = [] { return false; };
        s->setSink(&renderer);
        // A blank that got into the list anyway hides nothing either.
        s->ignore(QString(), true);
        s->dispatch(1, "<R>1</R><#>7</#><M>dora has entered the room</M>"); // a server notice: no E
        s->dispatch(1, chatRecord("spam", "1", "7", "ABCDEFGHx"));
        s->dispatch(1, chatRecord("Bob:  hello", "1", "7", "BOBBOBBOx"));
        QCOMPARE(first.doc.toPlainText(), QString("dora has entered the room\nBob:  hello"));
        s->setSink(nullptr);
    }

    void noSinkNoCrash()
    {
        s->setSink(nullptr);
        s->dispatch(1, chatRecord(QStringLiteral("x")));
        QCOMPARE(s->chatLines().lastText1, QStringLiteral("x"));
    }
};

QTEST_GUILESS_MAIN(TestChatLines)
#include "tst_chatlines.moc"
