#pragma once

#include "chat/linkstatus.h"
#include "protocol/datagramlink.h"
#include "protocol/linkevents.h"
#include "protocol/serverendpoint.h"

#include <QString>

#include <functional>

class QRandomGenerator;

namespace hchat {

class ChatSession;
class Transport;

/// The chat timer and the connection's lifecycle on top of the datagram link:
/// presence records, the first tick's announcement, re-announcing when the
/// server asks, silence notices, pages, the choice of server endpoint, and
/// leaving the chat on close. Owned by the session; the window hands it a
/// transport and calls the session's tick() every 500 ms.
class Connection : public LinkEvents
{
public:
    explicit Connection(ChatSession &session);
    ~Connection() override;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    /// Makes the member ID (a new 8-character prefix is stored in
    /// settings.memberId when there is none), points the transport at the
    /// chosen server and opens the link. The transport is not owned: it must
    /// outlive the session, or close() must be called first.
    void open(Transport *transport);
    bool isOpen() const { return m_link.isOpen(); }

    /// `--server HOST[:PORT]`: use this endpoint for this run whatever the
    /// settings choose. False (and nothing changed) when it can't be read.
    bool setServerOverride(const QString &hostPort);
    /// Chooses among "Same as Support Room" (0), "Halvex Server #1" (1) and
    /// "Halvex Server #2" (2). When that moves us to another endpoint the
    /// rooms are left (kind 51, in a poll of its own), the socket turns and
    /// we announce ourselves to the new server at the next tick; lines still
    /// waiting go to the new server after the announcement.
    void selectServer(int choice);
    /// The endpoint of a choice, from settings.servers (the default server
    /// when its text can't be read).
    ServerEndpoint endpointFor(int choice) const;
    /// Where the link talks to now.
    ServerEndpoint endpoint() const { return m_endpoint; }

    /// Queues a record; kinds 5, 50 and 51 build our presence, 0 polls.
    /// Nothing happens before open() or while the own nick is empty. Returns
    /// the queued record's number, 0 when nothing was queued.
    quint32 Send(int kind, const QString &data = QString());
    quint32 Send(RecordKind kind, const QString &data = QString()) { return Send(kindNumber(kind), data); }

    /// One 500 ms tick: the first tick's announcement, the poll countdown and
    /// the silence check.
    void tick();

    /// After a sleep or a change of network: announces us again now (as when
    /// the server asks for it) and polls at once, instead of waiting for the
    /// silence count. Nothing without an open link and a nick.
    void announceAgain();

    /// Where the link stands, for the status line.
    LinkStatus::State state() const;
    /// When the link was marked lost, or (state NoAnswer) when the server
    /// last answered; invalid otherwise.
    QDateTime lostSince() const;
    /// Polls in a row without an answer before the status line says so.
    static constexpr int noAnswerPolls = 3;
    /// Ticks a poll carrying records may wait for its answer before the
    /// status line says so: records waiting are polled for only every 4 s.
    static constexpr int noAnswerTicks = 4;

    /// Leaves the chat: kind 51 and a last poll go out now, then the link is
    /// closed. Nothing is sent afterwards.
    void close();
    /// True once close() ran: the chat window is gone.
    bool isClosed() const { return m_closed; }

    /// After a change of nick or icon: the next tick announces us again as
    /// the first tick does.
    void reinitialise() { m_announced = false; }

    /// A new nick or icon chosen in the settings dialog: the presence value
    /// `T` goes back to 1400, nick (cut to 20) and icon are stored, the
    /// connection is re-initialised and presence goes out. A new nick first
    /// leaves under the old one (kind 51), ahead of the new announcement.
    void takeIdentity(const QString &nick, int icon);

    /// Announces our rooms on the first tick and when the server asks again
    /// (K = 10): presence, and entry requests carrying the room passwords. The
    /// rooms handling sets this; without it presence and a bare kind 25 for
    /// the first room go out.
    std::function<void()> announceRooms;

    /// The presence record (without `R`) for kind 5, 50 or 51; the nick goes
    /// cleaned (cleanNick), so it cannot carry fields of its own.
    QString presence(int kind) const;

    /// The own profile record's fields (kind 6, without `R`): the URL and the
    /// profile text as typed. The stored profile keeps its line breaks as
    /// "||"; a typed "||" or "</M>" in it travels unchanged otherwise.
    static QString profileFields(const QString &url, const QString &storedProfile);

    /// True from the silence notice until the next received record.
    bool isLost() const { return m_link.isLost(); }

    /// The link itself: debug echo switches, pause and resume, state.
    DatagramLink &link() { return m_link; }
    const DatagramLink &link() const { return m_link; }

    /// A new random 8-character member prefix (letters and digits).
    static QString makeMemberPrefix(QRandomGenerator &random);
    /// The per-run character: code 33 to 125, never '<' or '>', which would
    /// break the tagged format of the ID field.
    static QChar makeRunCharacter(QRandomGenerator &random);
    /// A stored prefix we can use as it stands.
    static bool isUsablePrefix(const QString &prefix);

private:
    // LinkEvents
    void linkShow(const QString &line) override;
    void linkDispatch(int kind, const QString &record) override;
    void linkPaged(const QString &from) override;
    void linkBufferSize(int t) override;
    void linkReannounce() override;
    void linkRepeatWarning(int count, const QString &record) override;
    void linkLost() override;
    void linkRestored() override;
    void linkDelivered(quint32 number) override;
    void linkPlaced(quint32 number, quint32 line) override;
    void linkDropped(quint32 number, const QString &record, const QString &reason) override;

    void announce();
    void beginAnnouncement();
    /// Our presence (and rooms) and our profile, as one announcement ahead
    /// of the lines waiting; `roomEntry`: the first room's entry too, when
    /// no room handling announces the rooms.
    void sendAnnouncement(bool roomEntry);
    void heard();
    /// The server answered since open() or the last change of server.
    bool answered() const { return m_heard || m_answered; }
    void notice(const QString &text);
    QString timeText() const;
    ServerEndpoint target() const;
    void redirect(const ServerEndpoint &to);

    ChatSession &m_session;
    DatagramLink m_link{*this};
    Transport *m_transport = nullptr;
    ServerEndpoint m_endpoint;
    ServerEndpoint m_override;
    bool m_announced = false;
    bool m_heard = false;    ///< a record came from the server since open()
    bool m_answered = false; ///< the server gave us a token since open()
    QDateTime m_lostSince;
    QDateTime m_answeredAt;    ///< the tick at which the last poll had its answer
    int m_unansweredTicks = 0; ///< ticks since a poll went unanswered
    bool m_closed = false;
    QString m_leaving; ///< kind 51 under the old nick, until the server took it
    quint32 m_leavingNumber = 0;
};

} // namespace hchat
