#include "app/tfrmpm.h"
#include "chat/chatsession.h"
#include "chat/waitingconversations.h"
#include "support/fakesink.h"

#include <QPlainTextEdit>
#include <QTest>
#include <QTextEdit>

using namespace hchat;
using hchat::test::FakeSink;

class TestTfrmPM : public QObject
{
    Q_OBJECT

    ChatSession *s = nullptr;
    QWidget *owner = nullptr;
    FakeSink sink;
    QList<QPair<int, QString>> sent;

private slots:
    void init()
    {
        s = new ChatSession;
        owner = new QWidget;
        sink.clear();
        sent.clear();
        s->setSink(&sink);
        s->setSender([this](int kind, const QString &data) { sent.append({kind, data}); });
        s->set(&ChatSettings::nick, "Ann");
        TfrmPM::route(*s, owner);
    }
    void cleanup()
    {
        delete owner; // closes the windows it owns
        delete s;
    }

    void arrivingMessageOpensOneWindowPerCorrespondent()
    {
        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><F>255</F><M>hi</M>");
        TfrmPM *bob = TfrmPM::find(*s, "Bob", "BOBBOBBO#");
        QVERIFY(bob);
        QVERIFY(bob->memRich->isReadOnly());
        QCOMPARE(bob->memRich->toPlainText(), QString("Bob:  hi"));

        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO$</E><M>still me</M>"); // reconnected
        s->dispatch(3, "<R>3</R><N>Cy</N><E>CYCYCYCY#</E><M>hello</M>");
        QCOMPARE(TfrmPM::find(*s, "Bob", "BOBBOBBO$"), bob);
        QCOMPARE(bob->memRich->toPlainText(), QString("Bob:  hi\nBob:  still me"));
        TfrmPM *cy = TfrmPM::find(*s, "Cy", "CYCYCYCY#");
        QVERIFY(cy && cy != bob);
        QCOMPARE(cy->memRich->toPlainText(), QString("Cy:  hello"));
        QCOMPARE(owner->findChildren<TfrmPM *>().size(), 2);
    }

    void enterSendsFromTheWindow()
    {
        TfrmPM *bob = TfrmPM::Open(*s, "Bob", "BOBBOBBO#", owner);
        QCOMPARE(TfrmPM::Open(*s, "Bob", "BOBBOBBO#", owner), bob);
        QTest::keyClicks(bob->memPM, "see");
        QTest::keyClick(bob->memPM, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(bob->memPM, "you");
        QTest::keyClick(bob->memPM, Qt::Key_Return);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).first, 3);
        QCOMPARE(sent.at(0).second, QString("<N>Bob</N><E>BOBBOBBO#</E><M>see||you</M>"));
        QCOMPARE(bob->memRich->toPlainText(), QString("Ann:  see\nyou"));
        QVERIFY(bob->memPM->toPlainText().isEmpty());

        // Too long for one datagram: refused with a notice, the text kept.
        const QString big(9000, 'x');
        bob->memPM->setPlainText(big);
        QTest::keyClick(bob->memPM, Qt::Key_Return);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(bob->memPM->toPlainText(), big);
        QVERIFY(bob->memRich->toPlainText().contains("too long"));
    }

    void manySendersOpenOnlyAFewWindows()
    {
        // 1,000 senders, one line each, and more lines from one who waits.
        const auto pm = [this](int i, const QString &text) {
            const QString id = QStringLiteral("S%1").arg(i, 7, 10, QChar('0')) + '#';
            s->dispatch(3, QStringLiteral("<R>3</R><N>Spam%1</N><E>%2</E><M>%3</M>").arg(i).arg(id, text));
        };
        for (int i = 0; i < 1000; ++i)
            pm(i, "hi");
        for (int n = 0; n < 60; ++n)
            pm(10, QStringLiteral("line %1").arg(n));
        const int most = WaitingConversations::maxOpenWindows;
        QCOMPARE(owner->findChildren<TfrmPM *>().size(), most);
        QCOMPARE(s->privateMessages().waitingCount(), WaitingConversations::maxConversations);
        // Each window that opened by itself was told of once in the room.
        QStringList notices = sink.texts("ShowMessage");
        const QStringList opened = notices.filter("its window is open beside this one");
        QCOMPARE(opened.size(), most);
        notices.removeIf([](const QString &n) { return n.contains("its window is open beside this one"); });
        QVERIFY(notices.first().startsWith("Private message from Spam10 is waiting: press Ctrl+Shift+P"));
        QVERIFY(notices.last().startsWith("Private message from Spam999 was dropped"));

        // A window closed makes room for a new conversation, not for one that waits.
        delete owner->findChildren<TfrmPM *>().first();
        pm(10, "still waiting");
        QCOMPARE(owner->findChildren<TfrmPM *>().size(), most - 1);
        pm(5000, "new");
        QCOMPARE(owner->findChildren<TfrmPM *>().size(), most);

        // On demand: the longest waiting first, its latest lines kept.
        TfrmPM *first = TfrmPM::OpenWaiting(*s, owner);
        QVERIFY(first);
        QCOMPARE(first->nick(), QString("Spam10"));
        const QStringList shown = first->memRich->toPlainText().split('\n');
        QCOMPARE(shown.size(), WaitingConversations::maxLines + 1);
        QCOMPARE(shown.first(), QString("(12 earlier lines were not kept)"));
        QCOMPARE(shown.last(), QString("Spam10:  still waiting"));
        // Asking for a member who waits shows what waited.
        TfrmPM *eleven = TfrmPM::Open(*s, "Spam11", "S0000011#", owner);
        QCOMPARE(eleven->memRich->toPlainText(), QString("Spam11:  hi"));
        QCOMPARE(s->privateMessages().waitingCount(), WaitingConversations::maxConversations - 2);
    }

    void blockedMessagesOpenNothing()
    {
        s->set(&ChatSettings::blockPM, true);
        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><M>hi</M>");
        QVERIFY(!TfrmPM::find(*s, "Bob", "BOBBOBBO#"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).first, 3);
        QVERIFY(sent.at(0).second.contains("<M>I am not accepting PMs now because I am busy.</M>"));
    }
};

QTEST_MAIN(TestTfrmPM)
#include "tst_tfrmpm.moc"
