#include "platform/speechworker.h"

#include <QtTest>

using namespace hchat;

class TstSpeechWorker : public QObject
{
    Q_OBJECT
private slots:
    void startNotesTheOutcome();
};

void TstSpeechWorker::startNotesTheOutcome()
{
    QStringList log;
    const QDateTime t(QDate(2024, 5, 1), QTime(10, 11, 12));
    {
        SpeechWorker w([&](const QString &line) { log << line; }, [&] { return t; });
        const bool ready = w.start();
        qInfo() << log.value(0);
        QCOMPARE(log.size(), 1);
        if (ready)
            QCOMPARE(log.first(), QString("Speak Created  10:11:12"));
        else
            QVERIFY2(log.first().startsWith("Speak Create Exception  ") &&
                         log.first().size() > int(strlen("Speak Create Exception  ")),
                     qPrintable(log.first()));
        QCOMPARE(w.start(), ready); // once only
        QCOMPARE(log.size(), 1);
        for (int i = 0; i < 50; ++i) // more than the queue holds
            w.say(QString("line %1").arg(i));
    } // stops the thread cleanly, speaking or not
}

QTEST_MAIN(TstSpeechWorker)
#include "tst_speechworker.moc"
