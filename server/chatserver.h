#pragma once

#include "endpoint.h"
#include "guesslimiter.h"
#include "memberkeys.h"
#include "memberstore.h"
#include "passwordchecks.h"
#include "roomstore.h"
#include "session.h"
#include "sourcestate.h"
#include "staffpasswords.h"

#include "protocol/wirelimits.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>

namespace hchat {

/// The server's own policy. Everything the client must agree with (record,
/// reply and datagram sizes, records per poll, the line rate) is in
/// WireLimits.
struct ServerLimits {
    int maxSessions = 10000;
    /// Sessions one source address (GuessLimiter::host()) may hold: a few dozen
    /// people behind one router, not a flood from one host.
    int maxSessionsPerAddress = 32;
    int maxQueuedRecords = 2000;           ///< per session; the oldest go first
    qsizetype maxQueuedBytes = 256 * 1024; ///< per session, likewise
    qint64 idleMs = 60000;
    /// A session whose token never came back (a forged or lost first poll)
    /// ends after this.
    qint64 unconfirmedMs = 10000;
    /// A session silent this long counts as lost, as the client counts its
    /// link lost: its member ID may then be taken over from another address.
    qint64 lostMs = 30000;
    /// A member silent this long leaves its rooms; until then (from lostMs
    /// on) others see it away and what is said waits for it.
    qint64 awayMs = 10 * 60 * 1000;
    /// What waits for a member away: fewer records, the same bytes.
    int awayQueuedRecords = 500;
    /// Polls with a token that is not the address's own, per address and
    /// port (a token is good only from there): a handful a second. Past that
    /// no token from there is looked at, the right one neither, so guessing
    /// one takes weeks; those polls are dropped unanswered.
    qint64 wrongTokenIntervalMs = 200;
    /// News datagrams to one member: at most one per poll of its, and this
    /// far apart.
    qint64 newsIntervalMs = 250;
    bool news = true; ///< off: members hear of news at their next poll (benchmarks compare)
    int wrongTokenBurst = 10;
    /// Member IDs an address may announce that it has not used lately: as
    /// many as it may hold sessions at once, then one every 10 s.
    qint64 newIdIntervalMs = 10000;
    /// Old tokens named from another address that prove nothing: five, then
    /// one every 12 s per host.
    qint64 tokenClaimIntervalMs = 12000;
    /// Rooms an address may create (give a first record to a free room):
    /// a few at once, then one an hour. Staff create as many as they like.
    int roomsPerAddress = 5;
    qint64 newRoomIntervalMs = 3600 * 1000;
    /// Room settings, bulletins, boots and resets a member may send: each
    /// is written to disk at once. A closing settings dialog sends two.
    int editBurst = 3;
    qint64 editIntervalMs = 1000;
    /// Bulletins an address may change (each is stored for everybody):
    /// a few at once, then one a minute. Staff are not counted.
    int bulletinsPerAddress = 10;
    qint64 bulletinIntervalMs = 60 * 1000;
    /// Sealed handshakes an address may send (each costs the server four
    /// key exchanges): one per session it may hold at once, then ten a second.
    qint64 handshakeIntervalMs = 100;
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
    quint64 wrongTokensDropped = 0; ///< polls with a wrong token past the address's allowance
    quint64 unconfirmedEnded = 0;   ///< sessions whose token never came back
};

/// The chat server's state machine: sessions, tokens, the poll and
/// acknowledgement discipline, rooms and every record kind. It owns no
/// socket: each datagram goes in through handleDatagram() and its one reply
/// comes back; time comes in as milliseconds, so tests drive it by hand.
class ChatServer
{
public:
    /// `rooms` (not owned, never null) keeps the rooms and their bulletins.
    explicit ChatServer(RoomStore *rooms, ServerLimits limits = {});
    ~ChatServer();

    /// The staff and their password hashes. A member going by a staff nick
    /// has staff rights only once it gave that nick's password (kind 28).
    void setStaff(StaffPasswords staff) { m_staff = std::move(staff); }
    /// Clock for the `Z` time of relayed lines (UTC); defaults to the system clock.
    void setWallClock(std::function<QDateTime()> clock) { m_wallClock = std::move(clock); }
    /// Session start/end lines, and with `verbose` every datagram in and out.
    void setLog(std::function<void(const QString &)> log, bool verbose = false);

    /// Keeps the members in `store` (not owned): restoreMembers() takes
    /// those of the last run back, persist() writes changes.
    void setMemberStore(MemberStore *store) { m_memberStore = store; }
    /// The member keys that hold member IDs (not owned; null: IDs are not
    /// bound to keys). persist() writes them.
    void setMemberKeys(MemberKeys *keys) { m_memberKeys = keys; }
    /// The members stored by the last run come back as away, in their rooms,
    /// with what waited for them, for what is left of their awayMs.
    void restoreMembers(qint64 nowMs);
    /// Writes the members when anything changed since the last write (or
    /// 10 s went by): call every 100 ms and when stopping.
    void persist(qint64 nowMs, bool force = false);

    /// Handles one received datagram; returns the reply to send back to
    /// `from`, or an empty array when nothing is to be sent. A sealed
    /// datagram comes with the member key its sender proved (`memberKey`,
    /// empty for plain) and may cap its reply (`replyLimit`, the rest waits
    /// for the next poll).
    QByteArray handleDatagram(const Endpoint &from, QByteArrayView datagram, qint64 nowMs,
                              int replyLimit = WireLimits::maxReplyBytes, QByteArrayView memberKey = {});
    /// Takes one sealed handshake from the allowance of `from`'s address:
    /// false (nothing taken) when it is spent.
    bool takeHandshake(const Endpoint &from, qint64 nowMs)
    {
        return source(from).handshakes.take(nowMs, m_limits.handshakeIntervalMs,
                                            m_limits.maxSessionsPerAddress);
    }
    /// The news datagrams (NewsDatagram) to send since the last call: to
    /// idle members something was queued for.
    QList<QPair<Endpoint, QByteArray>> takeNews() { return std::exchange(m_news, {}); }

    /// Ends sessions silent for longer than the idle limit, and answers the
    /// staff password checks done meanwhile; call about once a second.
    void tick(qint64 nowMs);
    /// Waits for the staff password checks under way and answers them (tests
    /// and benchmarks; the server answers them at its next datagram or tick).
    void finishPasswordChecks();

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
        QList<int> welcomed;        ///< rooms whose record (and members) were sent
        QList<int> refused;         ///< rooms whose refusal was sent
        QList<int> refreshed;       ///< rooms whose members list was sent
        bool usageSent = false;     ///< the room usage was sent
        bool editsNoticed = false;  ///< told that edits come too fast
        bool tookOverQueue = false; ///< took over a session with what waited for it
        QList<int> pagedRooms;      ///< rooms paged
        /// Rooms named by kind 25, weighed ahead of the presence: empty when
        /// granted, else why not.
        QHash<int, QString> entryVerdicts;
        /// Chat lines taken and not relayed yet, by room: a run of them goes
        /// to each member as one entry.
        QMap<int, Session::Waiting> lines;
        quint32 recordNumber = 0;   ///< `O` of the record being handled; 0 when it has none
        bool echoesReplies = false; ///< the poll's header echoes reply numbers
        quint32 lastReply = 0;      ///< the reply number it echoes
        /// The presence running leaves the chat and another presence of the
        /// poll follows (a rename): the session stays, and the departure
        /// names the nick that follows (followingNick).
        bool presenceFollows = false;
        quint32 firstLine = 0; ///< the number of the first chat line it relayed
        QString followingNick;
    };

    /// A new session for `from`, or null when there is no room for it (`why`
    /// says so in the words told to the client).
    Session *openSession(const Endpoint &from, qint64 nowMs, QString *why);
    /// Ends the oldest session of `tokens` whose token never came back; false when there is none.
    bool evictUnconfirmed(const QList<quint32> &tokens);
    /// The oldest session whose token never came back, or null.
    Session *oldestUnconfirmed();
    /// The token came back from its address: the records of the first poll run now.
    void confirm(Session &s, const PollContext &ctx);
    SourceState &source(const Endpoint &peer) { return m_sources[GuessLimiter::host(peer)]; }
    void endSession(Session *s, const QString &reason, bool announceDeparture);
    /// A fresh token no session holds.
    quint32 freshToken() const;
    /// The member fell silent (`away`) or is heard again: others are told.
    void setAway(Session &s, bool away);
    /// Tells a member back how many records waiting for it were dropped.
    void tellMissed(Session &s);
    void processRecords(Session &s, QByteArrayView records, PollContext &ctx);
    QByteArray buildReply(Session *s, int k, int sizeLimit, quint32 line = 0);
    /// Records waiting for the client: the rest of the room list, the room
    /// records changed since, and the queue.
    int pendingRecords(const Session &s) const;
    void log(const QString &line) const;

    // Record handlers (chatserverrecords.cpp, chatserverrooms.cpp), one
    // form for all, so that dispatch() finds them in a table.
    void dispatch(Session &s, int kind, const QString &rec, PollContext &ctx);
    void onPresence(Session &s, const QString &rec, PollContext &ctx);
    void onChatLine(Session &s, const QString &rec, PollContext &ctx);
    /// Relays the chat lines a poll has gathered (see PollContext::lines).
    void relayLines(Session &s, PollContext &ctx);
    void onGlobal(Session &s, const QString &rec, PollContext &ctx);
    void onPrivate(Session &s, const QString &rec, PollContext &ctx);
    void onPage(Session &s, const QString &rec, PollContext &ctx);
    void onProfile(Session &s, const QString &rec, PollContext &ctx);
    void onWhereIs(Session &s, const QString &rec, PollContext &ctx);
    void onRefresh(Session &s, const QString &rec, PollContext &ctx);
    void onStatistics(Session &s, const QString &rec, PollContext &ctx);
    void onRoomUsage(Session &s, const QString &rec, PollContext &ctx);
    void onBoot(Session &s, const QString &rec, PollContext &ctx);
    void onRoomRecord(Session &s, const QString &rec, PollContext &ctx);
    void onRoomRecordRequest(Session &s, const QString &rec, PollContext &ctx);
    void onRoomList(Session &s, const QString &rec, PollContext &ctx);
    void onBulletin(Session &s, const QString &rec, PollContext &ctx);
    void onBulletinRequest(Session &s, const QString &rec, PollContext &ctx);
    void onReset(Session &s, const QString &rec, PollContext &ctx);
    void onRoomRequest(Session &s, const QString &rec, PollContext &ctx);
    void onAdminCheck(Session &s, const QString &rec, PollContext &ctx);

    // Helpers shared by the handlers.
    bool isStaff(const Session &s) const;
    /// The notice refusing a staff-only `action`; tells a staff nick that
    /// has not given its password yet how to.
    QString staffOnly(const Session &s, const QString &action) const;
    /// The notice refusing an administrator's `action` in `room`.
    QString adminOnly(const Session &s, int room, const QString &action) const;
    enum class Guess { Right, Wrong, Blocked, Deferred };
    /// Weighs a password a member offers for `subject` (what it would open,
    /// the stored secret included, so a changed secret is a new question).
    /// A wrong guess counts against the session and its address; past the
    /// limit nothing is weighed. An empty offer is no guess. `right` may
    /// leave the answer for later (nothing): no guess is counted then.
    Guess weighGuess(Session &s, const QString &offered, const QString &subject,
                     const std::function<std::optional<bool>()> &right);
    /// The answer to a kind 28 (the room's record when granted), with a
    /// refusal notice before it when there is one.
    void answerAdminCheck(Session &s, int room, const QString &refusal);
    /// The session administers the room: staff, its password proved, or none set.
    bool administers(const Session &s, int room) const;
    /// Answers the staff password checks done since the last call.
    void takePasswordChecks();
    static QString tooManyGuesses();
    /// Takes the rights to `room` from every session but `keep`: its
    /// administrator password (`admin`) or its access password changed.
    void revokeRights(int room, bool admin, const Session *keep);
    /// True when the member's line allowance is used up; `refused` names the
    /// record for the one notice it gets.
    bool throttled(Session &s, quint32 refused);
    bool mayAdminister(Session &s, int room, const QString &offeredPassword, bool openWhenUnset = true);
    bool mayEnter(Session &s, int room, const QString &rec, QString *refusal);
    void welcome(Session &s, int room, bool firstRoom, bool withRecord, PollContext &ctx);
    void refuse(Session &s, int room, bool watch, const QString &why, PollContext &ctx);
    void enqueue(Session &s, const QString &record);
    void enqueueBytes(Session &s, const QByteArray &record, int records = 1);
    /// Drops the oldest records while the queue is over its bounds.
    void trimQueue(Session &s);
    /// Starts sending the room list (again).
    void sendRoomList(Session &s);
    /// True while the member may still edit rooms; the first refusal of a
    /// poll is told.
    bool mayEdit(Session &s, PollContext &ctx);
    /// Moves a member to its rooms, keeping who is in which room at hand.
    void place(Session &s, int room, int watch);
    /// Adds the member to (or takes it off) the lists by ID and nick.
    void index(Session &s, bool add);
    /// A notice line; `refused` names the client's record it refuses (its `O`).
    void notice(Session &s, const QString &text, quint32 refused = 0);
    /// The session `s` goes on where `old` stopped. What waited for `old`
    /// comes along when both speak from the same address or `s` names
    /// `old`'s token; rights only when both hold.
    void takeOver(Session &s, Session &old, PollContext &ctx);
    /// A member's record (kind 5, or 15 in a members list), as relayed.
    QByteArray memberRecord(Session &s, int kind = 5) const;
    /// The member's departure under its present nick; `renamedTo` names the
    /// nick it goes on under (field `D`), so our clients show one entry.
    QByteArray departureRecord(const Session &s, const QString &renamedTo) const;
    void broadcastToRooms(const QList<int> &rooms, const QByteArray &record, const Session *except,
                          int records = 1);
    /// A room's record changed: every member is sent it with its next
    /// replies (see m_roomChanges), without a copy queued for each.
    void roomChanged(int room);
    void sendRoster(Session &s, int room, int kind, bool includeSelf);
    Session *findMember(const QString &nick, const QString &id);
    QString zoneTime() const;

    RoomStore *m_rooms;
    MemberStore *m_memberStore = nullptr;
    MemberKeys *m_memberKeys = nullptr;
    qint64 m_keysSavedMs = 0;
    QByteArrayView m_memberKey; ///< the member key of the datagram being handled; empty for plain
    bool m_membersChanged = false;
    QList<QPair<Endpoint, QByteArray>> m_news;
    const Session *m_polling = nullptr; ///< the session whose poll is handled: its reply is the news
    qint64 m_membersSavedMs = 0;
    ServerLimits m_limits;
    ServerStats m_stats;
    StaffPasswords m_staff;
    GuessLimiter m_guesses;
    PasswordChecks m_checks;
    qint64 m_nowMs = 0; ///< time of the datagram being handled
    std::function<QDateTime()> m_wallClock;
    mutable qint64 m_zoneSecond = 0; ///< the second m_zoneText was made for
    mutable QString m_zoneText;
    std::function<void(const QString &)> m_log;
    bool m_verbose = false;

    std::unordered_map<quint32, std::unique_ptr<Session>> m_sessions;
    /// Sessions whose token has not come back yet, by the peer they were
    /// opened for: a repeated first poll lands in the same session, while
    /// another client behind the same address gets its own.
    QMultiHash<Endpoint, quint32> m_pendingByPeer;
    /// The same sessions in the order they were opened, with their serial
    /// (a token may come again): the oldest go first when room is needed,
    /// and when they outstay ServerLimits::unconfirmedMs. Entries of sessions
    /// confirmed or gone since are skipped.
    std::deque<std::pair<quint32, quint64>> m_unconfirmed;
    quint64 m_serial = 0;
    QHash<QByteArray, SourceState> m_sources; ///< by GuessLimiter::host()
    QHash<Endpoint, Allowance> m_wrongTokens; ///< by peer, see ServerLimits::wrongTokenIntervalMs
    // Announced members at hand without a walk through every session, so
    // that no record costs time in proportion to the whole server.
    QHash<int, QList<Session *>> m_inRoom; ///< in or watching each room
    QHash<QString, Session *> m_byId;
    QMultiHash<QString, Session *> m_byPrefix; ///< by the 8-character user prefix
    QMultiHash<QString, Session *> m_byNick;   ///< by the nick, case folded
    quint64 m_broadcasts = 0;
    /// The number of the last chat line relayed (1 to WireLimits::maxNumber,
    /// then 1 again), kept across restarts: every member's window shows a
    /// room's lines in this order.
    quint32 m_lineNumber = 0;
    // Chat lines of the last few seconds (ServerLimits::unconfirmedMs), by room.
    struct RecentLine {
        qint64 ms;
        Session::Waiting lines;
    };
    struct RecentLines {
        std::deque<RecentLine> lines;
        qsizetype bytes = 0;
    };
    static constexpr qsizetype maxRecentBytes = 64 * 1024; ///< per room
    QHash<int, RecentLines> m_recentLines;
    /// The rooms whose records changed lately, each change numbered: a
    /// member's replies carry those it has not been sent. One behind by more
    /// than these gets the whole room list again.
    std::deque<std::pair<quint64, int>> m_roomChanges;
    quint64 m_roomChangesMade = 0;
    static constexpr size_t maxRoomChanges = 256;
    qint64 m_unconfirmedLoggedMs = 0;
    quint64 m_unconfirmedLogged = 0;
};

} // namespace hchat
