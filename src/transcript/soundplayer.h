#pragma once

#include <QString>

namespace hchat {

/// Plays sound files. A file that does not exist plays nothing; one that
/// exists but can't be played gives a beep.
class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    /// Starts playing the file (absolute path) and returns at once.
    virtual void play(const QString &file) = 0;
};

} // namespace hchat
