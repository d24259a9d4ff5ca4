#include "chat/chatsession.h"
#include "support/fakesink.h"
#include "support/testsession.h"

#include <QSignalSpy>
#include <QtTest>

using namespace hchat;
using hchat::test::FakeSink;
using Result = TextEntry::Result;

class TestPrivateMessages : public QObject
{
    Q_OBJECT

    ChatSession *s = nullptr;
    FakeSink sink;
    QList<QPair<int, QString>> sent;
    QStringList logged;

private slots:
    void init()
    {
        s = new ChatSession;
        hchat::test::wireSession(*s, sink, &sent);
        logged.clear();
        s->set(&ChatSettings::nick, "Ann");
        s->set(&ChatSettings::pmSound, "/media/TaDa.wav");
        s->privateMessages().pmAutoLog = [this](const QString &line) { logged << line; };
    }
    void cleanup() { delete s; }

    void arrivingMessage()
    {
        QSignalSpy arrived(&s->privateMessages(), &PrivateMessages::messageArrived);
        s->set(&ChatSettings::autoLog, true);
        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><F>255</F><M>psst||there</M>");
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(arrived.at(0).at(0).toString(), QString("Bob"));
        QCOMPARE(arrived.at(0).at(2).toString(), QString("Bob:  psst\r\nthere"));
        QCOMPARE(arrived.at(0).at(3).toInt(), 255);
        QCOMPARE(sink.texts("Notify"), QStringList({"/media/TaDa.wav"}));
        QCOMPARE(logged, QStringList({"Bob:  psst\r\nthere"}));
        QVERIFY(sent.isEmpty());
    }

    void blockedMessages_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QStringList>("answers");
        QTest::newRow("answered once")
            << "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><M>hi</M>"
            << QStringList{
                   "<N>Bob</N><E>BOBBOBBO#</E><M>I am not accepting PMs now because I am busy.</M><A>1</A>"};
        // Two blocking clients must not bounce refusals between them.
        QTest::newRow("automatic answer not answered") << "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><M>I am not "
                                                          "accepting PMs now because I am busy.</M><A>1</A>"
                                                       << QStringList{};
    }
    void blockedMessages()
    {
        QFETCH(QString, record);
        QSignalSpy arrived(&s->privateMessages(), &PrivateMessages::messageArrived);
        s->set(&ChatSettings::blockPM, true);
        s->dispatch(3, record);
        QStringList answers;
        for (const auto &x : sent) {
            QCOMPARE(x.first, 3);
            answers << x.second;
        }
        QTEST(answers, "answers");
        QCOMPARE(arrived.count(), 0);
        QCOMPARE(sink.count("Notify"), 0);
    }

    void ignoredSenderIsDropped()
    {
        QSignalSpy arrived(&s->privateMessages(), &PrivateMessages::messageArrived);
        s->ignore("BOBBOBBO", true);
        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><M>hi</M>");
        s->set(&ChatSettings::blockPM, true);
        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO#</E><M>hi</M>");
        QCOMPARE(arrived.count(), 0);
        QVERIFY(sent.isEmpty());
    }

    void sending()
    {
        QSignalSpy out(&s->privateMessages(), &PrivateMessages::messageSent);
        QCOMPARE(s->privateMessages().send("Bob", "BOBBOBBO#", "one\ntwo"), Result::Sent);
        QCOMPARE(sent.at(0).first, 3);
        QCOMPARE(sent.at(0).second, QString("<N>Bob</N><E>BOBBOBBO#</E><M>one||two</M>"));
        QCOMPARE(out.at(0).at(2).toString(), QString("Ann:  one\r\ntwo"));
        QCOMPARE(s->privateMessages().send("Bob", "BOBBOBBO#", "  \n"), Result::Empty);
        QCOMPARE(s->privateMessages().send("Bob", "BOBBOBBO#", QString(4100, 'x')), Result::TooLong);
        QCOMPARE(sent.size(), 1);
    }

    void refusedWhereItCouldNotLeave()
    {
        QString why;
        s->set(&ChatSettings::nick, QString());
        QCOMPARE(s->privateMessages().send("Bob", "BOBBOBBO#", "hi", &why), Result::Refused);
        QCOMPARE(why, TextEntry::noNickText());
        QVERIFY(sent.isEmpty());
    }

    void answersGoToTheLatestConnection()
    {
        // Bob reconnected: same prefix, another per-run character.
        s->dispatch(3, "<R>3</R><N>Bob</N><E>BOBBOBBO$</E><M>back</M>");
        QCOMPARE(PrivateMessages::correspondentKey("Bob", "BOBBOBBO#"), QString("BOBBOBBO"));
        s->privateMessages().send("Bob", "BOBBOBBO#", "welcome back");
        QCOMPARE(sent.last().second, QString("<N>Bob</N><E>BOBBOBBO$</E><M>welcome back</M>"));
    }
};

QTEST_GUILESS_MAIN(TestPrivateMessages)
#include "tst_privatemessages.moc"
