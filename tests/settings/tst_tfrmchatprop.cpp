// The settings dialog driven as a user drives it, offscreen, against a
// session on the real link: what each control does, and the records that
// leave when it closes.
#include "chat/membericons.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "settings/tfrmchatprop.h"
#include "support/wiredsession.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

using namespace hchat;
using hchat::test::WiredSession;

namespace {

// A room list in which room 1 has an administrator password and an access
// password (the server tells only that they exist), room 2 has none.
void seedRooms(ChatSession &s)
{
    s.setRoomEntry(0, "<#>0</#><N>Support Room</N>");
    s.setRoomEntry(1, "<#>1</#><N>Traders</N><C>Old caption</C><M>Hello</M><I>3</I><H>SB</H>");
    s.setRoomEntry(2, "<#>2</#><N>Open</N><V>http://ok.example/</V>");
}

const QString kWhole1 = "<R>28</R><#>1</#><N>Traders</N><S>secret</S><B>entry</B><I>3</I><C>Old caption</C>"
                        "<M>Hello</M><H>SBA</H>";

} // namespace

class TestTfrmChatProp : public QObject
{
    Q_OBJECT

    WiredSession *w = nullptr;
    TfrmChatProp *dlg = nullptr;
    QList<QAction *> actions;

    TfrmChatProp *open(const TfrmChatProp::ViewCommands &commands = {})
    {
        w->pump();
        w->wire.clear();
        dlg = new TfrmChatProp(w->session, commands);
        dlg->askNick = [](const QString &, const QString &, const QString &) { return QString(); };
        dlg->FormCreate();
        dlg->show();
        dlg->activateWindow();
        if (!QTest::qWaitForWindowActive(dlg))
            qWarning("the dialog did not become active: focus changes may not arrive");
        return dlg;
    }
    void closeDialog()
    {
        dlg->close();
        dlg = nullptr; // deletes itself
        w->pump();
    }
    // Types text, a line break as Enter.
    void type(QWidget *target, const QString &text)
    {
        target->setFocus();
        const QStringList lines = text.split(u'\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClicks(target, lines[i]);
        }
    }
    // A click on the box itself, not on the empty room beside its caption.
    void click(QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }

private slots:
    void init()
    {
        w = new WiredSession;
        seedRooms(w->session);
        w->session.set(&ChatSettings::room, 2);
    }
    void cleanup()
    {
        delete dlg;
        dlg = nullptr;
        delete w;
        qDeleteAll(actions);
        actions.clear();
    }

    void captionCarriesTheVersionDate()
    {
        open();
        QCOMPARE(dlg->windowTitle(), QStringLiteral("Chat Properties             HChat version 12-09-26"));
        QVERIFY(dlg->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!dlg->isModal());
        QVERIFY(!dlg->gagDownload->isVisibleTo(dlg) && !dlg->btnUpgrade->isVisibleTo(dlg));
        // Opening asks for the room's bulletin.
        w->pump();
        QCOMPARE(w->sent(20), QStringList{"<R>20</R><#>2</#>"});
        QVERIFY(w->session.settingsDialogOpen());
        closeDialog();
        QVERIFY(!w->session.settingsDialogOpen());
    }

    void viewBoxesAndMenuCommandsAreOneSetting()
    {
        TfrmChatProp::ViewCommands commands;
        QList<int> runs(TfrmChatProp::ViewCount, 0);
        for (int tag = 0; tag < TfrmChatProp::ViewCount; ++tag) {
            if (tag == 10 || tag == 11)
                continue;
            auto *a = new QAction;
            a->setCheckable(true);
            a->setChecked(tag % 3 == 0);
            connect(a, &QAction::toggled, a, [&runs, tag] { ++runs[tag]; });
            actions << a;
            commands.byTag[tag] = a;
        }
        w->session.set(&ChatSettings::scroll, false);
        w->session.set(&ChatSettings::profileLinks, true);
        open(commands);
        // Filling shows every state and runs no command.
        for (int tag = 0; tag < TfrmChatProp::ViewCount; ++tag) {
            const bool expected = tag == 10 ? false : tag == 11 ? true : tag % 3 == 0;
            QCOMPARE(dlg->viewBox(tag)->isChecked(), expected);
        }
        QCOMPARE(runs, QList<int>(TfrmChatProp::ViewCount, 0));

        // A click runs the window's command once; the menu moves the box.
        click(dlg->viewBox(4));
        QCOMPARE(runs[4], 1);
        QVERIFY(commands.byTag[4]->isChecked());
        commands.byTag[7]->trigger();
        QCOMPARE(dlg->viewBox(7)->isChecked(), commands.byTag[7]->isChecked());
        // Boxes without a command set their flag.
        click(dlg->viewBox(10));
        click(dlg->viewBox(11));
        QVERIFY(w->session.settings().scroll);
        QVERIFY(!w->session.settings().profileLinks);
        QCOMPARE(runs[10] + runs[11], 0);
    }

    void fontSizeColoursAndZone_data()
    {
        QTest::addColumn<int>("storedSize");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("storedZone");
        QTest::addColumn<int>("zoneItem");
        QTest::newRow("9 shows 8, zone 99") << 9 << "rdoSize8" << 99 << -1;
        QTest::newRow("14, zone -1") << 14 << "rdoSize14" << -1 << -1;
        QTest::newRow("18, last zone") << 18 << "rdoSize18" << 23 << 23;
    }
    void fontSizeColoursAndZone()
    {
        QFETCH(int, storedSize);
        QFETCH(QString, shown);
        QFETCH(int, storedZone);
        QFETCH(int, zoneItem);
        const ChatSettings &s = w->session.settings();
        w->session.set(&ChatSettings::fontSize, storedSize);
        w->session.set(&ChatSettings::zone, storedZone);
        w->session.set(&ChatSettings::fontColor, 0x0000FF); // red
        open();
        QSignalSpy applied(dlg, &TfrmChatProp::appearanceChanged);
        QVERIFY(dlg->findChild<QRadioButton *>(shown)->isChecked());
        QCOMPARE(dlg->findChild<QRadioButton *>("rdoSize8")->text(), QStringLiteral("  8 point"));
        QCOMPARE(dlg->cmbZone->currentIndex(), zoneItem);
        QCOMPARE(dlg->cmbZone->count(), 24);

        // The colour dialog opens on the current colour; Cancel keeps it.
        QColor offered;
        dlg->chooseColor = [&offered](const QColor &initial, const QString &) {
            offered = initial;
            return QColor();
        };
        QTest::mouseClick(dlg->pnlText, Qt::LeftButton);
        QCOMPARE(offered, QColor(Qt::red));
        QCOMPARE(s.fontColor, 0x0000FF);
        QCOMPARE(applied.size(), 0);
        dlg->chooseColor = [](const QColor &, const QString &) { return QColor(0, 0, 255); };
        QTest::mouseClick(dlg->pnlBackground, Qt::LeftButton);
        QCOMPARE(s.formColor, 0xFF0000); // blue, red in the low byte
        QCOMPARE(applied.size(), 1);

        closeDialog();
        // Nothing the user left alone is rewritten.
        QCOMPARE(s.fontSize, storedSize);
        QCOMPARE(s.zone, storedZone);

        open();
        QSignalSpy again(dlg, &TfrmChatProp::appearanceChanged);
        click(dlg->findChild<QRadioButton *>("rdoSize12"));
        click(dlg->chkBold);
        QCOMPARE(s.fontSize, 12);
        QVERIFY(s.fontBold);
        QCOMPARE(again.size(), 2);
    }

    void cancelPutsBackAndSendsNothing()
    {
        auto *list = new QAction;
        list->setCheckable(true);
        list->setChecked(true);
        actions << list;
        TfrmChatProp::ViewCommands commands;
        commands.byTag[1] = list;
        const ChatSettings &s = w->session.settings();
        const ChatSettings before = s;
        open(commands);
        dlg->chooseColor = [](const QColor &, const QString &) { return QColor(0, 0, 255); };
        QTest::mouseClick(dlg->pnlBackground, Qt::LeftButton);
        QTest::mouseClick(dlg->pnlText, Qt::LeftButton);
        click(dlg->findChild<QRadioButton *>("rdoSize18"));
        click(dlg->chkBold);
        click(dlg->viewBox(1));
        click(dlg->viewBox(10));
        dlg->edtNick->setText("Someone");
        dlg->edtURL->setText("http://changed.example/");
        QVERIFY(s.formColor != before.formColor && !list->isChecked());
        QSignalSpy applied(dlg, &TfrmChatProp::appearanceChanged);
        w->pump(); // the opening's bulletin request
        w->wire.clear();
        dlg->btnCancel->click();
        dlg = nullptr;
        w->pump();
        QCOMPARE(applied.size(), 1);
        QCOMPARE(s.formColor, before.formColor);
        QCOMPARE(s.fontColor, before.fontColor);
        QCOMPARE(s.fontSize, before.fontSize);
        QCOMPARE(s.fontBold, before.fontBold);
        QCOMPARE(s.scroll, before.scroll);
        QVERIFY(list->isChecked());
        QCOMPARE(s.nick, before.nick);
        QVERIFY2(w->wire.isEmpty(), qPrintable(w->wire.join('\n')));
        QVERIFY(!w->session.settingsDialogOpen());
    }

    void favourites()
    {
        w->session.setFavourites({"http://a.example/", "http://b.example/"});
        open();
        QCOMPARE(dlg->cmbWeb->count(), 2);
        QLineEdit *edit = dlg->cmbWeb->lineEdit();
        // Leaving the box with a known URL or nothing adds nothing.
        for (const QString &text : {QStringLiteral("http://a.example/"), QString()}) {
            edit->setFocus();
            edit->setText(text);
            dlg->edtURL->setFocus();
            QCOMPARE(dlg->cmbWeb->count(), 2);
        }
        // "Delete" with nothing selected does nothing.
        dlg->cmbWeb->setCurrentIndex(-1);
        edit->setText("http://b.example/");
        QTest::mouseClick(dlg->btnWeb, Qt::LeftButton);
        QCOMPARE(dlg->cmbWeb->count(), 2);
        // A new URL is added by leaving the box; a selected one is deleted.
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, "http://c.example/");
        QTest::keyClick(edit, Qt::Key_Return); // Enter moves on
        QCOMPARE(dlg->cmbWeb->count(), 3);
        QVERIFY(dlg->isVisible());
        dlg->cmbWeb->setCurrentIndex(0);
        QTest::mouseClick(dlg->btnWeb, Qt::LeftButton);
        QCOMPARE(dlg->cmbWeb->currentText(), QString());
        closeDialog();
        QCOMPARE(w->session.favourites(), (QStringList{"http://b.example/", "http://c.example/"}));
    }

    void identityAndProfileRecords_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QList<int>>("kinds");
        QTest::addColumn<QString>("storedNick");
        QTest::newRow("nothing") << "" << -1 << "" << QList<int>{} << "Ann";
        QTest::newRow("icon only") << "" << 7 << "" << QList<int>{5, 6} << "Ann";
        QTest::newRow("profile only") << "" << -1 << "hi" << QList<int>{6} << "Ann";
        QTest::newRow("nick") << "Bea" << -1 << "" << QList<int>{5, 5, 6} << "Bea";
        QTest::newRow("nick of 25") << "Abcdefghijklmnopqrstuvwxy" << -1 << "" << QList<int>{5, 5, 6}
                                    << "Abcdefghijklmnopqrst";
        QTest::newRow("nick cleans to the old") << "1Ann" << -1 << "" << QList<int>{} << "Ann";
    }
    void identityAndProfileRecords()
    {
        QFETCH(QString, nick);
        QFETCH(int, icon);
        QFETCH(QString, profile);
        QFETCH(QList<int>, kinds);
        QFETCH(QString, storedNick);
        w->session.set(&ChatSettings::buffer, 2100);
        w->session.set(&ChatSettings::room, 1); // locked: no room record on closing
        open();
        if (!nick.isEmpty()) {
            dlg->edtNick->selectAll();
            type(dlg->edtNick, nick);
        }
        if (icon >= 0)
            dlg->cmbIconUser->setCurrentIndex(icon);
        if (!profile.isEmpty())
            type(dlg->memProfile, profile);
        closeDialog();
        QList<int> seen = w->kinds();
        seen.removeAll(20); // the bulletin request of opening
        QCOMPARE(seen, kinds);
        QCOMPARE(w->session.settings().nick, storedNick);
        const bool identity = kinds.contains(5);
        QCOMPARE(w->session.settings().buffer, identity ? 1400 : 2100);
        if (identity) {
            // Kind 51 (sent as presence leaving every room) only for a new nick.
            const QString first = w->sent(5).first();
            QCOMPARE(GetI(first, "#") == -1, nick.size() > 0);
            QCOMPARE(GetS(w->sent(5).last(), "N"), storedNick);
            if (icon >= 0)
                QVERIFY(GetS(w->sent(5).last(), "I").startsWith("7|"));
        }
    }

    void profileKeepsItsLines()
    {
        w->session.set(&ChatSettings::url, "http://me.example/");
        open();
        type(dlg->memProfile, "first line\nsecond line");
        closeDialog();
        QCOMPARE(w->session.settings().profile, QStringLiteral("first line||second line"));
        QCOMPARE(w->sent(6), QStringList{"<R>6</R><U>http://me.example/</U><M>first line||second line</M>"});
        open();
        QCOMPARE(dlg->memProfile->toPlainText(), QStringLiteral("first line\nsecond line"));
    }

    void iconList_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("count");
        QTest::newRow("member") << "Ann" << 4 << 58;
        QTest::newRow("staff") << "Halvex Staff" << 4 << 65;
        QTest::newRow("icon above the list") << "Ann" << 70 << 71;
    }
    void iconList()
    {
        QFETCH(QString, nick);
        QFETCH(int, icon);
        QFETCH(int, count);
        w->session.set(&ChatSettings::nick, nick);
        w->session.setStaffMode(nick.startsWith("Halvex"));
        w->session.set(&ChatSettings::icon, icon);
        open();
        QCOMPARE(dlg->cmbIconUser->count(), count);
        QCOMPARE(dlg->cmbIconUser->currentIndex(), icon);
        QVERIFY(!dlg->cmbIconUser->itemIcon(count - 1).isNull() || count > MemberIcons::Count);
        closeDialog();
        QCOMPARE(w->sent(5).size(), 0); // nothing changed
    }

    void soundsKeywordsAndHelp()
    {
        const ChatSettings &s = w->session.settings();
        w->session.set(&ChatSettings::pageSound, "/opt/hchat/Media/Notify.wav");
        const QString longPath = "/elsewhere/" + QString(90, 'x') + ".wav"; // longer than a box holds
        w->session.set(&ChatSettings::pmSound, longPath);
        QString opened;
        open();
        dlg->openAddress = [&opened](const QString &url) { opened = url; };
        QCOMPARE(dlg->edtPage->text(), QStringLiteral("Media/Notify.wav"));
        QTest::mouseClick(dlg->btnHelp, Qt::LeftButton);
        QCOMPARE(opened, QStringLiteral("http://127.0.0.1:8080/help/chat"));

        // Browse puts the file in the box; play plays what the box names.
        dlg->chooseSound = [](const QString &) { return QStringLiteral("/opt/hchat/Media/Ding.wav"); };
        QTest::mouseClick(dlg->soundBrowse(ProfileEditor::LinkSound), Qt::LeftButton);
        QCOMPARE(dlg->edtLink->text(), QStringLiteral("Media/Ding.wav"));
        QTest::mouseClick(dlg->soundTest(ProfileEditor::LinkSound), Qt::LeftButton);
        QCOMPARE(w->sink.texts("Notify"), QStringList{"/opt/hchat/Media/Ding.wav"});

        dlg->edtKey->clear();
        type(dlg->edtKey, QString(100, 'k'));
        type(dlg->memKeyword, "halvex\nbuy | read\n\n sell=Media/Cash.wav ");
        closeDialog();
        QCOMPARE(s.linkSound, QStringLiteral("/opt/hchat/Media/Ding.wav"));
        QCOMPARE(s.keywordSound, "/opt/hchat/" + QString(80, 'k'));
        QCOMPARE(s.pmSound, longPath); // untouched: kept whole
        QCOMPARE(w->session.keywords(), (QStringList{"halvex", "buy|read", "sell=Media/Cash.wav"}));
    }

    // Chat Room tab.

    void roomWithoutAdministratorIsOpenToAll()
    {
        w->session.setRoomEntry(0, "<#>0</#><N>Vacant</N>");
        open();
        QVERIFY(dlg->edtCaption->isEnabled());
        QVERIFY(dlg->memBulletin->isVisibleTo(dlg->tab2));
        dlg->tabUser->setCurrentIndex(1);
        type(dlg->edtCaption, "New caption");
        // The site's own base is never an approved root.
        QLineEdit *root = dlg->cmbURLroot->lineEdit();
        type(root, "http://127.0.0.1:8080/");
        QTest::keyClick(root, Qt::Key_Tab);
        closeDialog();
        QCOMPARE(w->sent(27).size(), 1); // room 0 is "Vacant"
        QCOMPARE(w->sent(28).size(), 0); // nothing to ask
        const QStringList records = w->sent(7);
        QCOMPARE(records.size(), 1);
        QCOMPARE(GetS(records[0], "C"), QStringLiteral("New caption"));
        QCOMPARE(GetS(records[0], "V"), QStringLiteral("http://ok.example/"));
        QCOMPARE(GetS(records[0], "J"), QStringLiteral("Ann"));
        QCOMPARE(w->session.rooms().RoomField(2, Field::Caption), QStringLiteral("New caption"));
    }

    void wrongPasswordKeepsTheRoomLocked()
    {
        w->session.set(&ChatSettings::room, 1);
        open();
        dlg->tabUser->setCurrentIndex(1);
        QVERIFY(!dlg->edtCaption->isEnabled());
        QVERIFY(!dlg->memBulletin->isVisibleTo(dlg->tab2));
        QVERIFY(!dlg->edtAccess->placeholderText().isEmpty()); // set, but not ours to see
        type(dlg->edtSetup, "nope");
        QTest::keyClick(dlg->edtSetup, Qt::Key_Return);
        QVERIFY(dlg->isVisible()); // Enter asks, it does not close
        w->serverSays("<R>28</R><#>1</#><H>SB</H>");
        QCOMPARE(w->sent(28), QStringList{"<R>28</R><#>1</#><S>nope</S>"});
        QVERIFY(!dlg->edtCaption->isEnabled());
        QCOMPARE(dlg->lblUnlock->text(), QStringLiteral("The server refused this password."));
        // Leaving the box with the same guess does not spend another.
        w->wire.clear();
        dlg->edtSetup->setFocus();
        dlg->btnOK->setFocus();
        dlg->edtCaption->setText("sneaky"); // a locked field changed anyway
        closeDialog();
        QCOMPARE(w->sent(28).size(), 0);
        QCOMPARE(w->sent(7).size(), 0);
        QCOMPARE(w->session.rooms().RoomField(1, Field::Caption), QStringLiteral("Old caption"));
    }

    void rightPasswordUnlocksWithTheWholeRecord()
    {
        w->session.set(&ChatSettings::room, 1);
        open();
        dlg->tabUser->setCurrentIndex(1);
        type(dlg->edtSetup, "sec_ret");
        dlg->btnOK->setFocus(); // leaving the box asks
        w->serverSays(kWhole1);
        QCOMPARE(w->sent(28), QStringList{"<R>28</R><#>1</#><S>secret</S>"});
        QVERIFY(dlg->edtCaption->isEnabled());
        QCOMPARE(dlg->edtAccess->text(), QStringLiteral("entry"));
        // The room list never keeps the passwords.
        QVERIFY(!w->session.rooms().entry(1).contains("secret"));
        QVERIFY(!w->session.rooms().entry(1).contains("entry"));
        dlg->edtAccess->clear();
        type(dlg->edtAccess, "new_pass");
        dlg->memWelcome->clear();
        type(dlg->memWelcome, "Hi\nall");
        closeDialog();
        const QStringList records = w->sent(7);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0],
                 QStringLiteral("<R>7</R><#>1</#><N>Traders</N><S>secret</S><B>newpass</B><I>3</I>"
                                "<C>Old caption</C><M>Hi||all</M><J>Ann</J>"));
        QCOMPARE(w->session.PassField(1, Field::AdminPassword), QStringLiteral("secret"));
        QCOMPARE(w->session.PassField(1, Field::AccessPassword), QStringLiteral("newpass"));
    }

    void lookingChangesNothing()
    {
        // Free: the placeholder caption; an icon and a server choice out of range.
        w->session.setRoomEntry(3, "<#>3</#><N>Vacant</N><I>70</I><P>9</P>");
        w->session.set(&ChatSettings::room, 3);
        open();
        closeDialog();
        QCOMPARE(w->sent(7).size(), 0);
        open();
        type(dlg->memWelcome, "Hi"); // what nobody edited goes as it came
        closeDialog();
        QCOMPARE(w->sent(7),
                 QStringList{"<R>7</R><#>3</#><N>Vacant</N><I>70</I><P>9</P><M>Hi</M><J>Ann</J>"});
    }

    void hiddenAccessPasswordIsNeverCleared()
    {
        w->session.setRoomEntry(3, "<#>3</#><N>Club</N><H>B</H>");
        w->session.set(&ChatSettings::room, 3);
        for (const bool answered : {false, true}) {
            open();
            if (answered)
                w->serverSays("<R>28</R><#>3</#><N>Club</N><B>door</B><H>BA</H>");
            type(dlg->edtCaption, "x");
            closeDialog(); // unanswered, a record would clear it: none goes
            QCOMPARE(GetS(w->sent(7).value(0, "<B>none</B>"), "B"), QString(answered ? "door" : "none"));
        }
    }

    void staffProveThemselves()
    {
        w->session.set(&ChatSettings::nick, "Halvex Staff");
        w->session.setStaffMode(true);
        w->session.set(&ChatSettings::room, 1);
        open();
        // Opening asks at once; until the server confirms, staff are locked out.
        w->serverSays("<R>28</R><#>1</#><H>SB</H>");
        QCOMPARE(w->sent(28), QStringList{"<R>28</R><#>1</#>"});
        QVERIFY(dlg->btnReset->isVisibleTo(dlg->tab2));
        QVERIFY(!dlg->btnReset->isEnabled());
        QVERIFY(!dlg->edtName->isEnabled());
        type(dlg->edtSetup, "staffpw");
        QTest::keyClick(dlg->edtSetup, Qt::Key_Return);
        w->serverSays(QString(kWhole1).replace("<H>SBA</H>", "<H>SBAT</H>"));
        QVERIFY(dlg->edtName->isEnabled());
        QVERIFY(dlg->btnReset->isEnabled());
        // The box shows the room's password now, never keeps the staff one.
        QCOMPARE(dlg->edtSetup->text(), QStringLiteral("secret"));
        QCOMPARE(w->session.PassField(1, Field::AdminPassword), QStringLiteral("secret"));
        QTest::mouseClick(dlg->btnReset, Qt::LeftButton);
        QCOMPARE(dlg->edtName->text(), QStringLiteral("Available by Request"));
        QCOMPARE(dlg->edtCaption->text(), QString());
        closeDialog();
        QCOMPARE(w->sent(21), QStringList{"<R>21</R><#>1</#>"});
        const QStringList records = w->sent(7);
        QCOMPARE(records.size(), 1);
        QCOMPARE(GetS(records[0], "N"), QStringLiteral("Available by Request"));
        QCOMPARE(GetS(records[0], "S"), QString());
    }

    void resetIsStaffOnly()
    {
        open();
        QVERIFY(!dlg->btnReset->isVisibleTo(dlg->tab2));
    }

    void roomIconList_data()
    {
        QTest::addColumn<bool>("staff");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("count");
        QTest::newRow("member") << false << 5 << 63;
        QTest::newRow("staff") << true << 5 << 65;
        QTest::newRow("icon above the list") << false << 80 << 81;
    }
    void roomIconList()
    {
        QFETCH(bool, staff);
        QFETCH(int, icon);
        QFETCH(int, count);
        w->session.setStaffMode(staff);
        w->session.setRoomEntry(2, QStringLiteral("<#>2</#><N>Open</N><I>%1</I>").arg(icon));
        open();
        QCOMPARE(dlg->cmbIcon->count(), count);
        QCOMPARE(dlg->cmbIcon->currentIndex(), icon);
        QCOMPARE(dlg->cmbIcon->itemText(icon), QStringLiteral(" %1").arg(icon));
        type(dlg->edtCaption, "x");
        closeDialog();
        QCOMPARE(GetI(w->sent(7).value(0), "I"), icon); // kept, not cut to the list
    }

    void bulletin_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("erase");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("sent");
        const QString big(9000, 'b');
        QTest::newRow("9000 characters") << big << false << false << QString(8000, 'b');
        QTest::newRow("erase, cancelled") << QString() << true << false << QString();
        QTest::newRow("erase") << QString() << true << true << "";
        QTest::newRow("lines") << "a\nb" << false << false << "a||b";
    }
    void bulletin()
    {
        QFETCH(QString, typed);
        QFETCH(bool, erase);
        QFETCH(bool, confirm);
        QFETCH(QString, sent);
        open();
        // The bulletin the server sends shows without counting as an edit.
        w->serverSays("<R>20</R><#>2</#><M>Old||news</M>");
        QCOMPARE(dlg->memBulletin->toPlainText(), QStringLiteral("Old\nnews"));
        QCOMPARE(dlg->lblCount->text(), QStringLiteral("9 characters"));
        if (!typed.isEmpty())
            dlg->memBulletin->setPlainText(typed);
        if (erase) {
            dlg->confirmErase = [confirm] { return confirm; };
            QTest::mouseDClick(dlg->memBulletin->viewport(), Qt::LeftButton);
            QCOMPARE(dlg->memBulletin->toPlainText(), confirm ? QString() : QStringLiteral("Old\nnews"));
        }
        w->wire.clear();
        closeDialog();
        const QStringList records = w->sent(9);
        if (sent.isNull()) {
            QCOMPARE(records.size(), 0);
            return;
        }
        QCOMPARE(records.size(), 1);
        QCOMPARE(GetS(records[0], "M").replace("\r\n", "||"), sent);
        // Kind 0 goes first: the bulletin travels in a poll of its own.
        QCOMPARE(w->kinds().indexOf(9), w->kinds().size() - 1);
    }

    void roomPastTheListSendsNothing()
    {
        w->session.set(&ChatSettings::room, 7);
        open();
        QVERIFY(dlg->edtCaption->isEnabled());
        type(dlg->edtCaption, "nowhere");
        closeDialog();
        QCOMPARE(w->sent(7).size(), 0);
        QCOMPARE(w->session.rooms().count(), 3);
    }
};

QTEST_MAIN(TestTfrmChatProp)
#include "tst_tfrmchatprop.moc"
