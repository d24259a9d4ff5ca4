#pragma once

#include "endpoint.h"

#include <QByteArray>
#include <QHash>

namespace hchat {

/// Bounds wrong password guesses (room and staff passwords) per session and
/// per host (see host()): a few a minute each, so that
/// guessing a password takes years rather than minutes, and a guesser can't
/// keep the server busy hashing. The server asks allowed() before it weighs
/// a password and reports each wrong one with failed().
class GuessLimiter
{
public:
    /// A fixed window: the first wrong guess opens it; `limit` wrong guesses
    /// shut it until it ends.
    struct Window {
        qint64 startMs = 0;
        int wrong = 0;
    };

    static constexpr int limit = 5;
    static constexpr qint64 windowMs = 60000;

    /// Whether another guess from this session and its address may be weighed now.
    bool allowed(const Window &session, const Endpoint &from, qint64 nowMs) const;
    /// Counts a wrong guess against both.
    void failed(Window &session, const Endpoint &from, qint64 nowMs);
    /// Forgets addresses whose window is over; call now and then.
    void prune(qint64 nowMs);

    /// What counts as one host: an IPv4 address (also when it comes mapped
    /// into IPv6), or an IPv6 /64; never the port.
    static QByteArray host(const Endpoint &e);

private:
    static bool open(const Window &w, qint64 nowMs);
    static void count(Window &w, qint64 nowMs);

    QHash<QByteArray, Window> m_addresses;
};

} // namespace hchat
