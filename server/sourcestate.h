#pragma once

#include <QList>
#include <QStringList>

namespace hchat {

/// Actions allowed at a steady rate with a burst on top: up to `burst` at
/// once, then one every `intervalMs`. Kept as the time at which the allowance
/// is whole again, so an idle one costs nothing to keep up to date.
struct Allowance {
    qint64 wholeAtMs = 0;

    /// Takes one action's worth; false (nothing taken) when none is left.
    bool take(qint64 nowMs, qint64 intervalMs, int burst)
    {
        if (!left(nowMs, intervalMs, burst))
            return false;
        wholeAtMs = qMax(wholeAtMs, nowMs) + intervalMs;
        return true;
    }
    /// True when take() would succeed, without taking anything.
    bool left(qint64 nowMs, qint64 intervalMs, int burst) const
    {
        return qMax(wholeAtMs, nowMs) - nowMs <= intervalMs * (burst - 1);
    }
    bool whole(qint64 nowMs) const { return wholeAtMs <= nowMs; }
};

/// What the server keeps about one source address (GuessLimiter::host()): its
/// sessions and the allowances that bound what one host can do to the
/// others, whatever it puts in its datagrams.
struct SourceState {
    QList<quint32> sessions; ///< tokens of its sessions, oldest first
    Allowance newIds;        ///< member IDs announced that it did not use lately
    Allowance newRooms;      ///< rooms created
    Allowance bulletins;     ///< bulletins changed
    Allowance tokenClaims;   ///< old tokens named from here that proved nothing
    Allowance handshakes;    ///< sealed handshakes: each costs key exchanges
    QStringList recentIds;   ///< IDs announced from here, newest first
    qint64 quietUntilMs = 0; ///< no refusal notice before this (they repeat while clients retry)

    bool idle(qint64 nowMs) const
    {
        return sessions.isEmpty() && newIds.whole(nowMs) && newRooms.whole(nowMs) && bulletins.whole(nowMs) &&
               tokenClaims.whole(nowMs) && handshakes.whole(nowMs);
    }
};

} // namespace hchat
