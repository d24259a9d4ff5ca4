#include "platform/mediasoundplayer.h"

#include <QApplication>
#include <QFileInfo>
#include <QUrl>

#ifdef HCHAT_HAVE_MULTIMEDIA
#include <QAudioOutput>
#include <QMediaPlayer>
#include <QSoundEffect>
#endif

namespace hchat {

MediaSoundPlayer::MediaSoundPlayer(QObject *parent) : QObject(parent), beep([] { QApplication::beep(); }) {}

MediaSoundPlayer::~MediaSoundPlayer() = default;

void MediaSoundPlayer::play(const QString &file)
{
    if (file.isEmpty())
        return; // no sound chosen
    if (!QFileInfo(file).isFile()) {
        beep(); // a chosen sound that is gone still tells the user something happened
        return;
    }
#ifdef HCHAT_HAVE_MULTIMEDIA
    if (file.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive))
        playWave(file);
    else
        playMedia(file);
#else
    beep();
#endif
}

#ifdef HCHAT_HAVE_MULTIMEDIA
void MediaSoundPlayer::playWave(const QString &file)
{
    const QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    const auto playLoaded = [this] {
        if (m_effect->status() == QSoundEffect::Ready)
            m_effect->play();
        else if (m_effect->status() == QSoundEffect::Error)
            beep();
    };
    if (!m_effect) {
        m_effect = new QSoundEffect(this);
        // Loading is asynchronous: play once it is ready, beep if it fails.
        connect(m_effect, &QSoundEffect::statusChanged, this, playLoaded);
    }
    if (m_effect->source() == url)
        playLoaded();
    else
        m_effect->setSource(url);
}

void MediaSoundPlayer::playMedia(const QString &file)
{
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(this);
        m_player->setAudioOutput(m_output);
        connect(m_player, &QMediaPlayer::errorOccurred, this, [this] { beep(); });
    }
    m_player->stop();
    m_player->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    m_player->play();
}
#endif

} // namespace hchat
