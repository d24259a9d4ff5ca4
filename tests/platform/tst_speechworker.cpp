#include "platform/speechworker.h"

#include <QtTest>

using namespace hchat;

// The real engine: the speech plugin is among the packages the program
// needs, so a missing engine is a failure here, not a reason to skip.
class TstSpeechWorker : public QObject
{
    Q_OBJECT
private slots:
    void startCreatesTheVoiceOnce();
    void realEngineSpeaks();
};

void TstSpeechWorker::startCreatesTheVoiceOnce()
{
    QStringList log;
    const QDateTime t(QDate(2024, 5, 1), QTime(10, 11, 12));
    {
        SpeechWorker w([&](const QString &line) { log << line; }, [&] { return t; });
        QVERIFY2(w.start(), qPrintable(log.value(0)));
        QCOMPARE(log, QStringList{"Speak Created  10:11:12"});
        QVERIFY(w.start()); // once only
        QCOMPARE(log.size(), 1);
        for (int i = 0; i < 50; ++i) // more than the queue holds
            w.say(QString("line %1").arg(i));
    } // stops the thread cleanly, speaking or not
}

void TstSpeechWorker::realEngineSpeaks()
{
    SpeechWorker w;
    QVERIFY(w.start());
    QSignalSpy started(&w, &SpeechWorker::speakingStarted);
    QSignalSpy failed(&w, &SpeechWorker::speakingFailed);
    w.say(QStringLiteral("Halvex Chat"));
    QTRY_VERIFY_WITH_TIMEOUT(started.count() + failed.count() > 0, 20000);
    // Without a sound card (a build machine) the engine still has to be
    // there and say that it could not play.
    if (!failed.isEmpty())
        QVERIFY2(failed.first().at(1).toBool(), qPrintable(failed.first().at(0).toString()));

    // After a failure the next line is a new try, not stuck behind the last.
    const qsizetype before = started.count() + failed.count();
    w.say(QStringLiteral("again"));
    QTRY_VERIFY_WITH_TIMEOUT(started.count() + failed.count() > before, 20000);
}

QTEST_MAIN(TstSpeechWorker)
#include "tst_speechworker.moc"
