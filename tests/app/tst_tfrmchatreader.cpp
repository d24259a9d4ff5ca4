// The window's reading aids and attention, driven through the real window:
// what the user sees in the title, the transcripts, the entry and the
// status line, and what reaches the desktop (urgency, notifications over a
// session bus of the test's own).
#include "app/chatservices.h"
#include "app/inifile.h"
#include "app/tfrmchat.h"
#include "app/tfrmpm.h"
#include "platform/desktopnotifier.h"
#include "platform/searchbar.h"
#include "platform/transcriptedit.h"
#include "platform/webviewerhost.h"
#include "support/chatwindowparts.h"
#include "support/notificationservice.h"
#include "transcript/transcriptrenderer.h"

#include <QAction>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

using namespace hchat;
using namespace hchat::test;

// Catches the desktop browser's links, so a test never starts one.
class BrowserStandIn : public QObject
{
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void openUrl(const QUrl &url) { opened << url.toString(); }
};

class TestTfrmChatReader : public QObject
{
    Q_OBJECT

    PrivateSessionBus m_bus; // before anything here looks for the session bus
    QTemporaryDir m_dir;
    int m_urgency = 0;

    std::unique_ptr<TfrmChat> window()
    {
        auto w = std::make_unique<TfrmChat>(StartOptions::inFolder(m_dir.path()), 300);
        tmrChat(*w)->stop(); // time is driven by hand here
        w->requestAttention = [this] { ++m_urgency; };
        ChatSession &s = w->session();
        s.set(&ChatSettings::nick, "Ann");
        s.set(&ChatSettings::room, 3);
        s.set(&ChatSettings::showTime, false);
        s.setOwnId("ANNANNAN!");
        w->show();
        return w;
    }
    // A page as the server sends it; each reply numbered anew (the link
    // drops a repeat of the last one).
    static void page(TfrmChat &w, const QString &from)
    {
        static int serial = 0;
        DatagramLink &link = w.session().connection().link();
        link.Send(0); // the link takes records only from the answer to a poll
        link.receive(QString("<R>0</R><K>%1</K><L>P</L><Y>%2</Y>\n<R>4</R><N>%3</N>\n")
                         .arg(link.sequence())
                         .arg(++serial)
                         .arg(from)
                         .toUtf8());
    }
    static void say(TfrmChat &w, const QString &nick, const QString &text)
    {
        w.session().dispatch(
            1, QString("<R>1</R><F>0</F><E>%1XXXXXXX#</E><N>%1</N><#>3</#><M>%1:  %2</M>").arg(nick, text));
    }
    // Another window takes the focus: ours is no longer the active one.
    static void lookAway(QWidget &elsewhere)
    {
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
    }
    static void lookBack(TfrmChat &w)
    {
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
    }

private slots:
    void init()
    {
        QDir(m_dir.path() + "/ChatLog").removeRecursively();
        m_urgency = 0;
    }

    void titleCountsWhatArrivesWhileAway()
    {
        auto w = window();
        lookBack(*w);
        say(*w, "Bob", "hello");
        QCOMPARE(w->windowTitle(), QStringLiteral("Halvex Chat"));

        QWidget elsewhere;
        lookAway(elsewhere);
        say(*w, "Bob", "one");
        say(*w, "Carol", "two");
        w->session().sink()->ShowMessage("Dan has arrived", false, true); // a notice is not news
        say(*w, "Bob", "three");
        QCOMPARE(w->windowTitle(), QStringLiteral("(3) Halvex Chat"));

        // Where the unread part begins, a line says so.
        const QTextBlock marker = w->transcript(false)->unreadMarker();
        QVERIFY(marker.isValid());
        QVERIFY(marker.text().endsWith("one"));

        lookBack(*w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Halvex Chat"));
        QCOMPARE(m_urgency, 0); // plain lines ask for no attention
    }

    void alertsReachTheDesktopWhileAway()
    {
        if (!m_bus.isRunning())
            QSKIP("dbus-daemon is not installed");
        NotificationStandIn desktop;
        QVERIFY(desktop.start(m_bus.address));
        auto w = window();
        w->session().setKeywords({"invoice"});
        lookBack(*w);

        // While the user is in the window nothing calls for them.
        page(*w, "Eve");
        QCOMPARE(m_urgency, 0);

        QWidget elsewhere;
        lookAway(elsewhere);
        page(*w, "Eve");
        QCOMPARE(m_urgency, 1);
        QTRY_COMPARE(desktop.shown.size(), 1);
        QCOMPARE(desktop.shown.at(0).summary, QStringLiteral("Eve pages you"));

        say(*w, "Bob", "the invoice is late");
        say(*w, "Carol", "Ann, are you there?");
        QCOMPARE(m_urgency, 3);
        QTRY_COMPARE(desktop.shown.size(), 3);
        QCOMPARE(desktop.shown.at(1).summary, QStringLiteral("Keyword in room 3"));
        QCOMPARE(desktop.shown.at(1).body, QStringLiteral("Bob:  the invoice is late"));
        QCOMPARE(desktop.shown.at(2).summary, QStringLiteral("You are mentioned in room 3"));

        // A private message; a click on its notification brings its window.
        w->session().dispatch(3, "<R>3</R><N>Fay</N><E>FAYFAYFA#</E><M>psst</M>");
        QTRY_COMPARE(desktop.shown.size(), 4);
        QCOMPARE(desktop.shown.at(3).summary, QStringLiteral("Private message from Fay"));
        TfrmPM *pm = TfrmPM::find(w->session(), "Fay", "FAYFAYFA#");
        QVERIFY(pm);
        pm->hide();
        QTRY_VERIFY(notifier(*w)->isShowing("pm:FAYFAYFA"));
        desktop.click(desktop.shown.at(3).id);
        QTRY_VERIFY(pm->isVisible());

        // Each kind can be switched off in the view menu, and stays so.
        mnuNotifyPage(*w)->trigger();
        QVERIFY(!w->session().settings().notifyPage);
        page(*w, "Eve");
        say(*w, "Bob", "another invoice"); // still on: the check that the page went nowhere
        QTRY_COMPARE(desktop.shown.size(), 5);
        QCOMPARE(desktop.shown.at(4).summary, QStringLiteral("Keyword in room 3"));
    }

    void attentionTogglesAreSaved_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("key");
        QTest::newRow("page") << "mnuNotifyPage"
                              << "NotifyPage";
        QTest::newRow("pm") << "mnuNotifyPM"
                            << "NotifyPM";
        QTest::newRow("keyword") << "mnuNotifyKeyword"
                                 << "NotifyKeyword";
        QTest::newRow("nick") << "mnuNotifyNick"
                              << "NotifyNick";
        QTest::newRow("highlight") << "mnuHighlightNick"
                                   << "HighlightNick";
    }
    void attentionTogglesAreSaved()
    {
        QFETCH(QString, action);
        QFETCH(QString, key);
        {
            TfrmChat w(StartOptions::inFolder(m_dir.path()), 300);
            auto *a = w.findChild<QAction *>(action);
            QVERIFY(a && a->isChecked()); // on from the first start
            QVERIFY(mnuPUChat(w)->actions().contains(a));
            a->trigger();
            w.close();
        }
        IniFile ini;
        ini.load(m_dir.path() + "/ChatLog/Halvex.ini");
        QCOMPARE(ini.value("Chat", key).value_or(QString()), QStringLiteral("0"));
        TfrmChat w(StartOptions::inFolder(m_dir.path()), 300);
        QVERIFY(!w.findChild<QAction *>(action)->isChecked());
    }

    void ctrlFSearchesTheTranscriptInUse()
    {
        auto w = window();
        lookBack(*w);
        for (int i = 0; i < 80; ++i)
            say(*w, i % 4 ? "Bob" : "Carol", QString("line %1").arg(i));
        memText(*w)->setFocus();
        QTest::keyClick(memText(*w), Qt::Key_F, Qt::ControlModifier);
        SearchBar *bar = w->transcript(false)->searchBar();
        QVERIFY(bar->isVisible());
        QVERIFY(bar->field->hasFocus());
        QTest::keyClicks(bar->field, "carol");
        QCOMPARE(bar->hits().size(), 20);
        QCOMPARE(memRich(*w)->extraSelections().size(), 20);
        QTest::keyClick(bar->field, Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(memText(*w)->hasFocus()); // back where the user types
    }

    void entryKeysScrollAndComplete()
    {
        auto w = window();
        lookBack(*w);
        for (int i = 0; i < 200; ++i)
            say(*w, "Bob", QString("line %1").arg(i));
        QScrollBar *bar = memRich(*w)->verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
        TranscriptRenderer *r = w->services().renderer();

        // The keys read back through the first room; the focus stays.
        memText(*w)->setFocus();
        QTest::keyClick(memText(*w), Qt::Key_PageUp);
        QVERIFY(bar->value() < bar->maximum());
        QVERIFY(!r->follows(false)); // a new line does not pull the reader down
        QVERIFY(w->transcript(false)->btnJump->isVisible());
        say(*w, "Bob", "while away up there");
        QVERIFY(bar->value() < bar->maximum());
        QVERIFY(w->transcript(false)->unreadMarker().text().endsWith("while away up there"));
        QTest::keyClick(memText(*w), Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(bar->value(), 0);
        QTest::keyClick(memText(*w), Qt::Key_PageDown);
        QVERIFY(bar->value() > 0);
        QTest::keyClick(memText(*w), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(r->follows(false));
        QVERIFY(memText(*w)->hasFocus());

        // Tab completes a nick of the members present.
        ChatSession &s = w->session();
        s.roster().DoUser("<R>5</R><E>BOBBOBBO#</E><N>Bob</N><I>5|1</I><#>3</#><W>-1</W>");
        s.roster().DoUser("<R>5</R><E>BILLBILL#</E><N>Bill</N><I>5|1</I><#>3</#><W>-1</W>");
        QTest::keyClicks(memText(*w), "b");
        QTest::keyClick(memText(*w), Qt::Key_Tab);
        QCOMPARE(memText(*w)->toPlainText(), QStringLiteral("Bill:  "));
        QTest::keyClick(memText(*w), Qt::Key_Tab);
        QCOMPARE(memText(*w)->toPlainText(), QStringLiteral("Bob:  "));
        QTest::keyClicks(memText(*w), "see bi");
        QTest::keyClick(memText(*w), Qt::Key_Tab);
        QCOMPARE(memText(*w)->toPlainText(), QStringLiteral("Bob:  see Bill"));
        QVERIFY(memText(*w)->hasFocus());
    }

    void manyLinesAskFirst()
    {
        auto w = window();
        QList<int> asked;
        bool answer = false;
        w->confirmLongText = [&](int lines, QWidget *) {
            asked << lines;
            return answer;
        };
        QStringList lines;
        for (int i = 1; i <= 11; ++i)
            lines << QString("log line %1").arg(i);
        memText(*w)->setPlainText(lines.join('\n') + '\n');
        QTest::keyClick(memText(*w), Qt::Key_Return);
        QCOMPARE(asked, QList<int>{11});
        QVERIFY(memText(*w)->toPlainText().startsWith("log line 1\n")); // kept, nothing sent
        QVERIFY(!memRich(*w)->toPlainText().contains("log line"));

        answer = true;
        QTest::keyClick(memText(*w), Qt::Key_Return);
        QVERIFY(memText(*w)->toPlainText().isEmpty());
        QVERIFY(memRich(*w)->toPlainText().contains("log line 11"));

        // Ten lines go out unasked.
        memText(*w)->setPlainText(lines.mid(0, 10).join('\n'));
        QTest::keyClick(memText(*w), Qt::Key_Return);
        QCOMPARE(asked.size(), 2);
        QVERIFY(memText(*w)->toPlainText().isEmpty());
    }

    void statusLineFollowsTheLink()
    {
        auto w = window();
        ChatSession &s = w->session();
        w->tmrChatTimer(); // announces us
        QCOMPARE(lblStatus(*w)->text(), QStringLiteral("Connecting to 127.0.0.1:5500…"));
        s.connection().link().receive("<R>0</R><K>1</K><Q>0</Q><L>AbC1</L>\n");
        w->tmrChatTimer();
        QCOMPARE(lblStatus(*w)->text(), QStringLiteral("Connected to 127.0.0.1:5500"));
        QVERIFY(lstMembers(*w)->isEnabled());

        s.setClock([] { return QDateTime(QDate(2024, 5, 1), QTime(14, 4, 59)); });
        w->tmrChatTimer();
        s.setClock([] { return QDateTime(QDate(2024, 5, 1), QTime(14, 5)); });
        for (int i = 0; i < 3 * DatagramLink::idlePoll; ++i)
            s.connection().link().tick();
        w->tmrChatTimer(); // three polls without an answer
        QCOMPARE(lblStatus(*w)->text(), QStringLiteral("No answer from the server since 14:04:59"));

        for (int i = 0; i <= DatagramLink::silenceLimit; ++i)
            s.connection().link().tick();
        w->tmrChatTimer();
        QVERIFY(
            lblStatus(*w)->text().startsWith("Connection to 127.0.0.1:5500 lost since 14:05; next try in "));
        QVERIFY(!lstMembers(*w)->isEnabled()); // greyed: these may be gone

        s.connection().link().receive("<R>0</R><K>1</K><Q>0</Q><L>AbC1</L>\n"); // the server answers again
        QCOMPARE(lblStatus(*w)->text(), QStringLiteral("Connected to 127.0.0.1:5500"));
        QVERIFY(lstMembers(*w)->isEnabled());

        s.set(&ChatSettings::nick, QString());
        w->tmrChatTimer();
        QCOMPARE(lblStatus(*w)->text(), QStringLiteral("Not connected: choose a nick in Properties"));
    }

    void linksOpenInThePaneOrTheBrowser()
    {
        BrowserStandIn browser;
        QDesktopServices::setUrlHandler("http", &browser, "openUrl");
        QDesktopServices::setUrlHandler("https", &browser, "openUrl");
        qputenv("HCHAT_NO_WEBENGINE", "1"); // the light pane does for this
        auto w = window();
        w->session().set(&ChatSettings::showLinks, false); // no opening by itself
        say(*w, "Bob", "see https://halvex.com/faq please");
        TranscriptEdit *t = w->transcript(false);
        QTextCursor at(t->document());
        at.setPosition(t->document()->lastBlock().position() +
                       int(t->document()->lastBlock().text().indexOf("halvex")));
        const QPoint onLink = t->cursorRect(at).center() + QPoint(2, 0);
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, onLink);
        QCOMPARE(w->services().web()->currentAddress(), QStringLiteral("https://halvex.com/faq"));

        mnuPUChatImage(*w)->trigger(); // the web pane hidden: the desktop's browser
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, onLink);
        QCOMPARE(browser.opened, QStringList{"https://halvex.com/faq"});
        QDesktopServices::unsetUrlHandler("http");
        QDesktopServices::unsetUrlHandler("https");
        qunsetenv("HCHAT_NO_WEBENGINE");

        // The context menu: the reader's commands, then the view's.
        emit t->customContextMenuRequested(onLink);
        auto *menu = w->findChild<QMenu *>("mnuTranscript");
        QVERIFY(menu);
        const QList<QAction *> items = menu->actions();
        for (const char *name : {"mnuCopy", "mnuSelectAll", "mnuCopyLink", "mnuFind", "mnuClear"})
            QVERIFY2(menu->findChild<QAction *>(name), name);
        QVERIFY(items.contains(mnuPUChatTime(*w)));
        QVERIFY(items.contains(mnuNotifyNick(*w)));
        menu->findChild<QAction *>("mnuClear")->trigger();
        QVERIFY(memRich(*w)->document()->isEmpty());
        QVERIFY(w->services().renderer()->follows(false));
        menu->close();
    }
};

QTEST_MAIN(TestTfrmChatReader)
#include "tst_tfrmchatreader.moc"
