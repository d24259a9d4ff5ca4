#pragma once

#include <QDateTime>
#include <QString>

namespace hchat {

/// The status line under the transcripts: where the link stands, in words.
class LinkStatus
{
public:
    enum class State {
        Closed,         ///< no link (the socket could not be opened, or the window is closing)
        NoNick,         ///< nothing is sent before the user has a nick
        Connecting,     ///< polling, and no answer from the server yet
        ConnectingLong, ///< no answer yet for as long as a link counts as lost
        Connected,
        NoAnswer, ///< the last polls went unanswered; not yet counted lost
        Lost,     ///< silent past the silence count; polls go on
    };

    /// "Connected to HOST:PORT", "Connecting to HOST:PORT…", "No answer
    /// from the server since hh:mm:ss", "Connection to HOST:PORT lost since
    /// hh:mm; next try in N s". `since` is when the link was lost, or when
    /// the server last answered.
    /// ticksToPoll: timer ticks (500 ms) until the next poll.
    static QString text(State state, const QString &endpoint, const QDateTime &since, int ticksToPoll);
    /// What to check when the first answer is long in coming.
    static QString connectingHint();
};

} // namespace hchat
