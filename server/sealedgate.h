#pragma once

#include "endpoint.h"
#include "sourcestate.h"

#include "protocol/sealing.h"

#include <QHash>
#include <QList>
#include <QPair>

namespace hchat {

class ChatServer;

/// The server's end of the sealed link, in front of ChatServer: answers key
/// requests and handshakes, opens sealed data into the plain datagram the
/// chat server handles and seals what goes back to sealed peers (replies and
/// news). Plain datagrams pass through unless sealing is required, or their
/// address holds a sealed session (its client speaks sealed: a plain one
/// with its address is forged). Sessions live in memory only.
class SealedGate
{
public:
    using Datagrams = QList<QPair<Endpoint, QByteArray>>;

    SealedGate(ChatServer *server, SealKeyPair key);
    const SealKeyPair &key() const { return m_key; }
    /// Refuse plain datagrams (`--sealed-only`).
    void setSealedOnly(bool sealedOnly) { m_sealedOnly = sealedOnly; }

    /// Handles one datagram from `peer`; what goes back is appended to `out`.
    void handle(const Endpoint &peer, QByteArrayView datagram, qint64 nowMs, Datagrams *out);
    /// The chat server's news datagrams, sealed for sealed peers.
    Datagrams takeNews();
    /// Forgets sessions gone quiet and handshakes nobody followed; call about once a second.
    void tick(qint64 nowMs);

    struct Counters {
        quint64 handshakes = 0;        ///< answered
        quint64 handshakesRefused = 0; ///< past an allowance, or the table full
        quint64 dropped = 0;           ///< forged, altered, replayed or not for us
        quint64 plainRefused = 0;
        quint64 unknownSessions = 0; ///< sealed data under an index we don't know
    };
    const Counters &counters() const { return m_counters; }
    int sessionCount() const { return int(m_sessions.size()); }

    /// How long a session may stay quiet, and a handshake unfollowed.
    static constexpr qint64 idleMs = 3 * 60 * 1000;
    static constexpr qint64 unconfirmedMs = 10000;
    /// Handshakes the whole server answers: a burst, then one a millisecond.
    static constexpr int allHandshakesBurst = 1000;

private:
    struct Peer {
        SealedChannel channel;
        Endpoint endpoint;
        qint64 lastMs = 0;
        bool confirmed = false; ///< sealed data came under it
    };
    void handshake(const Endpoint &peer, QByteArrayView datagram, qint64 nowMs, Datagrams *out);
    void data(const Endpoint &peer, QByteArrayView datagram, qint64 nowMs, Datagrams *out);
    /// A datagram for `to`, sealed when `to` holds a sealed session.
    QByteArray sealFor(const Endpoint &to, const QByteArray &plain);

    ChatServer *m_server;
    SealKeyPair m_key;
    bool m_sealedOnly = false;
    QHash<quint32, Peer> m_sessions; ///< by our index (entries in place: one cache miss less a datagram)
    QHash<Endpoint, quint32> m_byEndpoint; ///< the session each sealed address confirmed last
    /// The newest handshake time of each member key and when it came: a
    /// handshake not newer is a replay.
    QHash<QByteArray, QPair<quint64, qint64>> m_stamps;
    Allowance m_allHandshakes;
    Counters m_counters;
};

} // namespace hchat
