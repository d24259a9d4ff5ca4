#include "app/tfrmpm.h"
#include "chat/chatsession.h"
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
        s->sink = &sink;
        s->sender = [this](int kind, const QString &data) { sent.append({kind, data}); };
        s->settings.nick = "Ann";
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

    void blockedMessagesOpenNothing()
    {
        s->settings.blockPM = true;
        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><M>hi</M>");
        QVERIFY(!TfrmPM::find(*s, "Bob", "BOBBOBBO#"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.at(0).first, 3);
        QVERIFY(sent.at(0).second.contains("<M>I am not accepting PMs now because I am busy.</M>"));
    }
};

QTEST_MAIN(TestTfrmPM)
#include "tst_tfrmpm.moc"
