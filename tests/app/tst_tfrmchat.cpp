#include "app/inifile.h"
#include "app/tfrmchat.h"
#include "app/tfrmpm.h"
#include "support/chatwindowparts.h"
#include "transcript/transcriptsink.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

using namespace hchat;

class TestTfrmChat : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    StartOptions options() const { return StartOptions::inFolder(m_dir.path()); }
    QString iniValue(const QString &key) const
    {
        IniFile ini;
        ini.load(m_dir.path() + "/ChatLog/Halvex.ini");
        return ini.value("Chat", key).value_or(QString());
    }
    // Settings for the next window; the server is one nobody answers on.
    void writeIni(const QByteArray &keys) const
    {
        QDir().mkpath(m_dir.path() + "/ChatLog");
        QFile f(m_dir.path() + "/ChatLog/Halvex.ini");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Chat]\nServer0=127.0.0.1:9\n" + keys + "\n");
    }
    static void showActive(QWidget &w)
    {
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
    }
    static bool atEnd(QTextEdit *t)
    {
        const QScrollBar *bar = t->verticalScrollBar();
        return bar->maximum() > 0 && bar->value() == bar->maximum();
    }

private slots:
    void init() { QDir(m_dir.path() + "/ChatLog").removeRecursively(); }

    void windowHasItsParts()
    {
        TfrmChat w(options(), 300);
        QCOMPARE(w.windowTitle(), QStringLiteral("Halvex Chat"));
        QVERIFY(w.findChild<QTextEdit *>("memRich"));
        QVERIFY(w.findChild<QTextEdit *>("memRich2"));
        QVERIFY(w.findChild<QWidget *>("pnlWeb"));
        QVERIFY(w.findChild<QWidget *>("lstMembers"));
        QVERIFY(w.findChild<QWidget *>("memText"));
        QCOMPARE(tmrChat(w)->interval(), 500);
        QVERIFY(memRich(w)->isReadOnly());
        // First start: second room off, members and web pane on.
        w.show();
        QVERIFY(!memRich2(w)->isVisible());
        QVERIFY(pnlRight(w)->isVisible());
        QVERIFY(pnlWeb(w)->isVisible());
    }

    void eachViewToggleChangesItsKey_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("key");
        QTest::newRow("image") << "mnuPUChatImage"
                               << "Image";
        QTest::newRow("list") << "mnuPUChatList"
                              << "List";
        QTest::newRow("2nd") << "mnuPUChat2nd"
                             << "2nd";
        QTest::newRow("time") << "mnuPUChatTime"
                              << "Time";
        QTest::newRow("arrive") << "mnuPUChatArrive"
                                << "Arrive";
        QTest::newRow("depart") << "mnuPUChatDepart"
                                << "Depart";
        QTest::newRow("log") << "mnuPUChatLog"
                             << "Log";
        QTest::newRow("read") << "mnuPUChatRead"
                              << "Read";
        QTest::newRow("pm") << "mnuPUChatPM"
                            << "PM";
        QTest::newRow("color") << "mnuPUChatColor"
                               << "Color";
        QTest::newRow("horizontal") << "mnuPUChatHorz"
                                    << "Horizontal";
        QTest::newRow("on top") << "mnuPUChatTop"
                                << "StayOnTop";
    }
    void eachViewToggleChangesItsKey()
    {
        QFETCH(QString, action);
        QFETCH(QString, key);
        QString before;
        {
            TfrmChat w(options(), 300);
            w.close();
            before = iniValue(key);
        }
        {
            TfrmChat w(options(), 300);
            auto *a = w.findChild<QAction *>(action);
            QVERIFY(a);
            QVERIFY(a->isCheckable());
            QCOMPARE(a->isChecked(), before == "1");
            a->trigger();
            w.close();
        }
        QCOMPARE(iniValue(key), before == "1" ? QStringLiteral("0") : QStringLiteral("1"));
        // And the next window starts with the menu in step with the file.
        TfrmChat w(options(), 300);
        QCOMPARE(w.findChild<QAction *>(action)->isChecked(), before != "1");
    }

    void togglesShowAndHidePanes()
    {
        TfrmChat w(options(), 300);
        w.show();
        mnuPUChat2nd(w)->trigger();
        QVERIFY(memRich2(w)->isVisible());
        mnuPUChatList(w)->trigger();
        QVERIFY(!pnlRight(w)->isVisible());
        mnuPUChatHorz(w)->trigger();
        QCOMPARE(splMain(w)->orientation(), Qt::Horizontal);
        mnuPUChatImage(w)->trigger();
        QVERIFY(!pnlWeb(w)->isVisible());
    }

    void extremeSettingsStillStart_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::newRow("huge rooms") << QByteArray("Room=2000000\nRoom2=2147483647");
        QTest::newRow("huge window") << QByteArray("Width=100000\nHeight=100000");
        QTest::newRow("far away, no size")
            << QByteArray("Width=-100000\nHeight=0\nLeft=2147483647\nTop=2147483647");
    }
    void extremeSettingsStillStart()
    {
        QFETCH(QByteArray, keys);
        writeIni(keys);
        TfrmChat w(options(), 300);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect screen = w.screen()->availableGeometry();
        QVERIFY2(w.width() <= screen.width() && w.height() <= screen.height(), qPrintable(keys));
        QVERIFY(w.width() >= qMin(200, screen.width()) && w.height() >= qMin(150, screen.height()));
        QVERIFY(screen.intersects(w.frameGeometry()));
        QVERIFY(w.session().settings().room <= Rooms::maxRoom &&
                w.session().settings().room2 <= Rooms::maxRoom);
        QVERIFY(cmbRoom1(w)->count() <= Rooms::maxRoom + 1);
    }

    void windowOpensWhereItWasLeft()
    {
        writeIni("Left=120\nTop=90\nWidth=620\nHeight=410");
        for (int run = 0; run < 3; ++run) {
            TfrmChat w(options(), 300);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(w.pos(), QPoint(120, 90));
            QCOMPARE(w.size(), QSize(620, 410));
            w.close();
        }
        QCOMPARE(iniValue("Left"), QStringLiteral("120"));
        QCOMPARE(iniValue("Top"), QStringLiteral("90"));
    }

    void paneSizesAreTheUsers()
    {
        writeIni("2nd=1\n2ndWidth=150\nListWidth=120\nSize=100\nWidth=760\nHeight=560\nLeft=0\nTop=0");
        QList<int> dragged;
        {
            TfrmChat w(options(), 300);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(splChat(w)->sizes().mid(1), (QList<int>{150, 120}));
            QVERIFY(splMain(w)->sizes().first() < 60); // the web pane's bar until the first page
            // The user drags the handle between the rooms 40 pixels left.
            QSplitterHandle *handle = splChat(w)->handle(1);
            const QPoint grip = handle->rect().center();
            QTest::mousePress(handle, Qt::LeftButton, {}, grip);
            QTest::mouseMove(handle, grip - QPoint(40, 0));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(40, 0));
            dragged = splChat(w)->sizes();
            QCOMPARE(dragged.at(1), 190);
            // View toggles, a room change, the second room hidden and shown:
            // the user's sizes stay.
            mnuPUChatArrive(w)->trigger();
            mnuPUChatHorz(w)->trigger();
            mnuPUChatHorz(w)->trigger();
            w.session().roomHandling().setFirstRoom(2);
            mnuPUChat2nd(w)->trigger();
            mnuPUChat2nd(w)->trigger();
            QCoreApplication::processEvents();
            QCOMPARE(splChat(w)->sizes().mid(1), dragged.mid(1));
            w.close();
        }
        QCOMPARE(iniValue("2ndWidth"), QString::number(dragged.value(1)));
        QCOMPARE(iniValue("ListWidth"), QString::number(dragged.value(2)));
    }

    void transcriptStaysAtItsEndThroughLayoutChanges()
    {
        writeIni("Width=700\nHeight=500\nLeft=0\nTop=0");
        TfrmChat w(options(), 300);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TranscriptSink *sink = w.session().sink();
        for (int i = 0; i < 120; ++i)
            sink->TimeStamp(QStringLiteral("Bob:  line %1 ").arg(i) + QString("word ").repeated(14));
        QVERIFY(atEnd(memRich(w)));
        // Showing the second room narrows the first: its lines wrap anew.
        mnuPUChat2nd(w)->trigger();
        QCoreApplication::processEvents();
        sink->setOwnMessage(true);
        sink->TimeStamp("Ann:  my own line");
        QCoreApplication::processEvents();
        QVERIFY(atEnd(memRich(w)));
        w.resize(560, 420);
        QCoreApplication::processEvents();
        QVERIFY(atEnd(memRich(w)));
        // A reader who scrolled up stays where they are.
        QScrollBar *bar = memRich(w)->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        const int held = bar->value();
        w.resize(600, 440);
        sink->TimeStamp("Bob:  more");
        QCoreApplication::processEvents();
        QVERIFY(bar->value() <= held + 60 && !atEnd(memRich(w)));
    }

    void newLinesStayOutOfTheSelection()
    {
        TfrmChat w(options(), 300);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TranscriptSink *sink = w.session().sink();
        for (int i = 0; i < 5; ++i)
            sink->TimeStamp(QStringLiteral("Bob:  line %1").arg(i));
        sink->TimeStamp("Bob:  the last word");
        QVERIFY(!memRich(w)->textCursor().hasSelection()); // lines alone select nothing
        // The reader double-clicks the last word.
        QTextCursor end(memRich(w)->document());
        end.movePosition(QTextCursor::End);
        end.movePosition(QTextCursor::Left);
        const QPoint at = memRich(w)->cursorRect(end).center();
        QTest::mouseDClick(memRich(w)->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(memRich(w)->textCursor().selectedText(), QString("word"));
        sink->TimeStamp("Bob:  more");
        sink->ShowMessage("a notice", false, true);
        QCOMPARE(memRich(w)->textCursor().selectedText(), QString("word"));
        // A click elsewhere ends the selection; later lines start none.
        QTest::mouseClick(memRich(w)->viewport(), Qt::LeftButton, {}, QPoint(4, 4),
                          QApplication::doubleClickInterval() + 50);
        QVERIFY(!memRich(w)->textCursor().hasSelection());
        sink->TimeStamp("Bob:  and more");
        QVERIFY(!memRich(w)->textCursor().hasSelection());
    }

    void iconShortcutsWorkFromTheEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("listShown");
        for (const IconMenuEntry &e : MemberActions::iconMenu())
            QTest::newRow(qPrintable(e.shortcut + " " + e.caption)) << e.name << true;
        QTest::newRow("gn with the members list hidden") << "mnuAway" << false;
    }
    void iconShortcutsWorkFromTheEntry()
    {
        QFETCH(QString, entry);
        QFETCH(bool, listShown);
        IconMenuEntry e;
        for (const IconMenuEntry &x : MemberActions::iconMenu())
            if (x.name == entry)
                e = x;
        writeIni(listShown ? "List=1\nIcon=0" : "List=0\nIcon=0");
        TfrmChat w(options(), 300);
        tmrChat(w)->stop();
        w.session().setIcon(7); // none of the menu's icons
        showActive(w);
        memText(w)->setFocus();
        QTest::keyClicks(memText(w), "hello");
        const QKeyCombination key = QKeySequence(e.shortcut)[0];
        QTest::keyClick(memText(w), key.key(), key.keyboardModifiers());
        switch (e.kind) {
        case IconMenuEntry::Kind::Away:
            QCOMPARE(w.session().awayCode(), e.value);
            break;
        case IconMenuEntry::Kind::Icon:
            QCOMPARE(w.session().currentIcon(), e.value);
            break;
        case IconMenuEntry::Kind::OwnIcon:
            QCOMPARE(w.session().currentIcon(), 0);
            break;
        }
        // The entry did not take the key for itself.
        QCOMPARE(memText(w)->toPlainText(), QString("hello"));
        QVERIFY(!memText(w)->textCursor().hasSelection());
    }

    void headingsNameTheRoomsAndSwapTakesTheHistory()
    {
        writeIni("2nd=1\nRoom=1\nRoom2=4");
        TfrmChat w(options(), 300);
        tmrChat(w)->stop();
        w.show();
        ChatSession &s = w.session();
        s.dispatch(7, "<R>7</R><#>1</#><N>Lobby</N>");
        s.dispatch(7, "<R>7</R><#>4</#><N>Desk</N>");
        QCOMPARE(lblRoom1(w)->text(), QString("Room 1 Lobby"));
        QCOMPARE(lblRoom2(w)->text(), QString("Room 4 Desk"));
        QVERIFY(lblRoom2(w)->isVisible());
        s.dispatch(1, "<R>1</R><F>1</F><#>1</#><M>Bob:  in the lobby</M>");
        s.dispatch(1, "<R>1</R><F>1</F><#>4</#><M>Cy:  at the desk</M>");
        btnSwap(w)->click();
        QCOMPARE(s.settings().room, 4);
        QCOMPARE(lblRoom1(w)->text(), QString("Room 4 Desk"));
        QCOMPARE(lblRoom2(w)->text(), QString("Room 1 Lobby"));
        QVERIFY(memRich(w)->toPlainText().endsWith("Cy:  at the desk"));
        QVERIFY(!memRich(w)->toPlainText().contains("lobby"));
        QVERIFY(memRich2(w)->toPlainText().endsWith("Bob:  in the lobby"));
    }

    void guestNickIsGivenNotAsked()
    {
        // The registered name is the desk's (487): the guest nick (512) is
        // used as it stands, though it holds a reserved word, on every start.
        writeIni("UserName=Halvex Desk");
        StartOptions o = options();
        o.installFolder = qEnvironmentVariable("HCHAT_BIN_DIR") + "/"; // the shipped catalogue
        for (int run = 0; run < 2; ++run) {
            TfrmChat w(o, 300);
            tmrChat(w)->stop();
            int asked = 0;
            w.askNick = [&](const QString &, const QString &, const QString &) {
                ++asked;
                return QString();
            };
            w.show();
            QCOMPARE(w.session().text(487), QString("Halvex Desk"));
            w.tmrChatTimer();
            QCOMPARE(w.session().settings().nick, QString("Halvex Guest"));
            QCOMPARE(asked, 0);
            w.close();
        }
        QCOMPARE(iniValue("UserName"), QString("Halvex Desk"));
    }

    void incomingPrivateMessageLeavesTheKeyboardAlone()
    {
        writeIni("Left=20\nTop=30\nWidth=300\nHeight=300");
        TfrmChat w(options(), 300);
        tmrChat(w)->stop();
        showActive(w);
        memText(w)->setFocus();
        QTest::keyClicks(memText(w), "half a li");
        w.session().dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO!</E><F>255</F><M>psst</M>");
        TfrmPM *pm = TfrmPM::find(w.session(), "Bob", "BOBBOBBO!");
        QVERIFY(pm && pm->isVisible());
        QTest::qWait(50); // activation is delivered later, if at all
        QCOMPARE(QApplication::activeWindow(), &w);
        QVERIFY(QApplication::focusWidget());
        QTest::keyClicks(QApplication::focusWidget(), "ne");
        QCOMPARE(memText(w)->toPlainText(), QString("half a line"));
        QVERIFY(pm->memPM->toPlainText().isEmpty());
        // On the screen, and told of in the room.
        QVERIFY(w.screen()->availableGeometry().contains(pm->geometry()));
        QVERIFY(memRich(w)->toPlainText().contains("Private message from Bob"));
    }

    void privateMessageWindowsCloseWithTheChat()
    {
        QPointer<TfrmPM> pm;
        {
            TfrmChat w(options(), 300);
            tmrChat(w)->stop();
            w.show();
            w.session().dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO!</E><F>255</F><M>psst</M>");
            pm = TfrmPM::find(w.session(), "Bob", "BOBBOBBO!");
            QVERIFY(pm && pm->isVisible());
            w.close();
            // Left open it would take lines nobody sends.
            QVERIFY(!pm || !pm->isVisible());
        }
        QTRY_VERIFY(pm.isNull());
    }

    void privateMessageWindowsOpenBeside_data()
    {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<int>("index");
        QTest::addColumn<QPoint>("expected");
        // On a 1920 x 1080 screen; the PM window is 420 x 300.
        QTest::newRow("room on the right") << QRect(100, 50, 800, 600) << 0 << QPoint(900, 50);
        QTest::newRow("right edge: on the left, the third steps")
            << QRect(1200, 50, 700, 600) << 2 << QPoint(732, 98);
        QTest::newRow("main low and off the screen") << QRect(-3000, 900, 800, 170) << 0 << QPoint(0, 780);
    }
    void privateMessageWindowsOpenBeside()
    {
        QFETCH(QRect, main);
        QFETCH(int, index);
        QFETCH(QPoint, expected);
        QCOMPARE(TfrmPM::placeBeside(main, QSize(420, 300), QRect(0, 0, 1920, 1080), index), expected);
    }

    void switchingTheLogOnQuietsAlerts()
    {
        TfrmChat w(options(), 300);
        tmrChat(w)->stop();
        w.session().setQuietPeriod(0);
        mnuPUChatLog(w)->trigger();
        QVERIFY(w.session().settings().autoLog);
        QCOMPARE(w.session().quietPeriod(), ChatSession::loggingQuietTicks);
        // And the logs say when they were opened.
        int opened = 0;
        const QDir logs(m_dir.path() + "/ChatLog");
        for (const QString &name : logs.entryList({"*.log"})) {
            QFile log(logs.filePath(name));
            QVERIFY(log.open(QIODevice::ReadOnly));
            opened += log.readAll().contains(" Open  ---") ? 1 : 0;
        }
        QCOMPARE(opened, 2); // the room's and the private messages'
    }

    void unknownServerHostIsReported()
    {
        StartOptions o = options();
        o.serverOverride = "no-such-host.invalid:5500";
        TfrmChat w(o, 300);
        tmrChat(w)->stop();
        QTRY_VERIFY_WITH_TIMEOUT(memRich(w)->toPlainText().contains("no-such-host.invalid can't be found"),
                                 20000);
    }

    void closeSavesGeometryOnce()
    {
        {
            TfrmChat w(options(), 300);
            w.show();
            w.resize(900, 650);
            w.close();
            w.FormClose(); // a second close must not write again or crash
        }
        QCOMPARE(iniValue("Width"), QStringLiteral("900"));
        QCOMPARE(iniValue("Height"), QStringLiteral("650"));
    }
};

QTEST_MAIN(TestTfrmChat)
#include "tst_tfrmchat.moc"
