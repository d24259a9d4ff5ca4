#pragma once

#include "transcript/speaker.h"

#include <QDateTime>
#include <QObject>
#include <QThread>

#include <functional>

namespace hchat {

/// The speech voice on a thread of its own, so that reading a line aloud
/// never holds up the window. Lines queue up and are read in order.
class SpeechWorker : public QObject, public Speaker
{
    Q_OBJECT
public:
    using Log = std::function<void(const QString &)>;

    /// log receives the debug log lines of start(); now stamps them.
    explicit SpeechWorker(
        Log log = {}, std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); },
        QObject *parent = nullptr);
    ~SpeechWorker() override;

    /// Starts the thread and creates the voice on it; notes "Speak Created  "
    /// and the time, or "Speak Create Exception  " and the error. Returns
    /// whether a voice is there to speak.
    bool start();

    void say(const QString &text) override;

    /// Lines waiting beyond this many are dropped: a flood of alerts must not
    /// keep the voice talking for minutes.
    static constexpr int kMaxQueued = 20;

signals:
    /// The voice began reading a line.
    void speakingStarted();
    /// The voice could not read a line. playback: the engine is there but the
    /// sound could not be played (no audio device, say). The lines waiting
    /// are dropped; the next line tries again.
    void speakingFailed(const QString &reason, bool playback);

private:
    Log m_log;
    std::function<QDateTime()> m_now;
    QThread m_thread;
    QObject *m_voice = nullptr; // lives on m_thread
    bool m_ready = false;
};

} // namespace hchat
