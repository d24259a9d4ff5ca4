#include "chat/chatsession.h"
#include "chat/rostermodel.h"
#include "protocol/codec.h"
#include "support/fakesink.h"
#include "support/testsession.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QtTest>

using namespace hchat;
using hchat::test::userRecord;

class TestMemberActions : public QObject
{
    Q_OBJECT

    ChatSession *s = nullptr;
    hchat::test::FakeSink sink;
    QList<int> sent;

private slots:
    void init()
    {
        s = new ChatSession;
        s->setSink(&sink);
        sent.clear();
        s->setSender([this](int kind, const QString &) { sent << kind; });
        s->set(&ChatSettings::room, 7);
        s->set(&ChatSettings::nick, "Me");
        s->set(&ChatSettings::icon, 40);
        s->setIcon(40);
        s->setOwnId("OWNIDXYZ!");
        s->roster().DoUser(userRecord("Me", "OWNIDXYZ!", 7));
        s->roster().DoUser(userRecord("Zoe", "ZZZZZZZZ1", 7));
        s->roster().DoUser(userRecord("Amy", "AAAAAAAA1", 7));
    }
    void cleanup() { delete s; }

    void menuTable()
    {
        const auto &menu = MemberActions::iconMenu();
        QCOMPARE(menu.size(), 17);
        QStringList keys;
        for (const auto &e : menu) {
            QVERIFY(e.shortcut.startsWith("Ctrl+"));
            QVERIFY(!keys.contains(e.shortcut));
            keys << e.shortcut;
        }
        QCOMPARE(menu.first().caption, QStringLiteral("My Icon"));
        QCOMPARE(menu.at(5).caption, QStringLiteral("bbl - Long break"));
        QCOMPARE(menu.at(5).kind, IconMenuEntry::Kind::Away);
        QCOMPARE(menu.last().value, 29);
    }

    void iconChoice()
    {
        QSignalSpy focus(&s->memberActions(), &MemberActions::focusTextRequested);
        s->memberActions().mnuIconClick(62);
        QCOMPARE(s->currentIcon(), 62);
        s->memberActions().mnuIconClick(62); // again: back to the default
        QCOMPARE(s->currentIcon(), 40);
        s->memberActions().mnuIconClick(5);
        s->memberActions().run(MemberActions::iconMenu().first()); // My Icon
        QCOMPARE(s->currentIcon(), 40);
        QCOMPARE(sent, (QList<int>{5, 5, 5, 5}));
        QCOMPARE(focus.count(), 4);
    }

    void awayToggles()
    {
        const auto &menu = MemberActions::iconMenu();
        s->memberActions().run(menu.at(5)); // bbl
        QCOMPARE(s->awayCode(), 3);
        s->memberActions().run(menu.at(6)); // gn
        QCOMPARE(s->awayCode(), 4);
        s->memberActions().run(menu.at(6));
        QCOMPARE(s->awayCode(), 0);
        QCOMPARE(s->currentIcon(), 40);
        QCOMPARE(sent, (QList<int>{5, 5, 5}));
    }

    void clicks()
    {
        QSignalSpy buttons(&s->memberActions(), &MemberActions::memberButtonsVisible);
        const int zoe = s->roster().MemberIndex("Zoe", "ZZZZZZZZ1");
        s->memberActions().lstMembersClick(zoe);
        QCOMPARE(s->roster().lblCount(), QStringLiteral("3 users"));
        s->setStaffMode(true);
        s->memberActions().lstMembersClick(zoe);
        QCOMPARE(s->roster().lblCount(), QStringLiteral("ZZZZZZZZ1"));
        QCOMPARE(buttons.count(), 2);

        QStringList opened;
        s->memberActions().openPrivateMessage = [&](const QString &n, const QString &id) {
            opened << n + "/" + id;
        };
        s->memberActions().lstMembersDblClick(zoe);
        QCOMPARE(opened, QStringList{"Zoe/ZZZZZZZZ1"});
        QCOMPARE(buttons.last().at(0).toBool(), false);

        const int me = s->roster().MemberIndex("Me", s->ownId());
        s->memberActions().lstMembersDblClick(me);
        QCOMPARE(s->awayCode(), 4);
        s->memberActions().lstMembersDblClick(me);
        QCOMPARE(s->awayCode(), 0);
        QCOMPARE(opened.size(), 1);
        s->memberActions().lstMembersDblClick(-1); // empty space: nothing but focus
        QCOMPARE(opened.size(), 1);
    }

    void popup()
    {
        MembersPopup p = s->memberActions().mnuPUMembersPopup(-1);
        QVERIFY(!p.hasSelection && !p.saveReportVisible && !p.bootVisible);

        const int amy = s->roster().MemberIndex("Amy", "AAAAAAAA1");
        p = s->memberActions().mnuPUMembersPopup(amy);
        QCOMPARE(p.page, QStringLiteral("Page Amy"));
        QCOMPARE(p.ignore, QStringLiteral("Ignore Amy"));
        QCOMPARE(p.boot, QStringLiteral("Boot Amy"));

        s->ignore("AAAAAAAA", true);
        s->setStaffMode(true);
        s->memberActions().administersRoom = [] { return true; };
        p = s->memberActions().mnuPUMembersPopup(amy);
        QCOMPARE(p.ignore, QStringLiteral("Accept Amy"));
        QVERIFY(p.saveReportVisible && p.bootVisible);
    }

    void saveReport()
    {
        QTemporaryDir dir;
        s->setLogFolder(dir.path() + "/ChatLog/");
        QVERIFY(!s->memberActions().mnuSaveMemberClick()); // staff only
        QVERIFY(!QFile::exists(s->logFolder() + "Members.txt"));
        s->setStaffMode(true);
        QVERIFY(s->memberActions().mnuSaveMemberClick());
        QFile f(s->logFolder() + "Members.txt");
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(QString::fromUtf8(f.readAll()), QStringLiteral("Amy,AAAAAAAA\nMe,OWNIDXYZ\nZoe,ZZZZZZZZ\n"));
    }

    void modelFollowsRoster()
    {
        RosterModel model(s->roster());
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.index(0).data().toString(), QStringLiteral("Amy"));
        QVERIFY(model.index(0).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!model.index(0).data(Qt::DecorationRole).value<QIcon>().isNull());

        QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
        s->roster().DoUser(userRecord("Zoe", "ZZZZZZZZ1", 7, -1, "62|3")); // to the front
        QCOMPARE(moved.count(), 1);
        QCOMPARE(model.index(0).data().toString(), QStringLiteral("Zoe"));
        QCOMPARE(model.index(0).data(RosterModel::IconRole).toInt(), 62);
        QCOMPARE(model.index(0).data(RosterModel::StateRole).toInt(), 3);
        QVERIFY(!model.index(0).data(RosterModel::StateIconRole).value<QIcon>().isNull());

        for (int i = 0; i < 30; ++i)
            s->roster().DoUser(userRecord(QString("n%1").arg(i % 7), QString("ID%1").arg(i), 7, -1,
                                          QString("%1|").arg(i * 7 % 70)));
        for (int i = 0; i < 30; i += 2)
            s->roster().DoUser(userRecord(QString("n%1").arg(i % 7), QString("ID%1").arg(i), -1));
        for (int i = 0; i < 14; ++i)
            s->tick();
        QCOMPARE(model.rowCount(), s->roster().count());
        for (int r = 1; r < model.rowCount(); ++r)
            QVERIFY(MemberList::lstMembersCompare(s->roster().entry(r - 1), s->roster().entry(r)) <= 0);
        s->roster().clear();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(TestMemberActions)
#include "tst_memberactions.moc"
