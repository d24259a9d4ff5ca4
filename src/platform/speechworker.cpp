#include "platform/speechworker.h"

#include <QStringList>

#ifdef HCHAT_HAVE_SPEECH
#include <QTextToSpeech>
#endif

namespace hchat {

namespace {

#ifdef HCHAT_HAVE_SPEECH
// Owns the speech engine on the worker thread and reads queued lines one
// after the other.
class Voice : public QObject
{
public:
    std::function<void()> started;
    std::function<void(const QString &, bool)> failed;

    QString create()
    {
        const QStringList engines = QTextToSpeech::availableEngines();
        if (engines.isEmpty())
            return QStringLiteral("no speech engine installed");
        m_tts = new QTextToSpeech(this);
        // A missing audio device shows up as an error before anything is
        // said; the engine itself is fine and may find a device later.
        if (m_tts->state() == QTextToSpeech::Error &&
            m_tts->errorReason() != QTextToSpeech::ErrorReason::Playback)
            return m_tts->errorString().isEmpty() ? QStringLiteral("speech engine failed")
                                                  : m_tts->errorString();
        connect(m_tts, &QTextToSpeech::stateChanged, this, [this](QTextToSpeech::State s) {
            if (s == QTextToSpeech::Ready)
                next();
            else if (s == QTextToSpeech::Speaking)
                started();
        });
        // Told for every failed line, even while the state stays Error.
        connect(m_tts, &QTextToSpeech::errorOccurred, this,
                [this](QTextToSpeech::ErrorReason reason, const QString &text) {
                    m_queue.clear();
                    failed(text, reason == QTextToSpeech::ErrorReason::Playback);
                });
        return QString();
    }
    void enqueue(const QString &text)
    {
        if (m_queue.size() >= SpeechWorker::kMaxQueued)
            return;
        m_queue << text;
        // After an error the engine takes the next line as a new try.
        if (m_tts && (m_tts->state() == QTextToSpeech::Ready || m_tts->state() == QTextToSpeech::Error))
            next();
    }

private:
    void next()
    {
        if (!m_queue.isEmpty())
            m_tts->say(m_queue.takeFirst());
    }
    QTextToSpeech *m_tts = nullptr;
    QStringList m_queue;
};
#endif

} // namespace

SpeechWorker::SpeechWorker(Log log, std::function<QDateTime()> now, QObject *parent)
    : QObject(parent), m_log(std::move(log)), m_now(std::move(now))
{
    m_thread.setObjectName(QStringLiteral("speech"));
}

SpeechWorker::~SpeechWorker()
{
    if (m_thread.isRunning()) {
        // Delete the voice on its own thread, after the lines already handed
        // over, and only then stop the thread.
        if (QObject *voice = m_voice)
            QMetaObject::invokeMethod(
                voice, [voice] { delete voice; }, Qt::BlockingQueuedConnection);
        m_voice = nullptr;
        m_thread.quit();
        m_thread.wait();
    }
}

bool SpeechWorker::start()
{
    if (m_thread.isRunning())
        return m_ready;
    QString error;
#ifdef HCHAT_HAVE_SPEECH
    m_thread.start();
    auto *voice = new Voice;
    // Told on our own thread, where the window and the tests listen.
    voice->started = [this] {
        QMetaObject::invokeMethod(
            this, [this] { emit speakingStarted(); }, Qt::QueuedConnection);
    };
    voice->failed = [this](const QString &reason, bool playback) {
        QMetaObject::invokeMethod(
            this, [this, reason, playback] { emit speakingFailed(reason, playback); }, Qt::QueuedConnection);
    };
    voice->moveToThread(&m_thread);
    // The engine must be made on the thread that drives it.
    QMetaObject::invokeMethod(
        voice, [voice, &error] { error = voice->create(); }, Qt::BlockingQueuedConnection);
    m_voice = voice;
#else
    error = QStringLiteral("built without speech support");
#endif
    m_ready = error.isEmpty();
    if (m_log) {
        m_log(m_ready ? QStringLiteral("Speak Created  ") + m_now().toString(QStringLiteral("hh:mm:ss"))
                      : QStringLiteral("Speak Create Exception  ") + error);
    }
    return m_ready;
}

void SpeechWorker::say(const QString &text)
{
#ifdef HCHAT_HAVE_SPEECH
    if (!m_ready || text.isEmpty())
        return;
    auto *voice = static_cast<Voice *>(m_voice);
    QMetaObject::invokeMethod(
        voice, [voice, text] { voice->enqueue(text); }, Qt::QueuedConnection);
#else
    Q_UNUSED(text);
#endif
}

} // namespace hchat
