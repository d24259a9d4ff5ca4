#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "support/fakesink.h"
#include "support/testsession.h"

#include <QtTest>

using namespace hchat;
using hchat::test::FakeSink;
using hchat::test::userRecord;

class TestRoster : public QObject
{
    Q_OBJECT

    ChatSession *s = nullptr;
    FakeSink sink;
    Catalogue catalogue{
        hchat::test::catalogueLines(531, {{528, " has left"}, {529, " has arrived"}, {530, "BOT"}})};

    QStringList nicks() const
    {
        QStringList out;
        for (int i = 0; i < s->roster().count(); ++i)
            out << s->roster().entry(i).nick;
        return out;
    }

private slots:
    void init()
    {
        s = new ChatSession;
        hchat::test::wireSession(*s, sink, nullptr, &catalogue);
        s->set(&ChatSettings::room, 7);
        s->set(&ChatSettings::nick, "Me");
        s->setOwnId("OWNIDXYZ!");
    }
    void cleanup() { delete s; }

    void arriveAndLeave()
    {
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1));
        QCOMPARE(nicks(), QStringList{"Ann"});
        QCOMPARE(s->idDirectory(), QStringList{"Ann=AAAAAAAA1"});
        QCOMPARE(s->roster().lblCount(), QStringLiteral("1 user"));

        // Moving to another room: off the list, still in the directory.
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 3, -1));
        QCOMPARE(s->roster().count(), 0);
        QCOMPARE(s->idDirectory(), QStringList{"Ann=AAAAAAAA1"});
        QCOMPARE(s->roster().lblCount(), QStringLiteral("0 users"));

        // Back, then gone from the chat: off both, and the count follows.
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1));
        QSignalSpy label(&s->roster(), &Roster::lblCountChanged);
        s->dispatch(5, userRecord("Ann", "AAAAAAAA1", -1, -1));
        QCOMPARE(s->roster().count(), 0);
        QVERIFY(s->idDirectory().isEmpty());
        QCOMPARE(label.count(), 1);
        QCOMPARE(s->roster().lblCount(), QStringLiteral("0 users"));
    }

    void sameNickOtherRun()
    {
        s->roster().DoUser(userRecord("Bob", "BBBBBBBB1", 7, -1));
        s->roster().DoUser(userRecord("Bob", "BBBBBBBB2", 7, -1));
        QCOMPARE(nicks(), (QStringList{"Bob", "Bob"}));
        QCOMPARE(s->roster().MemberIndex("Bob", "BBBBBBBB2"), 1);
        QCOMPARE(s->roster().MemberIndex("Bob", ""), 0); // no tag matches any
        QCOMPARE(s->roster().MemberIndex("bob", "BBBBBBBB1"), -1);
        QCOMPARE(s->roster().GetID("Bob", '2'), QStringLiteral("BBBBBBBB2"));
        QCOMPARE(s->roster().GetID("Bob"), QStringLiteral("BBBBBBBB1"));
        QCOMPARE(s->roster().idAt(1), QStringLiteral("BBBBBBBB2"));

        // An update touches only its own entry.
        s->roster().DoUser(userRecord("Bob", "BBBBBBBB2", 7, -1, "5|4"));
        QCOMPARE(s->roster().entry(0).icon, 0);
        QCOMPARE(s->roster().entry(1).icon, 5);
        QCOMPARE(s->roster().entry(1).state, 4);

        s->roster().DoUser(userRecord("Bob", "BBBBBBBB1", -1, -1));
        QCOMPARE(s->roster().count(), 1);
        QCOMPARE(s->roster().entry(0).tag, int('2'));
        QCOMPARE(s->idDirectory(), QStringList{"Bob=BBBBBBBB2"});
    }

    // The directory keeps its order and notices lists changed behind its back.
    void directoryIndex()
    {
        QStringList lines;
        IdDirectory dir(lines);
        for (const char *l : {"a=1", "b=2", "c=3", "d=4"})
            dir.add(l);
        dir.add("b=2");
        dir.remove("b=2");
        dir.remove("zz=9");
        QCOMPARE(lines, (QStringList{"a=1", "c=3", "d=4"}));
        lines = QStringList{"x=1", "y=2", "x=1"}; // loaded from elsewhere, with a copy
        QVERIFY(!dir.contains("a=1"));
        QVERIFY(dir.contains("y=2"));
        dir.remove("x=1");
        QCOMPARE(lines, QStringList{"y=2"});
        lines[0] = "q=7";
        lines.append("r=8");
        dir.add("q=7");
        dir.remove("r=8");
        QCOMPARE(lines, QStringList{"q=7"});
    }

    void getIdWithEqualsInNick()
    {
        s->setIdDirectory(QStringList{"a=b=IDIDIDID1", "a=IDIDIDID2"});
        QCOMPARE(s->roster().GetID("a=b"), QStringLiteral("IDIDIDID1"));
        QCOMPARE(s->roster().GetID("a", '2'), QStringLiteral("IDIDIDID2"));
        QCOMPARE(s->roster().GetID("nobody"), QString());
    }

    void awayMemberSaysSinceWhen()
    {
        s->set(&ChatSettings::zone, 2); // the server's own zone: no shift
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1, "5|4") + AddS("14:05:30", "Z"));
        QCOMPARE(s->roster().entry(0).note, QStringLiteral("no answer since 14:05"));
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1, "5|0")); // back
        QCOMPARE(s->roster().entry(0).note, QString());
    }

    void iconAndState_data()
    {
        QTest::addColumn<QString>("i");
        QTest::addColumn<int>("watched");
        QTest::addColumn<int>("room");
        QTest::addColumn<int>("quiet");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("state");
        QTest::newRow("icon and state") << "5|3" << -1 << 7 << 0 << 5 << 3;
        QTest::newRow("icon 105 shows 5") << "105|1" << -1 << 7 << 0 << 5 << 1;
        QTest::newRow("icon 98 stays") << "98|1" << -1 << 7 << 0 << 98 << 1;
        QTest::newRow("no bar") << "6" << -1 << 7 << 5 << 6 << 0;
        QTest::newRow("not a number") << "x|2" << -1 << 7 << 0 << 0 << 2;
        QTest::newRow("state three digits at most") << "1|1234" << -1 << 7 << 0 << 1 << 123;
        QTest::newRow("new arrival") << "1|" << -1 << 7 << 0 << 1 << 13;
        QTest::newRow("no new arrival while quiet") << "1|" << -1 << 7 << 4 << 1 << 0;
        QTest::newRow("watching only") << "1|3" << 7 << 2 << 0 << 1 << 12;
        QTest::newRow("watching and in") << "1|3" << 7 << 7 << 0 << 1 << 3;
    }
    void iconAndState()
    {
        QFETCH(QString, i);
        QFETCH(int, watched);
        QFETCH(int, room);
        QFETCH(int, quiet);
        QFETCH(int, icon);
        QFETCH(int, state);
        s->setQuietPeriod(quiet);
        s->roster().DoUser(userRecord("Cy", "CCCCCCCC1", room, watched, i));
        QCOMPARE(s->roster().count(), 1);
        QCOMPARE(s->roster().entry(0).icon, icon);
        QCOMPARE(s->roster().entry(0).state, state);
    }

    void newArrivalCountdown()
    {
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1, "0|"));
        s->roster().DoUser(userRecord("Bob", "BBBBBBBB1", 7, -1, "0|2"));
        QCOMPARE(s->roster().newArrivalCountdown(), 14);
        for (int i = 0; i < 12; ++i)
            s->tick();
        QCOMPARE(s->roster().entry(0).state, 13);
        s->tick(); // countdown reaches 1
        QCOMPARE(s->roster().entry(0).state, 0);
        QCOMPARE(s->roster().entry(1).state, 2);
        s->tick();
        s->tick();
        QCOMPARE(s->roster().newArrivalCountdown(), 0);
    }

    void ignored()
    {
        s->ignore("DDDDDDDD", true);
        s->roster().DoUser(userRecord("Dee", "DDDDDDDD9", 7, -1, "5|1"));
        s->roster().DoUser(userRecord("Bot", "xxBOTxxx1", 7, -1, "5|1"));
        QCOMPARE(s->roster().entry(s->roster().MemberIndex("Dee", "DDDDDDDD9")).icon, 30);
        QCOMPARE(s->roster().entry(s->roster().MemberIndex("Bot", "xxBOTxxx1")).icon, 5);

        s->setStaffMode(true);
        s->roster().DoUser(userRecord("Bot", "xxBOTxxx1", 7, -1, "5|1"));
        QCOMPARE(s->roster().entry(s->roster().MemberIndex("Bot", "xxBOTxxx1")).icon, 30);

        // Without catalogue text 530 nobody is marked.
        s->setCatalogue(nullptr);
        s->roster().DoUser(userRecord("Eve", "EEEEEEEE1", 7, -1, "5|1"));
        QCOMPARE(s->roster().entry(s->roster().MemberIndex("Eve", "EEEEEEEE1")).icon, 5);
    }

    void sortOrder()
    {
        s->roster().DoUser(userRecord("zed", "Z0000000a", 7, -1, "1|1"));
        s->roster().DoUser(userRecord("Amy", "A0000000a", 7, -1, "61|1"));
        s->roster().DoUser(userRecord("q62", "Q0000000a", 7, -1, "62|1"));
        s->roster().DoUser(userRecord("bob", "B0000000a", 7, -1, "2|1"));
        s->roster().DoUser(userRecord("q65", "Q0000001a", 7, -1, "65|1"));
        s->roster().DoUser(userRecord("Carl", "C0000000a", 7, -1, "0|1"));
        s->roster().DoUser(userRecord("q64", "Q0000002a", 7, -1, "164|1"));
        s->roster().DoUser(userRecord("BOA", "B0000001a", 7, -1, "0|1"));
        QCOMPARE(nicks(), (QStringList{"q65", "q64", "q62", "Amy", "BOA", "bob", "Carl", "zed"}));

        // A raised hand moves to the front, lowered it goes back by nick.
        s->roster().DoUser(userRecord("zed", "Z0000000a", 7, -1, "63|1"));
        QCOMPARE(nicks(), (QStringList{"q65", "q64", "zed", "q62", "Amy", "BOA", "bob", "Carl"}));
        s->roster().DoUser(userRecord("q65", "Q0000001a", 7, -1, "0|1"));
        QCOMPARE(nicks(), (QStringList{"q64", "zed", "q62", "Amy", "BOA", "bob", "Carl", "q65"}));
        QCOMPARE(s->roster().MemberIndex("zed", "Z0000000a"), 1);
        QCOMPARE(MemberList::SortKey("Xy", 62), QStringLiteral("3xy"));
        QCOMPARE(MemberList::SortKey("Xy", 65), QStringLiteral("0xy"));
        QCOMPARE(MemberList::SortKey("Xy", 61), QStringLiteral("=xy"));
    }

    void notices_data()
    {
        QTest::addColumn<bool>("arrivals");
        QTest::addColumn<bool>("departures");
        QTest::addColumn<int>("quiet");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("both on") << true << true << 0
                                 << QStringList{"Ann has arrived", "Ann has left", "Ann has left",
                                                "Ann has arrived"};
        QTest::newRow("arrivals only")
            << true << false << 0 << QStringList{"Ann has arrived", "Ann has arrived"};
        QTest::newRow("departures only") << false << true << 0 << QStringList{"Ann has left", "Ann has left"};
        QTest::newRow("quiet period") << true << true << 3 << QStringList{};
        QTest::newRow("both off") << false << false << 0 << QStringList{};
    }
    void notices()
    {
        QFETCH(bool, arrivals);
        QFETCH(bool, departures);
        QFETCH(int, quiet);
        QFETCH(QStringList, expected);
        s->set(&ChatSettings::showArrivals, arrivals);
        s->set(&ChatSettings::showDepartures, departures);
        s->setQuietPeriod(quiet);
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1));
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1, "3|3")); // an update says nothing
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 2, -1));
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 2, -1));  // not listed: no second departure
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 2, 7));   // watching only: no arrival
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1));  // listed already
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", -1, -1)); // leaving the chat
        s->roster().DoUser(userRecord("Ann", "AAAAAAAA1", 7, -1));
        s->roster().DoUser(userRecord("Me", "OTHERID01", 7, -1)); // own nick never announced
        s->roster().DoUser(userRecord("Me", "OTHERID01", 3, -1));
        QCOMPARE(sink.texts("ShowMessage"), expected);
        for (const auto &c : sink.calls)
            QCOMPARE(c.args, (QVariantList{false, true}));
    }

    void ownRecordSelectsRooms()
    {
        QList<int> room1, room2;
        s->roster().selectRoom1 = [&](int r) { room1 << r; };
        s->roster().selectRoom2 = [&](int r) { room2 << r; };
        s->roster().DoUser(userRecord("Me", "OWNIDXYZ!", 7, 9));
        QCOMPARE(room1, QList<int>{});
        QCOMPARE(room2, QList<int>{9});
        s->roster().DoUser(userRecord("Me", "OWNIDXYZ!", 4, -1));
        QCOMPARE(room1, QList<int>{4});
        QCOMPARE(room2, (QList<int>{9, -1}));
        // Same nick, other ID: somebody else.
        s->roster().DoUser(userRecord("Me", "OWNIDXYZ?", 5, -1));
        QCOMPARE(room1, QList<int>{4});
    }

    void emptyAndBadRecords()
    {
        s->roster().DoUser(QString());
        s->roster().DoUser("garbage without fields");
        s->roster().DoUser("<N>x</N><E></E><#>abc</#>");
        // No fields reads as not in the chat: nothing listed.
        QCOMPARE(s->roster().count(), 0);
        // Nor does a missing W watch room 0.
        s->set(&ChatSettings::room, 0);
        s->roster().DoUser("<N>Cy</N><E>CCCCCCCC1</E><I>1|1</I><#>3</#>");
        QCOMPARE(s->roster().count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRoster)
#include "tst_roster.moc"
