#pragma once

#include "protocol/numberwindow.h"
#include "protocol/outbox.h"
#include "protocol/recordkind.h"
#include "protocol/wirelimits.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace hchat {

class LinkEvents;
class Transport;
struct AckHeader;

/// The client side of the chat server conversation, free of sockets and
/// timers: the outbox carried by polls until acknowledged, the sequence number
/// K, the link token, reply numbers, the incoming line splitter and the
/// dispatch of received records by kind. The owner calls tick() every 500 ms
/// and receive() for each datagram; everything it learns goes out through
/// LinkEvents.
///
/// Every queued record carries a number of its own (`O`), so the server can
/// tell a record it has taken from one it has not, and the owner can follow
/// each record until the server acknowledges it. Records wait while the
/// server does not answer, up to WireLimits::maxQueuedRecords records or
/// maxQueuedBytes; past that the oldest are given up and reported.
///
/// Outbox and inbound buffer are kept as UTF-8 bytes: every limit on the wire
/// counts bytes.
class DatagramLink
{
public:
    static constexpr qsizetype maxCarried = WireLimits::maxCarriedBytes;
    /// Received bytes waiting to be parsed are bounded by this.
    static constexpr qsizetype maxInbound = 1024 * 1024;
    /// Ticks without a record before the link is marked lost.
    static constexpr int silenceLimit = 60;
    /// Ticks between polls of an idle link.
    static constexpr int idlePoll = 8;
    /// The token of a link marked lost: no server hands it out, so the next
    /// poll is answered with K = 10 and we announce ourselves again.
    static QString lostToken() { return QStringLiteral("10"); }

    explicit DatagramLink(LinkEvents &events);
    ~DatagramLink();
    DatagramLink(const DatagramLink &) = delete;
    DatagramLink &operator=(const DatagramLink &) = delete;

    /// Opens the link on a transport (not owned; null closes it) and takes
    /// over the transport's receiver.
    void open(Transport *transport);
    bool isOpen() const { return m_transport != nullptr; }
    /// Nothing is queued or sent while disabled (the own nick is empty).
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }

    /// Kind 0 sends a poll now and returns 0. Any other kind is queued as
    /// `<R>kind</R><O>number</O>` + data and polled out at the next tick; the
    /// record's number is returned, or 0 when nothing was queued (link closed
    /// or disabled, record too long). Presence (5, 50, 51) is built above the
    /// link and arrives here as kind 5.
    quint32 Send(int kind, const QString &data = QString());
    quint32 Send(RecordKind kind, const QString &data = QString()) { return Send(kindNumber(kind), data); }

    /// Records sent between these two calls are an announcement (presence,
    /// room entry, away text): they go ahead of every record waiting, in the
    /// order sent, and replace an announcement still waiting from before.
    void beginAnnouncement();
    void endAnnouncement();

    /// The last poll before the link closes: it carries the announcement
    /// waiting together with the records behind it.
    void finalPoll();

    /// Sends one datagram now with this record alone, outside the outbox: a
    /// goodbye to a server we are leaving.
    void sendAside(int kind, const QString &data);

    /// The bytes of the record Send(kind, data) would queue, its number
    /// counted at its longest: a caller can refuse a text before it is sent.
    static qsizetype recordBytes(int kind, const QString &data);

    /// One 500 ms tick: poll countdown and silence check.
    void tick();

    /// One received datagram. Its records are taken only when its first line
    /// acknowledges a poll still waiting for its answer with that poll's K
    /// (K = 10 asks us to announce ourselves and brings nothing), names our
    /// token once the server has shown it names it, and, for a numbered
    /// reply, only under a number not seen. A new token is taken only from
    /// the answer to a poll that announced us.
    void receive(const QByteArray &datagram);

    /// While paused (count above 0) received lines wait in the inbound buffer.
    void pause() { ++m_pauseCount; }
    /// Ends one pause; at zero the waiting lines are parsed in arrival order.
    void resume();
    int pauseCount() const { return m_pauseCount; }

    /// Before talking to another server: forgets the conversation (token,
    /// counters, reply numbers) the way a lost link does. The records waiting
    /// stay queued for the new server; K is kept.
    void resetForNewServer();

    /// The number the next queued record gets (tests and benchmarks; a run
    /// starts at a random one).
    void startNumbersAt(quint32 number);

    // State, read by the session and the tests.
    const QByteArray &outbox() const { return m_outbox.bytes(); }
    int queuedRecords() const { return m_outbox.count(); }
    qsizetype lastSentLength() const { return m_outbox.inFlightBytes(); }
    int sequence() const { return m_k; }
    int repeatCount() const { return m_repeat; }
    int mismatchCount() const { return m_mismatch; }
    QString token() const { return m_token; }
    /// The token of the session we had before the link was lost or the server
    /// asked us to announce ourselves; our announcement names it.
    QString previousToken() const { return m_previousToken; }
    /// True when the last K = 10 answered our own announcement: the server
    /// refused it (the member ID is held elsewhere, or changes too often).
    bool announcementRefused() const { return m_announcementRefused; }
    int lastQ() const { return m_lastQ; }
    int repeatWarnings() const { return m_repeatWarnings; }
    int pollCountdown() const { return m_countdown; }
    int silence() const { return m_silence; }
    bool isLost() const { return m_lost; }
    /// Polls sent since the server last answered one.
    int unansweredPolls() const { return m_pollsSinceReply; }
    /// The number of the last reply whose records were taken; 0 before the first.
    quint32 lastReply() const { return m_lastReply; }
    /// True once this server numbered a reply: its copies are told apart.
    bool numbersReplies() const { return m_lastReply != 0; }
    const QByteArray &inbound() const { return m_inbound; }
    /// Received bytes not parsed yet: the backlog behind the record being
    /// handled now (which is no longer part of it).
    qsizetype unparsedInbound() const { return m_inbound.size() - m_inboundPos; }

    /// Debug echoes, set from the preferences.
    bool echoAll = false;     ///< every datagram and queued record
    bool echoRecords = false; ///< records other than chat lines
    bool echoChat = false;    ///< chat lines (kind 1)

private:
    void poll();
    static QString recordText(int kind, quint32 number, const QString &data);
    void drain();
    void parseRecord(const char *data, qsizetype size);
    bool isDuplicate(const AckHeader &ack, const QByteArray &datagram, qsizetype restSize);
    void acknowledge(const AckHeader &ack, const QString &record, bool answers, bool adopts, bool duplicate);
    bool hasToken() const { return !m_token.isEmpty() && m_token != lostToken(); }

    LinkEvents &m_events;
    Transport *m_transport = nullptr;
    bool m_enabled = true;

    Outbox m_outbox;
    quint32 m_nextNumber = 1;
    int m_k = 0;
    int m_repeat = 0;
    int m_mismatch = 0;
    QString m_token;
    QString m_previousToken;
    // The K of the poll in flight that announced us, -1 when none: only its
    // answer may bring a new token. Anybody can make the server send a new
    // session's token to our address with a first poll of their own.
    int m_announceK = -1;
    // The server names our token in every answer: one naming another is
    // not for us.
    bool m_serverEchoesToken = false;
    bool m_announcementRefused = false;
    bool m_tokenNew = false; ///< the last answer brought a new token
    int m_lastQ = 0;
    int m_repeatWarnings = 0;
    int m_countdown = 0;
    int m_silence = 0;
    bool m_lost = false;

    // Telling a reply from its network copy: by its number, or (a server
    // without reply numbers) by bytes equal to the last one with no poll
    // between them.
    NumberWindow m_replies;
    quint32 m_lastReply = 0;
    QByteArray m_lastDatagram;
    int m_pollsSinceReply = 0;
    // Polls under the current K not answered yet. Only a datagram answering
    // one of them (its K, or K = 10) brings records: anybody can send us a
    // datagram with the server's address.
    int m_unanswered = 0;
    /// Records acknowledged with the number of the poll's first line, told
    /// (linkPlaced) once the reply's records are shown.
    QList<QPair<quint32, quint32>> m_placed;

    QByteArray m_inbound;
    qsizetype m_inboundPos = 0; // parsed bytes not yet cut off the front
    int m_pauseCount = 0;
    bool m_draining = false;
};

} // namespace hchat
