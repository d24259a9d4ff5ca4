#pragma once

#include <QByteArray>
#include <QString>

namespace hchat {

class LinkEvents;
class Transport;

/// The client side of the chat server conversation, free of sockets and
/// timers: the outbox carried by polls until acknowledged, the sequence number
/// K, the link token, the incoming line splitter and the dispatch of received
/// records by kind. The owner calls tick() every 500 ms and receive() for each
/// datagram; everything it learns goes out through LinkEvents.
///
/// Outbox and inbound buffer are kept as UTF-8 bytes: every limit on the wire
/// counts bytes.
class DatagramLink
{
public:
    /// Most record bytes carried by one poll; with the header and CR LF the
    /// datagram stays within the server's 8192-byte receive buffer.
    static constexpr qsizetype maxCarried = 8162;
    /// Received bytes waiting to be parsed are bounded by this.
    static constexpr qsizetype maxInbound = 1024 * 1024;
    /// Ticks without a record before the link is marked lost.
    static constexpr int silenceLimit = 60;
    /// Ticks between polls of an idle link.
    static constexpr int idlePoll = 8;

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

    /// Kind 0 sends a poll now; any other kind is queued as `<R>kind</R>` + data
    /// and polled out at the next tick. Presence (5, 50, 51) is built above the
    /// link and arrives here as kind 5.
    void Send(int kind, const QString &data = QString());

    /// One 500 ms tick: poll countdown and silence check.
    void tick();

    /// One received datagram.
    void receive(const QByteArray &datagram);

    /// While paused (count above 0) received lines wait in the inbound buffer.
    void pause() { ++m_pauseCount; }
    /// Ends one pause; at zero the waiting lines are parsed in arrival order.
    void resume();
    int pauseCount() const { return m_pauseCount; }

    /// Forgets the conversation with the current server (outbox, token,
    /// counters, lost mark) before talking to another one. K is kept.
    void resetForNewServer();

    // State, read by the session and the tests.
    const QByteArray &outbox() const { return m_outbox; }
    qsizetype lastSentLength() const { return m_lastSent; }
    int sequence() const { return m_k; }
    int repeatCount() const { return m_repeat; }
    int mismatchCount() const { return m_mismatch; }
    QString token() const { return m_token; }
    int lastQ() const { return m_lastQ; }
    int repeatWarnings() const { return m_repeatWarnings; }
    int pollCountdown() const { return m_countdown; }
    int silence() const { return m_silence; }
    bool isLost() const { return m_lost; }
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
    void queue(int kind, const QString &data);
    qsizetype carriedLength();
    void drain();
    void parseRecord(const char *data, qsizetype size);
    void acknowledge(const QString &record);

    LinkEvents &m_events;
    Transport *m_transport = nullptr;
    bool m_enabled = true;

    QByteArray m_outbox;
    qsizetype m_lastSent = 0;
    int m_k = 0;
    int m_repeat = 0;
    int m_mismatch = 0;
    QString m_token;
    int m_lastQ = 0;
    int m_repeatWarnings = 0;
    int m_countdown = 0;
    QByteArray m_lastDatagram; ///< the last one received, to drop a repeat
    int m_silence = 0;
    bool m_lost = false;

    QByteArray m_inbound;
    qsizetype m_inboundPos = 0; // parsed bytes not yet cut off the front
    int m_pauseCount = 0;
    bool m_draining = false;
};

} // namespace hchat
