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
        Lost, ///< silent past the silence count; polls go on
    };

    /// "Connected to HOST:PORT", "Connecting to HOST:PORT…", "Connection to
    /// HOST:PORT lost since hh:mm; next try in N s".
    /// ticksToPoll: timer ticks (500 ms) until the next poll.
    /// What to check when the first answer is long in coming.
    static QString connectingHint();
    static QString text(State state, const QString &endpoint, const QDateTime &lostSince, int ticksToPoll);
};

} // namespace hchat
