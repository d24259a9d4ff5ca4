#include "app/rosterpanel.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "support/testsession.h"

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QtTest>

using namespace hchat;
using hchat::test::userRecord;

class TestRosterPanel : public QObject
{
    Q_OBJECT

private slots:
    void listLabelAndMenu()
    {
        ChatSession s;
        QList<int> sent;
        s.setSender([&](int kind, const QString &) { sent << kind; });
        s.set(&ChatSettings::room, 7);
        RosterPanel panel(s);
        panel.resize(200, 400);
        panel.show();

        s.dispatch(5, userRecord("bob", "BBBBBBBB1", 7));
        s.dispatch(5, userRecord("Amy", "AAAAAAAA1", 7, -1, "62|3"));
        QCOMPARE(panel.lstMembers->model()->rowCount(), 2);
        QCOMPARE(panel.lstMembers->model()->index(0, 0).data().toString(), QStringLiteral("Amy"));
        QCOMPARE(panel.lblCount->text(), QStringLiteral("2 users"));
        QVERIFY(panel.lstMembers->font().bold());

        // Every icon-menu entry is in the menu with its caption and shortcut.
        for (const IconMenuEntry &e : MemberActions::iconMenu()) {
            QAction *a = panel.iconAction(e.name);
            QVERIFY2(a, qPrintable(e.name));
            QCOMPARE(a->text(), e.caption);
            QCOMPARE(a->shortcut(), QKeySequence(e.shortcut));
            QVERIFY(panel.mnuPUMembers->actions().contains(a));
        }
        panel.iconAction("mnuPhone")->trigger();
        QCOMPARE(s.currentIcon(), 1);
        QCOMPARE(sent, QList<int>{5});

        // Captions follow the selection.
        panel.mnuPUMembersPopup();
        QVERIFY(!panel.mnuPage->isEnabled());
        QVERIFY(!panel.mnuSaveMember->isVisible());
        panel.lstMembers->setCurrentIndex(panel.lstMembers->model()->index(1, 0));
        s.ignore("BBBBBBBB", true);
        panel.mnuPUMembersPopup();
        QCOMPARE(panel.mnuPage->text(), QStringLiteral("Page bob"));
        QCOMPARE(panel.mnuIgnore->text(), QStringLiteral("Accept bob"));
        QVERIFY(!panel.mnuBoot->isVisible());

        QSignalSpy ignore(&panel, &RosterPanel::ignoreRequested);
        panel.mnuIgnore->trigger();
        QCOMPARE(ignore.count(), 1);
        QCOMPARE(ignore.first(), (QVariantList{"bob", "BBBBBBBB1"}));

        // Staff click shows the ID in the label.
        s.setStaffMode(true);
        QSignalSpy buttons(&panel, &RosterPanel::memberButtonsVisible);
        const QRect r = panel.lstMembers->visualRect(panel.lstMembers->model()->index(1, 0));
        QTest::mouseClick(panel.lstMembers->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(panel.lblCount->text(), QStringLiteral("BBBBBBBB1"));
        QCOMPARE(buttons.count(), 1);

        s.dispatch(5, userRecord("Amy", "AAAAAAAA1", -1));
        QCOMPARE(panel.lblCount->text(), QStringLiteral("1 user"));
        QCOMPARE(panel.lstMembers->model()->rowCount(), 1);
    }
};

QTEST_MAIN(TestRosterPanel)
#include "tst_rosterpanel.moc"
