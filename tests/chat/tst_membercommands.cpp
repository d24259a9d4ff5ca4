#include "catalogue/catalogue.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "support/fakesink.h"
#include "support/testsession.h"

#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using hchat::test::FakeSink;
using Command = MemberCommands::Command;

Q_DECLARE_METATYPE(MemberCommands::Command)

class TestMemberCommands : public QObject
{
    Q_OBJECT

    ChatSession *s = nullptr;
    FakeSink sink;
    QList<QPair<int, QString>> sent;
    Catalogue catalogue{
        hchat::test::catalogueLines(560, {{555, " is ignored now"}, {556, "is heard again"}})};
    const MemberCommands::Member bob{"Bob", "BOBBOBBO#"};

private slots:
    void init()
    {
        s = new ChatSession;
        hchat::test::wireSession(*s, sink, &sent, &catalogue);
        s->set(&ChatSettings::nick, "Ann");
        s->setOwnId("ANNANNAN!");
        s->set(&ChatSettings::room, 3);
    }
    void cleanup() { delete s; }

    void records_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("data");
        QTest::newRow("page") << Command::Page << "" << 4 << "<N>Bob</N><E>BOBBOBBO#</E>";
        QTest::newRow("pm") << Command::PrivateMessage << "hi" << 3 << "<N>Bob</N><E>BOBBOBBO#</E><M>hi</M>";
        QTest::newRow("pm with a closing tag")
            << Command::PrivateMessage << "a</M>b" << 3 << "<N>Bob</N><E>BOBBOBBO#</E><M>a<\\/M>b</M>";
        QTest::newRow("profile") << Command::UserProfile << "" << 6 << "<N>Bob</N><E>BOBBOBBO#</E>";
        QTest::newRow("boot") << Command::Boot << "" << 8 << "<N>Bob</N><E>BOBBOBBO#</E><#>3</#><S>key</S>";
        QTest::newRow("refresh") << Command::RefreshMembers << "" << 15 << "<#>3</#>";
        QTest::newRow("where is") << Command::WhereIs << "" << 13 << "<N>Bob</N><E>BOBBOBBO#</E>";
        QTest::newRow("page room") << Command::PageRoom << "" << 4 << "<#>3</#>";
        QTest::newRow("global") << Command::GlobalMessage << "all hands" << 2 << "<M>all hands</M>";
        QTest::newRow("statistics") << Command::StatisticsReport << "" << 16 << "<#>3</#>";
    }
    void records()
    {
        QFETCH(Command, command);
        QFETCH(QString, text);
        s->setStaffMode(true);
        s->setPassEntry(3, "<S>key</S>");
        QVERIFY(s->memberCommands().run(command, bob, text));
        QCOMPARE(sent.size(), 1);
        QTEST(sent.at(0).first, "kind");
        QTEST(sent.at(0).second, "data");
    }

    void availability_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<bool>("staff");
        QTest::addColumn<bool>("admin");
        QTest::addColumn<bool>("own");
        QTest::addColumn<bool>("available");
        QTest::newRow("boot, plain member") << Command::Boot << false << false << false << false;
        QTest::newRow("boot, administrator") << Command::Boot << false << true << false << true;
        QTest::newRow("boot, staff") << Command::Boot << true << false << false << true;
        QTest::newRow("boot, own entry") << Command::Boot << true << true << true << false;
        QTest::newRow("global, member") << Command::GlobalMessage << false << true << false << false;
        QTest::newRow("global, staff") << Command::GlobalMessage << true << false << false << true;
        QTest::newRow("statistics, member") << Command::StatisticsReport << false << false << false << false;
        QTest::newRow("page, own entry") << Command::Page << false << false << true << false;
        QTest::newRow("page room without selection") << Command::PageRoom << false << false << true << true;
    }
    void availability()
    {
        QFETCH(Command, command);
        QFETCH(bool, staff);
        QFETCH(bool, admin);
        QFETCH(bool, own);
        s->setStaffMode(staff);
        s->setRoomEntry(3, "<#>3</#><S>key</S>");
        s->setPassEntry(3, admin ? "<S>key</S>" : "<S>guess</S>");
        const MemberCommands::Member who = own ? MemberCommands::Member{"Ann", "ANNANNAN!"} : bob;
        QTEST(s->memberCommands().available(command, who), "available");
        // run() refuses what is not offered, and sends nothing then.
        if (!s->memberCommands().available(command, who)) {
            QVERIFY(!s->memberCommands().run(command, who, "x"));
            QVERIFY(sent.isEmpty());
        }
    }

    void ignoreToggles()
    {
        s->roster().DoUser("<R>5</R><E>BOBBOBBO#</E><N>Bob</N><I>5|1</I><#>3</#><W>-1</W>");
        const int row = s->roster().MemberIndex("Bob", "BOBBOBBO#");
        QVERIFY(row >= 0);
        QSignalSpy changed(&s->memberCommands(), &MemberCommands::ignoreChanged);
        sink.clear();

        QVERIFY(s->memberCommands().run(Command::Ignore, bob));
        QCOMPARE(s->ignoreList(), QStringList({"BOBBOBBO"}));
        QCOMPARE(s->roster().entry(s->roster().MemberIndex("Bob", "BOBBOBBO#")).icon, 30);
        QCOMPARE(sink.texts("ShowMessage"), QStringList({"Bob is ignored now"}));
        QVERIFY(sent.isEmpty());
        QVERIFY(changed.last().at(2).toBool());

        sink.clear();
        QVERIFY(s->memberCommands().run(Command::Ignore, bob));
        QVERIFY(s->ignoreList().isEmpty());
        QCOMPARE(sink.texts("ShowMessage"), QStringList({"Bob is heard again"}));
        QVERIFY(!changed.last().at(2).toBool());
        // The covered icon comes back with the member's own record.
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).first, 15);
        s->roster().DoUser("<R>15</R><E>BOBBOBBO#</E><N>Bob</N><I>5|1</I><#>3</#><W>-1</W>");
        QCOMPARE(s->roster().entry(s->roster().MemberIndex("Bob", "BOBBOBBO#")).icon, 5);
    }

    void refreshStartsTheListQuietly()
    {
        s->roster().DoUser("<R>5</R><E>BOBBOBBO#</E><N>Bob</N><I>5|1</I><#>3</#><W>-1</W>");
        QVERIFY(s->memberCommands().run(Command::RefreshMembers));
        QCOMPARE(s->quietPeriod(), MemberCommands::refreshQuietTicks);
        QCOMPARE(s->roster().count(), 0);
    }

    void privateMessageWithoutTextOpensTheWindow()
    {
        QSignalSpy open(&s->memberCommands(), &MemberCommands::privateMessageRequested);
        QVERIFY(s->memberCommands().run(Command::PrivateMessage, bob));
        QCOMPARE(open.count(), 1);
        QVERIFY(sent.isEmpty());
    }

    void answersAreShown_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("profile") << 6
                                 << "<R>6</R><N>Bob</N><E>BOBBOBBO#</E><U>http://bob/</U><M>Trader||Oslo</M>"
                                 << QStringList{"Profile of Bob:", "http://bob/", "Trader\r\nOslo"};
        QTest::newRow("empty profile")
            << 6 << "<R>6</R><N>Bob</N><E>BOBBOBBO#</E>" << QStringList{"Bob has no profile"};
        QTest::newRow("profile of nobody")
            << 6 << "<R>6</R><N>Bob</N>" << QStringList{"Bob is not in the chat"};
        QTest::newRow("own profile echo") << 6 << "<R>6</R><U>http://me/</U>" << QStringList{};
        QTest::newRow("where, watching") << 13 << "<R>13</R><N>Bob</N><E>BOBBOBBO#</E><#>2</#><W>4</W>"
                                         << QStringList{"Bob is in room 2 Lounge, watching room 4"};
        QTest::newRow("where, one room") << 13 << "<R>13</R><N>Bob</N><E>BOBBOBBO#</E><#>2</#><W>-1</W>"
                                         << QStringList{"Bob is in room 2 Lounge"};
        QTest::newRow("where, gone") << 13 << "<R>13</R><N>Bob</N><E>BOBBOBBO#</E><#>-1</#>"
                                     << QStringList{"Bob is not in the chat"};
    }
    void answersAreShown()
    {
        QFETCH(int, kind);
        QFETCH(QString, record);
        s->setRoomEntry(2, "<#>2</#><N>Lounge</N>");
        s->dispatch(kind, record);
        QTEST(sink.texts("ShowMessage"), "shown");
    }
};

QTEST_GUILESS_MAIN(TestMemberCommands)
#include "tst_membercommands.moc"
