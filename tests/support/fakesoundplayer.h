#pragma once

#include "transcript/soundplayer.h"

#include <QStringList>

namespace hchat {

/// Records the sound files asked for.
class FakeSoundPlayer : public SoundPlayer
{
public:
    void play(const QString &file) override { played << file; }
    QStringList played;
};

} // namespace hchat
