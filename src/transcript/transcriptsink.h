#pragma once

#include "transcript/ownlinestate.h"

#include <QDateTime>
#include <QString>

namespace hchat {

/// Where every shown line goes: the two transcripts of the chat window, with
/// the pending line style, stamp time and own-message flag the renderer keeps.
/// Handlers of the chat layer talk to this; tests use a recording fake.
class TranscriptSink
{
public:
    virtual ~TranscriptSink() = default;

    /// Appends text to the first (second = false) or second transcript;
    /// notice draws it in purple 0x800080.
    virtual void ShowMessage(const QString &text, bool second, bool notice) = 0;
    /// An ordinary chat line of the first room: shown, logged, clock lines.
    virtual void TimeStamp(const QString &text) = 0;
    /// The same for the second room.
    virtual void TimeStamp2(const QString &text) = 0;
    /// Colour (RGB, red in the low byte) of the lines that follow.
    virtual void setLineColor(int rgb) = 0;
    /// Time stamp of the next line; an invalid value means "now".
    virtual void setStampTime(const QDateTime &when) = 0;
    /// Set by text entry just before the user's own line is shown.
    virtual void setOwnMessage(bool own) = 0;
    /// Hands text to the speech voice when speak is true.
    virtual void SayIt(const QString &text, bool speak) = 0;
    /// Plays a sound file; a beep when it can't be played.
    virtual void Notify(const QString &soundFile) = 0;
    /// The first and second room were exchanged: each transcript's lines
    /// move with their room to the other transcript.
    virtual void swapTranscripts() {}
    /// The next line shown is the user's own line `number`, pending until
    /// setOwnLineState says otherwise; 0 follows nothing.
    virtual void setOwnLineNumber(quint32 number) { Q_UNUSED(number); }
    /// The next line shown is the server's line `line` (its number in the
    /// order the server relayed lines); 0 for none.
    virtual void setLineNumber(quint32 line) { Q_UNUSED(line); }
    /// The server took own line `number` as its line `line`: the own line
    /// moves below the lines shown after it that the server relayed before.
    virtual void placeOwnLine(quint32 number, quint32 line)
    {
        Q_UNUSED(number);
        Q_UNUSED(line);
    }
    /// Marks own line `number` as pending, delivered (no mark) or not
    /// delivered with the reason.
    virtual void setOwnLineState(quint32 number, OwnLineState state, const QString &reason)
    {
        Q_UNUSED(number);
        Q_UNUSED(state);
        Q_UNUSED(reason);
    }
    /// Lines shown between beginBatch and endBatch (one datagram's worth) are
    /// laid out, scrolled and painted once, at endBatch. Calls nest.
    virtual void beginBatch() {}
    virtual void endBatch() {}
};

} // namespace hchat
