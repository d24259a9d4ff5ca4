#pragma once

#include "endpoint.h"
#include "guesslimiter.h"
#include "roomstore.h"
#include "session.h"
#include "staffpasswords.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QStringList>

#include <functional>
#include <memory>
#include <unordered_map>

namespace hchat {

/// The server's own policy. Everything the client must agree with (record,
/// reply and datagram sizes, records per poll, the line rate) is in
/// WireLimits.
struct ServerLimits {
    int maxSessions = 10000;
    int maxQueuedRecords = 2000; ///< per session; the oldest go first
    qint64 idleMs = 60000;
};

/// Counters for logs, tests and the load generator.
struct ServerStats {
    quint64 polls = 0;
    quint64 retransmissions = 0;
    quint64 resentSkipped = 0; ///< records recognised as already processed (resent by the client)
    quint64 repliesResent = 0; ///< replies sent again because the client did not confirm them
    quint64 records = 0;
    quint64 chatLines = 0;
    quint64 refused = 0; ///< datagrams or records refused by the limits
    quint64 sessionsOpened = 0;
    quint64 sessionsEnded = 0;
};

/// The chat server's state machine: sessions, tokens, the poll and
/// acknowledgement discipline, rooms and every record kind. It owns no
/// socket: each datagram goes in through handleDatagram() and its one reply
/// comes back; time comes in as milliseconds, so tests drive it by hand.
class ChatServer
{
public:
    explicit ChatServer(RoomStore *rooms, ServerLimits limits = {});
    ~ChatServer();

    /// The staff and their password hashes. A member going by a staff nick
    /// has staff rights only once it gave that nick's password (kind 28).
    void setStaff(StaffPasswords staff) { m_staff = std::move(staff); }
    /// Clock for the `Z` time of relayed lines (UTC); defaults to the system clock.
    void setWallClock(std::function<QDateTime()> clock) { m_wallClock = std::move(clock); }
    /// Session start/end lines, and with `verbose` every datagram in and out.
    void setLog(std::function<void(const QString &)> log, bool verbose = false);

    /// Handles one received datagram; returns the reply to send back to
    /// `from`, or an empty array when nothing is to be sent.
    QByteArray handleDatagram(const Endpoint &from, QByteArrayView datagram, qint64 nowMs);
    /// Ends sessions silent for longer than the idle limit; call about once a second.
    void tick(qint64 nowMs);

    int sessionCount() const { return int(m_sessions.size()); }
    const ServerStats &stats() const { return m_stats; }
    const ServerLimits &limits() const { return m_limits; }

    /// Called for every chat line accepted from a client (for tests and logs).
    std::function<void(const QString &nick, int room, const QString &text)> chatLineObserver;

    /// The wire form of a packed token.
    static QByteArray tokenText(quint32 token);
    /// Server time for `Z`: "hh:mm:ss" in US Mountain time (UTC-7 when the zone is unknown).
    static QString serverClock(const QDateTime &utc);

private:
    // What one poll has done so far: its room requests are weighed before
    // its presence, and nothing is answered twice within it.
    struct PollContext {
        QList<int> requested;       ///< rooms named by kind 25 (first room)
        QList<int> requestedWatch;  ///< rooms named by kind 25 with W=1
        QList<int> welcomed;        ///< rooms whose record (and members) were sent
        QList<int> refused;         ///< rooms whose refusal was sent
        quint32 recordNumber = 0;   ///< `O` of the record being handled; 0 when it has none
        bool echoesReplies = false; ///< the poll's header echoes reply numbers
        quint32 lastReply = 0;      ///< the reply number it echoes
    };

    Session *openSession(const Endpoint &from, qint64 nowMs);
    void endSession(Session *s, const QString &reason, bool announceDeparture);
    void processRecords(Session &s, QByteArrayView records, PollContext &ctx, qint64 nowMs);
    QByteArray buildReply(Session *s, int k, int sizeLimit);
    void log(const QString &line) const;

    // Record handlers (chatserverrecords.cpp, chatserverrooms.cpp).
    void dispatch(Session &s, int kind, const QString &rec, PollContext &ctx, qint64 nowMs);
    void onPresence(Session &s, const QString &rec, PollContext &ctx);
    void onChatLine(Session &s, const QString &rec, quint32 number, qint64 nowMs);
    void onGlobal(Session &s, const QString &rec);
    void onPrivate(Session &s, const QString &rec);
    void onPage(Session &s, const QString &rec);
    void onProfile(Session &s, const QString &rec);
    void onWhereIs(Session &s, const QString &rec);
    void onRefresh(Session &s, const QString &rec);
    void onStatistics(Session &s, const QString &rec);
    void onRoomUsage(Session &s);
    void onBoot(Session &s, const QString &rec);
    void onRoomRecord(Session &s, const QString &rec);
    void onRoomList(Session &s, const QString &rec, int kind);
    void onBulletin(Session &s, const QString &rec);
    void onBulletinRequest(Session &s, const QString &rec);
    void onReset(Session &s, const QString &rec);
    void onRoomRequest(Session &s, const QString &rec, PollContext &ctx);
    void onAdminCheck(Session &s, const QString &rec);

    // Helpers shared by the handlers.
    bool isStaff(const Session &s) const;
    /// The notice refusing a staff-only `action`; tells a staff nick that
    /// has not given its password yet how to.
    QString staffOnly(const Session &s, const QString &action) const;
    /// The notice refusing an administrator's `action` in `room`.
    QString adminOnly(const Session &s, int room, const QString &action) const;
    enum class Guess { Right, Wrong, Blocked };
    /// Weighs a password a member offers for `subject` (what it would open,
    /// the stored secret included, so a changed secret is a new question).
    /// A wrong guess counts against the session and its address; past the
    /// limit nothing is weighed. An empty offer is no guess.
    Guess weighGuess(Session &s, const QString &offered, const QString &subject,
                     const std::function<bool()> &right);
    static QString tooManyGuesses();
    /// Takes the rights to `room` from every session but `keep`: its
    /// administrator password (`admin`) or its access password changed.
    void revokeRights(int room, bool admin, const Session *keep);
    /// True when the member's line allowance is used up; `refused` names the
    /// record for the one notice it gets.
    bool throttled(Session &s, qint64 nowMs, quint32 refused);
    bool mayAdminister(Session &s, int room, const QString &offeredPassword, bool openWhenUnset = true);
    bool mayEnter(Session &s, int room, const QString &rec, QString *refusal);
    void welcome(Session &s, int room, bool firstRoom, bool withRecord, PollContext &ctx);
    void refuse(Session &s, int room, bool watch, const QString &why, PollContext &ctx);
    void enqueue(Session &s, const QString &record);
    void enqueueBytes(Session &s, const QByteArray &record);
    /// A notice line; `refused` names the client's record it refuses (its `O`).
    void notice(Session &s, const QString &text, quint32 refused = 0);
    void takeOver(Session &s, Session &old, const PollContext &ctx);
    QString memberRecord(const Session &s, int kind = 5) const;
    void broadcastToRooms(const QList<int> &rooms, const QString &record, const Session *except);
    void broadcastAll(const QString &record, const Session *except);
    void sendRoster(Session &s, int room, int kind, bool includeSelf);
    Session *findMember(const QString &nick, const QString &id);
    QString zoneTime() const;

    RoomStore *m_rooms;
    ServerLimits m_limits;
    ServerStats m_stats;
    StaffPasswords m_staff;
    GuessLimiter m_guesses;
    qint64 m_nowMs = 0; ///< time of the datagram being handled
    std::function<QDateTime()> m_wallClock;
    std::function<void(const QString &)> m_log;
    bool m_verbose = false;

    std::unordered_map<quint32, std::unique_ptr<Session>> m_sessions;
    /// Sessions whose token has not come back yet, by the peer they were
    /// opened for: a repeated first poll lands in the same session, while
    /// another client behind the same address gets its own.
    QMultiHash<Endpoint, quint32> m_pendingByPeer;
};

} // namespace hchat
