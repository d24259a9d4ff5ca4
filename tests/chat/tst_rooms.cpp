#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/records.h"
#include "support/fakesink.h"
#include "support/faketranscriptview.h"
#include "transcript/transcriptrenderer.h"

#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using hchat::test::FakeSink;

class TestRooms : public QObject
{
    Q_OBJECT

    struct Sent {
        int kind;
        QString data;
    };
    ChatSession *s = nullptr;
    FakeSink sink;
    QList<Sent> sent;

    QStringList sentText() const
    {
        QStringList out;
        for (const Sent &x : sent)
            out << QString::number(x.kind) + u':' + x.data;
        return out;
    }
    void runOutHoldOff()
    {
        for (int i = 0; i < Rooms::holdOffTicks; ++i)
            s->tick();
    }

private slots:
    void init()
    {
        s = new ChatSession;
        s->setSink(&sink);
        sink.clear();
        sent.clear();
        s->setSender([this](int kind, const QString &data) {
            sent.append({kind, data});
            if (kind == 5 || kind == 50 || kind == 51)
                s->roomHandling().holdOff(Rooms::holdOffTicks); // as the link does for presence
        });
        s->set(&ChatSettings::nick, "Ann");
        s->setOwnId("ANNANNAN!");
        s->set(&ChatSettings::room, 1);
        s->set(&ChatSettings::room2, 4);
    }
    void cleanup() { delete s; }

    void roomRecordsFillTheList()
    {
        QSignalSpy changed(&s->roomHandling(), &Rooms::roomListChanged);
        s->dispatch(7, "<R>7</R><#>2</#><N>Lounge</N><C>Welcome all</C>");
        s->dispatch(7, "<R>7</R><N>no number</N>");
        s->dispatch(7, "<R>7</R><#>-1</#><N>negative</N>");
        s->dispatch(7, "<R>7</R><#>1000</#><N>too high</N>");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(s->rooms().entry(2), QString("<#>2</#><N>Lounge</N><C>Welcome all</C>"));
        QCOMPARE(s->rooms().count(), 3);
        // Every number up to the highest room in use has a chooser item.
        QCOMPARE(s->roomHandling().chooserItems(), QStringList({"0", "1", "2 Lounge", "3", "4"}));
        // A caption with a stray tag that ends no field is kept (looking for its end never ended).
        s->roomHandling().writeRoom(2, RoomRecord{.name = "Lounge", .caption = "Try <S> now"});
        QCOMPARE(s->rooms().RoomField(2, Field::Caption), QString("Try <S> now"));
    }

    void changingRoomsAnnounces_data()
    {
        QTest::addColumn<bool>("show");
        QTest::addColumn<int>("action"); // 0 first room, 1 second room, 2 swap, 3 show on/off
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");

        QTest::newRow("first, no second room") << false << 0 << QStringList{"50:", "25:<#>3</#>"} << 3 << 4;
        QTest::newRow("first, watching") << true << 0 << QStringList{"5:", "25:<#>3</#>"} << 3 << 4;
        QTest::newRow("first = watched swaps")
            << true << 5 << QStringList{"5:", "25:<#>4</#>", "25:<#>1</#><W>1</W>"} << 4 << 1;
        QTest::newRow("second, watching") << true << 1 << QStringList{"5:", "25:<#>3</#><W>1</W>"} << 1 << 3;
        QTest::newRow("second, not watched: kept quiet") << false << 1 << QStringList{} << 1 << 3;
        QTest::newRow("swap") << true << 2 << QStringList{"5:", "25:<#>4</#>", "25:<#>1</#><W>1</W>"} << 4
                              << 1;
        QTest::newRow("show on") << false << 3 << QStringList{"5:", "25:<#>4</#><W>1</W>"} << 1 << 4;
        QTest::newRow("show off") << true << 3 << QStringList{"50:"} << 1 << 4;
    }
    void changingRoomsAnnounces()
    {
        QFETCH(bool, show);
        QFETCH(int, action);
        s->set(&ChatSettings::showSecond, show);
        QSignalSpy selected(&s->roomHandling(), &Rooms::roomsSelected);
        Rooms &r = s->roomHandling();
        switch (action) {
        case 0:
            r.setFirstRoom(3);
            break;
        case 1:
            r.setSecondRoom(3);
            break;
        case 2:
            r.swap();
            break;
        case 3:
            r.setShowSecond(!show);
            break;
        case 5:
            r.setFirstRoom(4);
            break;
        }
        QTEST(sentText(), "expected");
        QTEST(s->settings().room, "first");
        QTEST(s->settings().room2, "second");
        QCOMPARE(selected.count(), 1);
        QCOMPARE(s->roomHandling().holdOffLeft(), sent.isEmpty() ? 0 : Rooms::holdOffTicks);
    }

    // Each transcript's repeat filter follows its room: a room we come to
    // shows its first line even when the room we left ended with it.
    void repeatFilterFollowsTheRooms_data()
    {
        QTest::addColumn<int>("action"); // 0 first room, 1 second room, 2 the server names our watched room
        QTest::addColumn<bool>("firstShown");
        QTest::addColumn<bool>("secondShown");
        QTest::newRow("first room changes") << 0 << true << false;
        QTest::newRow("second room changes") << 1 << false << true;
        QTest::newRow("server moves the watched room") << 2 << false << true;
    }
    void repeatFilterFollowsTheRooms()
    {
        QFETCH(int, action);
        QFETCH(bool, firstShown);
        QFETCH(bool, secondShown);
        s->set(&ChatSettings::showSecond, true);
        const QString line = "<R>1</R><F>1</F><#>%1</#><M>Bob:  good morning</M>";
        s->dispatch(1, line.arg(1));
        s->dispatch(1, line.arg(4));
        if (action == 0) {
            s->roomHandling().setFirstRoom(3);
        } else if (action == 1) {
            s->roomHandling().setSecondRoom(3);
        } else {
            runOutHoldOff();
            s->roster().DoUser("<R>5</R><E>ANNANNAN!</E><N>Ann</N><#>1</#><W>3</W>");
            QCOMPARE(s->settings().room2, 3);
        }
        sink.clear();
        s->dispatch(1, line.arg(3));
        QCOMPARE(sink.count("TimeStamp"), firstShown ? 1 : 0);
        QCOMPARE(sink.count("TimeStamp2"), secondShown ? 1 : 0);
        // The room that stays keeps its filter.
        sink.clear();
        s->dispatch(1, line.arg(firstShown ? 4 : 1));
        QCOMPARE(sink.count("TimeStamp") + sink.count("TimeStamp2"), 0);
    }

    void swapTakesTheHistoriesAlong()
    {
        FakeTranscriptView first, second;
        TranscriptRenderer renderer(&first, &second, TranscriptContext());
        renderer.context().showTimeStamps = [] { return false; };
        s->setSink(&renderer);
        s->set(&ChatSettings::showSecond, true);
        const QString line = "<R>1</R><F>1</F><#>%1</#><M>%2</M>";
        s->dispatch(1, line.arg(1).arg("in one"));
        s->dispatch(1, line.arg(4).arg("in four"));
        s->roomHandling().swap();
        QCOMPARE(s->settings().room, 4);
        QCOMPARE(first.doc.toPlainText(), QString("in four"));
        QCOMPARE(second.doc.toPlainText(), QString("in one"));
        // The filters went along: repeats are still repeats, in either room.
        s->dispatch(1, line.arg(4).arg("in four"));
        s->dispatch(1, line.arg(1).arg("in one"));
        s->dispatch(1, line.arg(1).arg("new in one"));
        QCOMPARE(first.doc.toPlainText(), QString("in four"));
        QCOMPARE(second.doc.toPlainText(), QString("in one\nnew in one"));
        s->setSink(&sink);
    }

    void roomRequests()
    {
        // Every (re)announcement asks for the room list: it may have changed
        // while we were away.
        s->roomHandling().announce();
        QCOMPARE(sentText(), QStringList({"50:", "25:<#>1</#>", "12:"}));
        sent.clear();
        s->roomHandling().requestRoomUsage();
        QVERIFY(!s->roomHandling().requestRoomSetup()); // room 0 unknown: nothing to set up
        s->dispatch(7, "<R>7</R><#>0</#><N>Vacant</N>");
        QVERIFY(s->roomHandling().requestRoomSetup());
        QCOMPARE(sentText(), QStringList({"17:", "27:"}));
    }

    void entryCarriesTheTypedPasswords()
    {
        s->setPassEntry(3, "<S>boss</S><B>door</B>");
        s->roomHandling().setFirstRoom(3);
        QCOMPARE(sent.last().data, QString("<#>3</#><B>door</B><S>boss</S>"));
    }

    void changesDuringTheHoldOffAreHeldNotLost()
    {
        s->roomHandling().setFirstRoom(2);
        sent.clear();
        s->roomHandling().setFirstRoom(3);
        s->roomHandling().swap(); // acts on the held choice: first 4, second 3
        QVERIFY(sent.isEmpty());
        QCOMPARE(s->settings().room, 2);
        QVERIFY(s->roomHandling().hasHeldChange());
        for (int i = 0; i < Rooms::holdOffTicks - 1; ++i)
            s->tick();
        QVERIFY(sent.isEmpty());
        s->tick();
        QCOMPARE(sentText(), QStringList({"50:", "25:<#>4</#>"}));
        QCOMPARE(s->settings().room, 4);
        QCOMPARE(s->settings().room2, 3);

        // Going there and back within the hold-off ends where we are: nothing to tell.
        sent.clear();
        runOutHoldOff();
        s->roomHandling().setFirstRoom(1);
        s->roomHandling().setFirstRoom(2);
        s->roomHandling().setFirstRoom(1);
        runOutHoldOff();
        QCOMPARE(sentText(), QStringList({"50:", "25:<#>1</#>"}));
    }

    void ownRecordMovesOnlyAfterTheHoldOff()
    {
        s->roomHandling().setFirstRoom(2);
        sent.clear();
        s->roster().DoUser("<R>5</R><E>ANNANNAN!</E><N>Ann</N><#>1</#><W>-1</W>"); // stale echo
        QCOMPARE(s->settings().room, 2);
        QVERIFY(sent.isEmpty());
        runOutHoldOff();
        s->roster().DoUser("<R>5</R><E>ANNANNAN!</E><N>Ann</N><#>6</#><W>5</W>"); // the server moved us
        QCOMPARE(s->settings().room, 6);
        // The server put us there: no presence, only the request for the room.
        QCOMPARE(sentText(), QStringList({"25:<#>6</#>"}));
        QCOMPARE(s->settings().room2, 5); // the watched room is only selected
        QCOMPARE(sent.size(), 1);
    }

    void applyingTheFirstRoom()
    {
        QSignalSpy applied(&s->roomHandling(), &Rooms::roomApplied);
        s->roomHandling().setFirstRoom(2);
        sink.clear();
        s->dispatch(7,
                    "<R>7</R><#>2</#><N>Lounge</N><I>7</I><C>Be nice</C><U>http://x/</U><M>Hello||there</M>");
        QCOMPARE(sink.count("ShowMessage"), 0); // not before the server lists the room for us
        s->dispatch(15, "<R>15</R><N>Ann</N><E>ANNANNAN!</E><#>2</#>");
        QCOMPARE(applied.last().at(0).toInt(), 2);
        QCOMPARE(applied.last().at(1).toString(), QString("Be nice"));
        QCOMPARE(applied.last().at(2).toString(), QString("http://x/"));
        QCOMPARE(applied.last().at(3).toInt(), 7);
        QCOMPARE(sink.texts("ShowMessage"), QStringList({"Hello\r\nthere"}));
        // An edit of the room later applies again without a second welcome.
        s->dispatch(7, "<R>7</R><#>2</#><N>Lounge</N><C>New caption</C><M>Hello||there</M>");
        QCOMPARE(applied.last().at(1).toString(), QString("New caption"));
        QCOMPARE(sink.count("ShowMessage"), 1);
        // Records of other rooms are stored, not applied.
        const int before = applied.count();
        s->dispatch(7, "<R>7</R><#>3</#><C>Elsewhere</C>");
        QCOMPARE(applied.count(), before);
    }

    void welcomeFromTheStoredRecordWhenNoneComes()
    {
        s->setRoomEntry(2, "<#>2</#><M>Stored welcome</M>");
        s->roomHandling().setFirstRoom(2);
        QCOMPARE(sink.count("ShowMessage"), 0);
        runOutHoldOff();
        QCOMPARE(sink.texts("ShowMessage"), QStringList({"Stored welcome"}));
        runOutHoldOff();
        QCOMPARE(sink.count("ShowMessage"), 1);
    }

    void refusedEntryGoesBack()
    {
        s->setRoomEntry(5, "<#>5</#><N>Private</N>");
        s->roomHandling().setFirstRoom(5);
        sent.clear();
        // The room's record (as in the room list) may come before the refusal.
        s->dispatch(7, "<R>7</R><#>5</#><N>Private</N><M>Welcome, members</M>");
        s->dispatch(25, "<R>25</R><#>5</#><A>Members only.</A>");
        QCOMPARE(sink.texts("ShowMessage"),
                 QStringList({"Access to room 5 Private is denied.", "Members only."}));
        QCOMPARE(s->settings().room, 1);
        // Going back is not held by the hold-off.
        QCOMPARE(sentText(), QStringList({"50:", "25:<#>1</#>"}));
    }

    void refusedWatchedRoomStopsWatching()
    {
        s->set(&ChatSettings::showSecond, true);
        s->roomHandling().setSecondRoom(8);
        sent.clear();
        s->dispatch(25, "<R>25</R><#>8</#><N>Staff</N><W>1</W>");
        QVERIFY(!s->settings().showSecond);
        QCOMPARE(s->settings().room, 1);
        QCOMPARE(sentText(), QStringList({"50:"}));
        QCOMPARE(sink.texts("ShowMessage"), QStringList({"Access to room 8 Staff is denied."}));
    }

    void refusalOfTheFallbackRoomDoesNotLoop()
    {
        s->set(&ChatSettings::room, 0);
        s->dispatch(25, "<R>25</R><#>0</#>");
        QVERIFY(sent.isEmpty());
        QCOMPARE(s->settings().room, 0);
        // A refusal about a room we are not in changes nothing.
        s->dispatch(25, "<R>25</R><#>9</#>");
        QVERIFY(sent.isEmpty());
    }

    void administrator_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("staff");
        QTest::addColumn<bool>("admin");
        QTest::newRow("matching password") << "<S>pw</S>"
                                           << "<S>pw</S>" << false << true;
        QTest::newRow("wrong password") << "<S>pw</S>"
                                        << "<S>px</S>" << false << false;
        QTest::newRow("nothing typed") << ""
                                       << "" << false << false;
        // The server strips passwords from the records it sends.
        QTest::newRow("typed, record without password") << ""
                                                        << "<S>pw</S>" << false << true;
        QTest::newRow("staff") << "<S>pw</S>"
                               << "" << true << true;
    }
    void administrator()
    {
        QFETCH(QString, record);
        QFETCH(QString, typed);
        s->setRoomEntry(1, "<#>1</#>" + record);
        s->setPassEntry(1, typed);
        QFETCH(bool, staff);
        s->setStaffMode(staff);
        QTEST(s->roomHandling().isAdministrator(1), "admin");
    }

    void webButtonOpensOnlyWebAddresses_data()
    {
        QTest::addColumn<QString>("roomUrl");
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("opened");
        const QString mon = "http://127.0.0.1:8080/mon/";
        QTest::newRow("room page") << "https://example.com/room" << mon << "https://example.com/room";
        QTest::newRow("bare host reads as http") << "www.example.com" << mon << "www.example.com";
        QTest::newRow("no room page") << "" << mon << mon;
        QTest::newRow("local file") << "file:///etc/passwd" << mon << mon;
        QTest::newRow("local path") << "/home/ann/.ssh/id_rsa" << mon << mon;
        QTest::newRow("script") << "javascript:alert(1)" << mon << mon;
        QTest::newRow("data") << "data:text/html,<b>x</b>" << mon << mon;
        QTest::newRow("file both") << "file:///etc/passwd"
                                   << "file:///etc/shadow"
                                   << "";
        QTest::newRow("nothing") << ""
                                 << ""
                                 << "";
    }
    void webButtonOpensOnlyWebAddresses()
    {
        QFETCH(QString, roomUrl);
        QFETCH(QString, configured);
        QTEST(Rooms::webButtonAddress(roomUrl, configured), "opened");
    }
};

QTEST_GUILESS_MAIN(TestRooms)
#include "tst_rooms.moc"
