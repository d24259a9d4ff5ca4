#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace hchat {

/// "Something waits for you": the server's tiny datagram to an idle member
/// whose queue just got a record, so its client polls at once instead of at
/// its next idle poll. `<R>0</R><L>token</L>` without a line feed (a reader
/// that knows nothing of it drops a datagram without one), at most 32 bytes.
/// It carries the session's token: a client polls only for its own.
struct NewsDatagram {
    static constexpr qsizetype maxBytes = 32;

    static QByteArray build(QByteArrayView token) { return "<R>0</R><L>" + token.toByteArray() + "</L>"; }
    /// True when `datagram` is the news for the session of `token`.
    static bool matches(QByteArrayView datagram, QByteArrayView token)
    {
        return !token.isEmpty() && datagram.size() <= maxBytes && datagram == build(token);
    }
};

} // namespace hchat
