#include "app/chatservices.h"
#include "app/tfrmchat.h"
#include "app/tfrmpm.h"
#include "catalogue/catalogue.h"
#include "platform/webviewerhost.h"
#include "support/chatwindowparts.h"
#include "support/fakesink.h"
#include "support/testsession.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

using namespace hchat;
using hchat::test::FakeSink;

class TestTfrmChatWiring : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeSink sink;
    QList<QPair<int, QString>> sent;
    Catalogue catalogue{hchat::test::catalogueLines(560, {{555, " is ignored"}, {556, " is accepted"}})};

    std::unique_ptr<TfrmChat> window()
    {
        auto w = std::make_unique<TfrmChat>(StartOptions::inFolder(m_dir.path()), 300);
        tmrChat(*w)->stop(); // time is driven by hand here
        ChatSession &s = w->session();
        hchat::test::wireSession(s, sink, &sent, &catalogue);
        s.set(&ChatSettings::nick, "Ann");
        s.setOwnId("ANNANNAN!");
        return w;
    }

private slots:
    void init()
    {
        sink.clear();
        sent.clear();
    }

    void enterSendsTheLineOnce()
    {
        auto w = window();
        w->session().set(&ChatSettings::room, 2);
        w->session().set(&ChatSettings::fontColor, 255);
        QTest::keyClicks(memText(*w), "hello");
        QTest::keyClick(memText(*w), Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(memText(*w), "you");
        QTest::keyClick(memText(*w), Qt::Key_Return);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).first, 1);
        QCOMPARE(sent.at(0).second, QString("<F>255</F><#>2</#><M>hello||you</M>"));
        QCOMPARE(sink.texts("TimeStamp"), QStringList({"Ann:  hello\r\nyou"}));
        QVERIFY(memText(*w)->toPlainText().isEmpty());
        // An empty Enter sends nothing; Up brings the line back.
        QTest::keyClick(memText(*w), Qt::Key_Return);
        QCOMPARE(sent.size(), 1);
    }

    void swapExchangesTheRooms()
    {
        auto w = window();
        const ChatSettings &s = w->session().settings();
        w->session().set(&ChatSettings::room, 1);
        w->session().set(&ChatSettings::room2, 4);
        w->session().set(&ChatSettings::showSecond, true);
        w->session().setRoomEntry(4, "<#>4</#><N>Lounge</N><C>Lounge talk</C>");
        w->session().dispatch(7, "<R>7</R><#>1</#><N>Help</N>");
        btnSwap(*w)->click();
        QCOMPARE(s.room, 4);
        QCOMPARE(s.room2, 1);
        QStringList kinds;
        for (const auto &x : sent)
            kinds << QString::number(x.first) + ':' + x.second;
        QCOMPARE(kinds, QStringList({"5:", "25:<#>4</#>", "25:<#>1</#><W>1</W>"}));
        QCOMPARE(cmbRoom1(*w)->currentIndex(), 4);
        QCOMPARE(cmbRoom1(*w)->currentText(), QString("4 Lounge"));
        QCOMPARE(cmbRoom2(*w)->currentIndex(), 1);
        QCOMPARE(lblCaption(*w)->text(), QString("Lounge talk"));
    }

    void chooserAndSecondRoomToggle()
    {
        auto w = window();
        const ChatSettings &s = w->session().settings();
        w->session().set(&ChatSettings::room, 0);
        w->session().set(&ChatSettings::room2, 3);
        w->session().dispatch(7, "<R>7</R><#>5</#><N>Five</N>");
        QCOMPARE(cmbRoom1(*w)->count(), 6);
        // A user's choice in the chooser (activated) changes the room.
        cmbRoom1(*w)->setCurrentIndex(5);
        emit cmbRoom1(*w)->activated(5);
        QCOMPARE(s.room, 5);
        QCOMPARE(sent.first().first, 50);

        sent.clear();
        mnuPUChat2nd(*w)->trigger();
        QVERIFY(s.showSecond);
        QVERIFY(mnuPUChat2nd(*w)->isChecked());
        QCOMPARE(sent.at(0).first, 5);
        QCOMPARE(sent.at(1).second, QString("<#>3</#><W>1</W>"));
    }

    void ignoreFromTheMemberButton()
    {
        auto w = window();
        ChatSession &s = w->session();
        s.set(&ChatSettings::room, 3);
        s.roster().DoUser("<R>5</R><E>BOBBOBBO#</E><N>Bob</N><I>5|1</I><#>3</#><W>-1</W>");
        if (!lstMembers(*w)->model()) {
            // Until the roster's own model is in place, any model with the row will do.
            auto *model = new QStandardItemModel(1, 1, w.get());
            lstMembers(*w)->setModel(model);
        }
        const QModelIndex bob = lstMembers(*w)->model()->index(0, 0);
        lstMembers(*w)->setCurrentIndex(bob);
        emit lstMembers(*w)->clicked(bob); // as the user's click does
        sink.clear();
        btnIgnore(*w)->click();
        QCOMPARE(s.ignoreList(), QStringList({"BOBBOBBO"}));
        QCOMPARE(s.roster().entry(0).icon, 30);
        QCOMPARE(sink.texts("ShowMessage"), QStringList({"Bob is ignored"}));
        QCOMPARE(btnIgnore(*w)->text(), QString("Accept"));
        btnIgnore(*w)->click();
        QVERIFY(s.ignoreList().isEmpty());
        QCOMPARE(sink.texts("ShowMessage").last(), QString("Bob is accepted"));
    }

    void roomWebButtonOpensNoLocalFile()
    {
        auto w = window();
        w->session().set(&ChatSettings::room, 0);
        w->session().set(&ChatSettings::web, QString());
        w->session().dispatch(7, "<R>7</R><#>0</#><N>Help</N><U>file:///etc/passwd</U>");
        btnWeb(*w)->click();
        QVERIFY(w->services().web()->currentAddress().isEmpty());
        QVERIFY(!btnWeb(*w)->toolTip().contains("file:"));
    }

    void privateMessagesOpenTheirWindow()
    {
        auto w = window();
        w->session().dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><M>psst</M>");
        TfrmPM *pm = TfrmPM::find(w->session(), "Bob", "BOBBOBBO#");
        QVERIFY(pm);
        // Stamped as the room's lines are.
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d Bob:  psst$")
                    .match(pm->memRich->toPlainText())
                    .hasMatch());

        // With PMs blocked the refusal goes back as kind 3.
        mnuPUChatPM(*w)->trigger();
        QVERIFY(w->session().settings().blockPM);
        w->session().dispatch(3, "<R>3</R><N>Cy</N><E>CYCYCYCY#</E><M>hi</M>");
        QVERIFY(!TfrmPM::find(w->session(), "Cy", "CYCYCYCY#"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).first, 3);
        QCOMPARE(
            sent.at(0).second,
            QString("<N>Cy</N><E>CYCYCYCY#</E><M>I am not accepting PMs now because I am busy.</M><A>1</A>"));
    }
};

QTEST_MAIN(TestTfrmChatWiring)
#include "tst_tfrmchatwiring.moc"
