#pragma once

#include "transcript/soundplayer.h"

#include <QObject>

#include <functional>

class QAudioOutput;
class QMediaPlayer;
class QSoundEffect;

namespace hchat {

/// `medPlay`: WAV files through QSoundEffect, anything else through
/// QMediaPlayer. A file that is missing or can't be played beeps; an empty
/// name plays nothing. The players are made on first use, so a client that
/// never plays a sound does not load the audio back end.
class MediaSoundPlayer : public QObject, public SoundPlayer
{
    Q_OBJECT
public:
    explicit MediaSoundPlayer(QObject *parent = nullptr);
    ~MediaSoundPlayer() override;

    void play(const QString &file) override;

    /// The beep for a sound that can't be played; tests replace it.
    std::function<void()> beep;

private:
#ifdef HCHAT_HAVE_MULTIMEDIA
    void playWave(const QString &file);
    void playMedia(const QString &file);
#endif

    QSoundEffect *m_effect = nullptr;
    QMediaPlayer *m_player = nullptr;
    QAudioOutput *m_output = nullptr;
};

} // namespace hchat
