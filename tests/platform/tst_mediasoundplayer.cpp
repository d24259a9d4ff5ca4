#include "platform/mediasoundplayer.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace hchat;

class TstMediaSoundPlayer : public QObject
{
    Q_OBJECT
private slots:
    void missingFileBeeps();
    void brokenFileBeeps_data();
    void brokenFileBeeps();
    void shippedSoundsAreWaves();
};

void TstMediaSoundPlayer::missingFileBeeps()
{
    MediaSoundPlayer p;
    int beeps = 0;
    p.beep = [&] { ++beeps; };
    p.play(QString()); // no sound chosen: silence
    QCOMPARE(beeps, 0);
    p.play("/no/such/file.wav");
    p.play("/no/such/file.mp3");
    QCOMPARE(beeps, 2);
}

void TstMediaSoundPlayer::brokenFileBeeps_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("wav") << "broken.wav";
    QTest::newRow("other") << "broken.mp3";
}

void TstMediaSoundPlayer::brokenFileBeeps()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QFile f(dir.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("this is not a sound at all");
    f.close();
    MediaSoundPlayer p;
    int beeps = 0;
    p.beep = [&] { ++beeps; };
    p.play(f.fileName());
    QTRY_VERIFY_WITH_TIMEOUT(beeps >= 1, 10000);
}

void TstMediaSoundPlayer::shippedSoundsAreWaves()
{
    // The defaults the settings point to must be there and be real RIFF/WAVE
    // files of modest size.
    const QString media = qEnvironmentVariable("HCHAT_BIN_DIR") + "/Media/";
    for (const char *n : {"Notify.wav", "TaDa.wav", "Chimes.wav", "Chord.wav"}) {
        QFile f(media + n);
        QVERIFY2(f.open(QIODevice::ReadOnly), n);
        const QByteArray head = f.read(12);
        QVERIFY(head.startsWith("RIFF") && head.mid(8, 4) == "WAVE");
        QVERIFY(f.size() < 60 * 1024);
    }
}

QTEST_MAIN(TstMediaSoundPlayer)
#include "tst_mediasoundplayer.moc"
