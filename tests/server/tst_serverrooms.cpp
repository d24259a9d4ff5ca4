// Rooms, rights and member commands as the server carries them out.
#include "protocol/codec.h"
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"
#include "server/chatserver.h"
#include "server/linkclient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace hchat;

class TestServerRooms : public QObject
{
    Q_OBJECT

    qint64 now = 1000;
    QTemporaryDir dir;
    std::unique_ptr<RoomStore> rooms;
    std::unique_ptr<ChatServer> server;
    std::unique_ptr<LinkClient> ann, bob, boss;

    void join(LinkClient &c, const QString &nick, const QString &id, int room, int watch = -1)
    {
        c.presence(nick, id, room, watch);
        c.poll();
        c.drain();
        c.received.clear();
    }
    void roundTrip(LinkClient &c)
    {
        c.poll();
        c.drain();
    }
    QString noticesOf(LinkClient &c) { return c.take(1).join(u'\n'); }

private slots:
    void init()
    {
        now = 1000;
        QVERIFY(dir.isValid());
        QFile::remove(dir.path() + "/rooms.txt");
        QFile::remove(dir.path() + "/bulletins.txt");
        QDir(dir.path() + "/bulletins").removeRecursively();
        rooms = std::make_unique<RoomStore>(dir.path());
        QVERIFY(rooms->load());
        // Room 5 is private and administered; room 6 is open and unadministered.
        rooms->setFields(5, "<N>Traders</N><S>admin</S><B>key</B><A>Members only, sorry.</A>");
        server = std::make_unique<ChatServer>(rooms.get());
        StaffPasswords staff;
        staff.add("Boss", StaffPasswords::hash("bosspw", StaffPasswords::minOpsLimit(),
                                               StaffPasswords::minMemLimit()));
        server->setStaff(staff);
        ann = std::make_unique<LinkClient>(server.get(), 4000, &now);
        bob = std::make_unique<LinkClient>(server.get(), 4001, &now);
        boss = std::make_unique<LinkClient>(server.get(), 4002, &now);
        join(*ann, "Ann", "AAAAAAAA!", 1);
        join(*bob, "Bob", "BBBBBBBB#", 1);
        join(*boss, "boss", "SSSSSSSS$", 2);
        boss->queue("<R>28</R><#>2</#><S>bosspw</S>"); // the nick alone proves nothing
        for (LinkClient *c : {ann.get(), bob.get(), boss.get()}) {
            c->drain();
            c->received.clear();
        }
    }

    void passwordsNeverLeaveTheServer()
    {
        LinkClient c(server.get(), 4100, &now);
        join(c, "Cy", "CCCCCCCC1", 1);
        c.queue("<R>12</R>");
        roundTrip(c);
        const QString all = c.take(7).join(u'\n');
        QVERIFY(all.contains("<N>Traders</N>"));
        QVERIFY(!all.contains("adm_in") && !all.contains("<B>"));
    }

    void roomSettingsRights_data()
    {
        QTest::addColumn<QString>("who");
        QTest::addColumn<int>("room");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("saved");
        QTest::newRow("staff") << "boss" << 5 << "" << true;
        QTest::newRow("admin password") << "ann" << 5 << "adm_in" << true; // underscores are dropped
        QTest::newRow("wrong password") << "ann" << 5 << "nope" << false;
        QTest::newRow("no password") << "ann" << 5 << "" << false;
        QTest::newRow("unadministered room") << "ann" << 6 << "" << true;
    }
    void roomSettingsRights()
    {
        QFETCH(QString, who);
        QFETCH(int, room);
        QFETCH(QString, password);
        QFETCH(bool, saved);
        LinkClient &c = who == "boss" ? *boss : *ann;
        c.received.clear();
        c.queue(AddI(7, "R") + AddI(room, "#") + AddS("New name", "N") + AddS(password, "S") +
                AddS("Hi all", "C"));
        roundTrip(c);
        QCOMPARE(GetS(rooms->fields(room), "N") == "New name", saved);
        QVERIFY(!noticesOf(c).isEmpty()); // saved or refused, the sender is told
        bob->poll();
        QCOMPARE(bob->take(7).size(), saved ? 1 : 0);
        if (saved && room == 5) {
            // The record as sent is the room's: a password left out is none.
            QCOMPARE(rooms->adminPassword(5), password.remove(u'_'));
            QVERIFY(rooms->accessPassword(5).isEmpty());
        }
    }

    void roomNumbersOutOfRangeAreRefused()
    {
        // 99999999999 and 2^32 once read as room 0: staff would overwrite the Support Room.
        const QString before = rooms->fields(0);
        boss->queue("<R>7</R><#>99999999999</#><N>Taken</N>");
        boss->queue("<R>9</R><#>4294967296</#><M>Taken</M>");
        boss->queue("<R>21</R><#>-0</#>");
        roundTrip(*boss);
        QCOMPARE(rooms->fields(0), before);
        QVERIFY(rooms->bulletin(0).isEmpty());
        QVERIFY(noticesOf(*boss).contains("There is no room"));
    }

    void unchangedRoomRecordIsNoRequest()
    {
        ann->queue("<R>7</R><#>5</#><N>Traders</N><S>admin</S><B>key</B><A>Members only, sorry.</A>");
        // Looks at a free room, however many, spend none of the address's rooms.
        for (int i = 0; i <= server->limits().roomsPerAddress; ++i)
            ann->queue("<R>7</R><#>6</#><N>Vacant</N>");
        roundTrip(*ann);
        QVERIFY2(ann->received.isEmpty(), qPrintable(ann->received.join(u'\n')));
        ann->queue("<R>7</R><#>6</#><N>Mine</N>");
        roundTrip(*ann);
        QCOMPARE(GetS(rooms->fields(6), "N"), QStringLiteral("Mine"));
    }

    void privateRoomEntry_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<bool>("entered");
        QTest::newRow("presence alone") << "" << false;
        QTest::newRow("wrong key") << "<R>25</R><#>5</#><B>lock</B>" << false;
        QTest::newRow("access key") << "<R>25</R><#>5</#><B>k_ey</B>" << true;
        QTest::newRow("admin password") << "<R>25</R><#>5</#><S>admin</S>" << true;
    }
    void privateRoomEntry()
    {
        QFETCH(QString, request);
        QFETCH(bool, entered);
        ann->presence("Ann", "AAAAAAAA!", 5);
        if (!request.isEmpty())
            ann->queue(request);
        roundTrip(*ann);
        const QStringList refusals = ann->take(25);
        bob->poll();
        const QStringList moves = bob->take(5);
        if (entered) {
            QVERIFY(refusals.isEmpty());
            QCOMPARE(ann->take(7).size(), 1);
            QVERIFY(!ann->take(15).isEmpty()); // the members of the room, own record included
            QCOMPARE(GetI(moves.value(0), "#"), 5);
        } else {
            QCOMPARE(refusals.size(), 1);
            QCOMPARE(refusals.first(),
                     QStringLiteral("<R>25</R><#>5</#><N>Traders</N><A>Members only, sorry.</A>"));
            QCOMPARE(GetI(moves.value(0), "#"), 1); // still in room 1 as far as others know
        }
    }

    void bootedMemberStaysOut()
    {
        QVERIFY(rooms->setFields(1, "<N>Floor</N><J>ed</J>"));
        boss->queue("<R>8</R><N>Bob</N><E>BBBBBBBB#</E><#>1</#>");
        roundTrip(*boss);
        // The stored line keeps its fields as written, and the administrator's answer relays it so.
        QCOMPARE(rooms->fields(1), QStringLiteral("<N>Floor</N><J>ed</J><G>Bob</G>"));
        boss->queue("<R>28</R><#>1</#>");
        roundTrip(*boss);
        QVERIFY(boss->take(28).join(u'\n').contains("<R>28</R><#>1</#><N>Floor</N><J>ed</J><G>Bob</G><H>"));
        roundTrip(*bob);
        const QStringList own = bob->take(5);
        QVERIFY(!own.isEmpty());
        QCOMPARE(GetI(own.last(), "#"), 0);
        QVERIFY(noticesOf(*bob).contains("removed from room 1"));
        bob->presence("Bob", "BBBBBBBB#", 1);
        bob->queue("<R>25</R><#>1</#>");
        roundTrip(*bob);
        QCOMPARE(bob->take(25).size(), 1);
        // Not staff, no password: Ann may not boot.
        ann->queue("<R>8</R><N>Bob</N><#>0</#>");
        roundTrip(*ann);
        QVERIFY(noticesOf(*ann).contains("Only staff"));
    }

    void administratorCannotBootStaff()
    {
        boss->presence("boss", "SSSSSSSS$", 5);
        roundTrip(*boss);
        boss->received.clear();
        ann->queue("<R>8</R><N>boss</N><E>SSSSSSSS$</E><#>5</#><S>admin</S>");
        roundTrip(*ann);
        QVERIFY(noticesOf(*ann).contains("is staff"));
        QVERIFY(GetS(rooms->fields(5), "G").isEmpty());
        boss->poll();
        QVERIFY(boss->take(5).isEmpty()); // not moved out
    }

    void staffOnlyCommands_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("global") << "<R>2</R><M>hello everyone</M>"
                                << "global";
        QTest::newRow("reset") << "<R>21</R><#>5</#>"
                               << "reset";
        QTest::newRow("statistics") << "<R>16</R><#>1</#>"
                                    << "statistics";
    }
    void staffOnlyCommands()
    {
        QFETCH(QString, record);
        QFETCH(QString, refusal);
        ann->queue(record);
        roundTrip(*ann);
        QVERIFY(noticesOf(*ann).contains(refusal));
        QCOMPARE(GetS(rooms->fields(5), "N"), QStringLiteral("Traders"));
        boss->queue(record);
        roundTrip(*boss);
        QVERIFY(!noticesOf(*boss).contains("Only staff"));
    }

    void staffResetAndGlobal()
    {
        rooms->setBulletin(5, "old news");
        boss->queue("<R>21</R><#>5</#>");
        boss->queue("<R>2</R><M>closing soon</M>");
        roundTrip(*boss);
        QCOMPARE(GetS(rooms->fields(5), "N"), QStringLiteral("Available by Request"));
        QVERIFY(rooms->adminPassword(5).isEmpty());
        QVERIFY(rooms->bulletin(5).isEmpty());
        ann->poll();
        QVERIFY(ann->take(1).join("").contains("boss:  closing soon"));
    }

    void bulletinsPersist()
    {
        ann->queue("<R>9</R><#>6</#><M>line one||line two</M>");
        roundTrip(*ann);
        RoomStore reread(dir.path());
        QVERIFY(reread.load());
        QCOMPARE(reread.bulletin(6), QStringLiteral("line one\r\nline two"));
        QCOMPARE(GetS(reread.fields(5), "N"), QStringLiteral("Traders"));
        bob->queue("<R>20</R><#>6</#>");
        roundTrip(*bob);
        QCOMPARE(bob->take(20), QStringList{"<R>20</R><#>6</#><M>line one||line two</M>"});
        // Room 5 has an administrator: Bob may not write its bulletin.
        bob->queue("<R>9</R><#>5</#><M>spam</M>");
        roundTrip(*bob);
        QVERIFY(rooms->bulletin(5).isEmpty());
        QVERIFY(noticesOf(*bob).contains("bulletin"));
        // Only rooms set up have bulletins, and all of them together are bounded.
        bob->queue("<R>9</R><#>77</#><M>spam</M>");
        rooms->bulletins().setTotalBytes(30);
        bob->queue("<R>9</R><#>7</#><M>twenty-one characters</M>");
        roundTrip(*bob);
        QVERIFY(rooms->bulletin(77).isEmpty() && rooms->bulletin(7).isEmpty());
        QVERIFY(noticesOf(*bob).contains("There is no room 77"));
    }

    void longBulletins_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("saved");
        QTest::newRow("over a plain record") << WireLimits::maxRecordBytes + 1 << true;
        QTest::newRow("at the limit") << WireLimits::maxBulletinBytes << true;
        QTest::newRow("one byte over") << WireLimits::maxBulletinBytes + 1 << false;
    }
    void longBulletins()
    {
        QFETCH(int, bytes);
        QFETCH(bool, saved);
        QString text = QStringLiteral("Notes:\r\ntype a||b or </M> as you like ");
        text += QString(bytes - encodeText(text).toUtf8().size(), u'x');
        QCOMPARE(encodeText(text).toUtf8().size(), bytes);
        QVERIFY(ann->queue(AddI(9, "R") + AddI(6, "#") + AddText(text, 'M')) != 0);
        roundTrip(*ann);
        QCOMPARE(rooms->bulletin(6) == text, saved);
        QVERIFY(noticesOf(*ann).contains(saved ? "was saved" : "too long"));
        RoomStore reread(dir.path());
        QVERIFY(reread.load());
        QCOMPARE(reread.bulletin(6) == text, saved);
        bob->queue("<R>20</R><#>6</#>");
        roundTrip(*bob);
        const QStringList answers = bob->take(20);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(GetText(answers.first(), 'M') == text, saved);
    }

    void memberCommands_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("answerToAnn");
        QTest::addColumn<QString>("toBob");
        QTest::newRow("pm") << "<R>3</R><N>Bob</N><E>BBBBBBBB#</E><M>psst</M>" << 3 << ""
                            << "<R>3</R><N>Ann</N><E>AAAAAAAA!</E><M>psst</M>";
        QTest::newRow("pm to stale id") << "<R>3</R><N>Bob</N><E>BBBBBBBBx</E><M>psst</M>" << 3 << ""
                                        << "<R>3</R><N>Ann</N><E>AAAAAAAA!</E><M>psst</M>";
        QTest::newRow("pm to nobody")
            << "<R>3</R><N>Zed</N><E>ZZZZZZZZ1</E><F>3</F><M>psst</M>" << 3
            << "<R>3</R><N>Zed</N><E>ZZZZZZZZ1</E><M>Zed is not in the chat</M><A>1</A>"
            << "";
        QTest::newRow("page") << "<R>4</R><N>Bob</N><E>BBBBBBBB#</E>" << 4 << ""
                              << "<R>4</R><N>Ann</N>"; // the link hands up the pager's nick
        QTest::newRow("where is") << "<R>13</R><N>boss</N><E>SSSSSSSS$</E>" << 13
                                  << "<R>13</R><N>boss</N><E>SSSSSSSS$</E><#>2</#><W>-1</W>"
                                  << "";
        QTest::newRow("where is nobody") << "<R>13</R><N>Zed</N>" << 13 << "<R>13</R><N>Zed</N><#>-1</#>"
                                         << "";
        QTest::newRow("profile of nobody")
            << "<R>6</R><N>Zed</N><E>ZZZZZZZZ1</E>" << 6 << "<R>6</R><N>Zed</N>"
            << "";
    }
    void memberCommands()
    {
        QFETCH(QString, record);
        QFETCH(int, kind);
        QFETCH(QString, answerToAnn);
        QFETCH(QString, toBob);
        ann->queue(record);
        roundTrip(*ann);
        bob->poll();
        QCOMPARE(ann->take(kind).join(u'\n'), answerToAnn);
        QCOMPARE(bob->take(kind).join(u'\n'), toBob);
    }

    void profileSetAndAsk()
    {
        bob->queue("<R>6</R><U>http://bob.example</U><M>Back at 3||Ask Ann</M>");
        roundTrip(*bob);
        ann->queue("<R>6</R><N>Bob</N><E>BBBBBBBB#</E>");
        roundTrip(*ann);
        QCOMPARE(ann->take(6), QStringList{"<R>6</R><N>Bob</N><E>BBBBBBBB#</E><U>http://bob.example</U>"
                                           "<M>Back at 3||Ask Ann</M>"});
    }

    void refreshListsOwnRecordToo()
    {
        ann->queue("<R>15</R><#>1</#>");
        roundTrip(*ann);
        QStringList nicks;
        for (const QString &r : ann->take(15))
            nicks << GetS(r, "N");
        nicks.sort();
        QCOMPARE(nicks, (QStringList{"Ann", "Bob"}));
    }

    void tagsInIdentityAreStripped_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a field") << "Eve<E>FAKE</E>"
                                 << "EveFAKE";
        // Cleaned once this became <#>-1</#>: in the room, yet gone from every list.
        QTest::newRow("nested room") << "Eve<<#>#>-1<</#>/#>"
                                     << "Eve-1";
    }
    void tagsInIdentityAreStripped()
    {
        QFETCH(QString, nick);
        QFETCH(QString, shown);
        LinkClient c(server.get(), 4200, &now);
        // The room comes first: the server reads it, then relays the nick after it.
        c.link.Send(5, "<E>EEEEEEEE1</E><#>1</#><W>-1</W><I>5|0</I><N>" + nick + "</N>");
        roundTrip(c);
        bob->poll();
        const QString member = bob->take(5).value(0);
        QCOMPARE(GetS(member, "E"), QStringLiteral("EEEEEEEE1"));
        QCOMPARE(GetS(member, "N"), shown);
        QCOMPARE(GetI(member, "#"), 1);
    }

    void nestedTagsInARoomRecordLeakNoPassword()
    {
        // The passwords come first, where the server reads them.
        ann->queue("<R>7</R><#>6</#><S>own</S><B>secret</B><N><<B>B>leak<</B>/B></N>");
        roundTrip(*ann);
        QCOMPARE(rooms->accessPassword(6), QStringLiteral("secret"));
        bob->queue("<R>12</R>");
        roundTrip(*bob);
        const QString all = bob->take(7).join(u'\n');
        QVERIFY(all.contains("<#>6</#><N>leak</N>"));
        QVERIFY2(!all.contains("secret") && !all.contains("own"), qPrintable(all));
    }

    void roomsAMemberCreatesAreRationed()
    {
        // Every room that gets a record is sent to every newcomer: one
        // member may not fill the list.
        const int allowed = server->limits().roomsPerAddress;
        for (int r = 10; r < 20; ++r) {
            now += 1000;
            ann->queue(AddI(7, "R") + AddI(r, "#") + AddS(QStringLiteral("Mine %1").arg(r), "N"));
            roundTrip(*ann);
        }
        int created = 0;
        for (int r = 10; r < 20; ++r)
            created += rooms->fields(r).isEmpty() ? 0 : 1;
        QCOMPARE(created, allowed);
        QVERIFY(noticesOf(*ann).contains("enough rooms"));
        // Changing a room of one's own is no new room; staff create as they like.
        ann->queue("<R>7</R><#>10</#><N>Mine 10</N><C>still mine</C>");
        boss->queue("<R>7</R><#>30</#><N>Staff room</N>");
        roundTrip(*ann);
        roundTrip(*boss);
        QCOMPARE(GetS(rooms->fields(10), "C"), QStringLiteral("still mine"));
        QCOMPARE(GetS(rooms->fields(30), "N"), QStringLiteral("Staff room"));
        // Changes come a few at a time: each is written to disk.
        now += 60000;
        ann->received.clear();
        for (int i = 0; i < 30; ++i)
            ann->queue(QStringLiteral("<R>9</R><#>10</#><M>news %1</M>").arg(i));
        roundTrip(*ann);
        QCOMPARE(rooms->bulletin(10), QStringLiteral("news %1").arg(server->limits().editBurst - 1));
        QCOMPARE(noticesOf(*ann).count("Too many changes"), 1);
        // Bulletins too: a few from one address, then one a minute; staff are not counted.
        int saved = 0;
        for (int i = 0; i < 20; ++i) {
            now += 2000;
            ann->queue(QStringLiteral("<R>9</R><#>10</#><M>more %1</M>").arg(i));
            roundTrip(*ann);
            saved += rooms->bulletin(10) == QStringLiteral("more %1").arg(i) ? 1 : 0;
        }
        QCOMPARE(saved, server->limits().bulletinsPerAddress - server->limits().editBurst);
        QVERIFY(noticesOf(*ann).contains("enough bulletins"));
        boss->queue("<R>9</R><#>10</#><M>staff news</M>");
        roundTrip(*boss);
        QCOMPARE(rooms->bulletin(10), QStringLiteral("staff news"));
    }

    void roomChangesReachEveryoneHoweverFarBehind_data()
    {
        QTest::addColumn<int>("changes");
        QTest::newRow("a few") << 3;
        QTest::newRow("more than are kept") << 300;
    }
    void roomChangesReachEveryoneHoweverFarBehind()
    {
        QFETCH(int, changes);
        // Bob does not poll while staff rename rooms over and over.
        for (int i = 0; i < changes; ++i) {
            now += 1000;
            boss->queue(AddI(7, "R") + AddI(1 + i % 9, "#") + AddS(QStringLiteral("Name %1").arg(i), "N"));
            roundTrip(*boss);
        }
        bob->drain();
        QHash<int, QString> names;
        for (const QString &r : bob->take(7))
            names[GetI(r, "#")] = GetS(r, "N"); // the later record wins, as in the client
        for (int room = 1; room <= qMin(changes, 9); ++room)
            QCOMPARE(names.value(room), QStringLiteral("Name %1").arg(changes - 1 - (changes - room) % 9));
    }

    void bootedListsKeepTheRecordWithinItsSize()
    {
        // Two bytes short of full: one more nick does not fit.
        const int room = RoomStore::maxRecordBytes - 2 - (rooms->fields(5) + "<G></G>").size();
        QVERIFY(rooms->setFields(5, rooms->fields(5) + AddS(QString(room, u'x'), "G")));
        bob->presence("Bob", "BBBBBBBB#", 5);
        bob->queue("<R>25</R><#>5</#><B>key</B>");
        roundTrip(*bob);
        boss->queue("<R>8</R><N>Bob</N><E>BBBBBBBB#</E><#>5</#>");
        roundTrip(*boss);
        QVERIFY(noticesOf(*boss).contains("list of booted members of room 5 is full"));
        QVERIFY(rooms->fields(5).toUtf8().size() <= RoomStore::maxRecordBytes);
        // Out all the same.
        roundTrip(*bob);
        QCOMPARE(GetI(bob->take(5).value(0), "#"), 0);
    }

    void supportRoomIsForStaffOnly()
    {
        // Room 0 has no administrator password: that must not open it to all.
        ann->queue("<R>7</R><#>0</#><N>Mine now</N><S>taken</S>");
        ann->queue("<R>9</R><#>0</#><M>mine</M>");
        roundTrip(*ann);
        QCOMPARE(GetS(rooms->fields(0), "N"), QStringLiteral("Support Room"));
        QVERIFY(rooms->adminPassword(0).isEmpty());
        QVERIFY(rooms->bulletin(0).isEmpty());
        QCOMPARE(noticesOf(*ann).count("Only staff"), 2);
        bob->presence("Bob", "BBBBBBBB#", 0);
        roundTrip(*bob);
        ann->presence("Ann", "AAAAAAAA!", 0);
        ann->queue("<R>8</R><N>Bob</N><E>BBBBBBBB#</E><#>0</#><S>taken</S>");
        roundTrip(*ann);
        QVERIFY(noticesOf(*ann).contains("Only staff"));
        QVERIFY(GetS(rooms->fields(0), "G").isEmpty());
        // Staff edit it, and sign as the staff.
        boss->queue("<R>7</R><#>0</#><N>Support Room</N><C>Ask us</C>");
        roundTrip(*boss);
        QCOMPARE(GetS(rooms->fields(0), "C"), QStringLiteral("Ask us"));
        QCOMPARE(GetS(rooms->fields(0), "J"), QStringLiteral("Halvex Staff"));
    }
};

QTEST_GUILESS_MAIN(TestServerRooms)
#include "tst_serverrooms.moc"
