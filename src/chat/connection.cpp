#include "chat/connection.h"

#include "catalogue/cataloguetext.h"
#include "catalogue/dateformat.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/transport.h"
#include "protocol/wiretext.h"
#include "transcript/transcriptsink.h"

#include <QRandomGenerator>

namespace hchat {

namespace {

constexpr int reconnectQuiet = 12; // ticks without arrival notices after (re)connecting
const QString defaultServer = QStringLiteral("127.0.0.1:5500");

} // namespace

Connection::Connection(ChatSession &session) : m_session(session) {}

Connection::~Connection() = default;

QString Connection::makeMemberPrefix(QRandomGenerator &random)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString prefix;
    for (int i = 0; i < 8; ++i)
        prefix += QLatin1Char(alphabet[random.bounded(int(sizeof(alphabet) - 1))]);
    return prefix;
}

QChar Connection::makeRunCharacter(QRandomGenerator &random)
{
    for (;;) {
        const int code = random.bounded(33, 126);
        if (code != '<' && code != '>')
            return QChar(code);
    }
}

bool Connection::isUsablePrefix(const QString &prefix)
{
    if (prefix.size() != 8)
        return false;
    for (QChar c : prefix)
        if (c.unicode() < 33 || c.unicode() > 125 || c == u'<' || c == u'>')
            return false;
    return true;
}

void Connection::open(Transport *transport)
{
    m_session.renewOwnId();

    m_transport = transport;
    m_endpoint = target();
    if (m_transport)
        m_transport->setEndpoint(m_endpoint.host, m_endpoint.port);
    m_link.open(m_transport);
    m_announced = m_heard = m_answered = false;
}

bool Connection::setServerOverride(const QString &hostPort)
{
    const ServerEndpoint e = ServerEndpoint::parse(hostPort);
    if (!e.isValid())
        return false;
    m_override = e;
    redirect(target());
    return true;
}

ServerEndpoint Connection::endpointFor(int choice) const
{
    const ServerEndpoint e = ServerEndpoint::parse(m_session.settings().servers[qBound(0, choice, 2)]);
    return e.isValid() ? e : ServerEndpoint::parse(defaultServer);
}

ServerEndpoint Connection::target() const
{
    return m_override.isValid() ? m_override : endpointFor(m_session.settings().serverChoice);
}

void Connection::selectServer(int choice)
{
    m_session.set(&ChatSettings::serverChoice, qBound(0, choice, 2));
    redirect(target());
}

void Connection::redirect(const ServerEndpoint &to)
{
    if (to == m_endpoint)
        return;
    if (m_transport) {
        // Say goodbye where we were, on its own: the lines still waiting are
        // for the server we go to. Then turn, and announce ourselves there at
        // the next tick, ahead of those lines.
        if (!m_session.settings().nick.isEmpty())
            m_link.sendAside(5, presence(51));
        m_link.resetForNewServer();
        m_transport->setEndpoint(to.host, to.port);
        m_session.setQuietPeriod(reconnectQuiet);
        m_session.roster().clear();                 // the members of the old server
        m_announced = m_heard = m_answered = false; // connecting again, until the new server answers
    }
    m_endpoint = to;
}

QString Connection::presence(int kind) const
{
    const ChatSettings &s = m_session.settings();
    const int room = kind == 51 ? -1 : s.room;
    const int second = (kind == 50 || kind == 51) ? -1 : s.watchedRoom();
    const QString icon =
        QString::number(m_session.currentIcon()) + u'|' + QString::number(m_session.awayCode());
    return PresenceRecord{m_session.ownId().left(9), s.nick, icon, room, second, s.buffer}.encode();
}

quint32 Connection::Send(int kind, const QString &data)
{
    if (!m_link.isOpen() || m_session.settings().nick.isEmpty())
        return 0;
    m_link.setEnabled(true);
    if (kind != 5 && kind != 50 && kind != 51)
        return m_link.Send(kind, data);
    m_session.roomHandling().holdOff(Rooms::holdOffTicks);
    const QString record = presence(kind);
    // Our own record shows in the members list at once, as the server
    // would echo it.
    m_session.dispatch(5, AddKind(RecordKind::Presence) + record);
    return m_link.Send(RecordKind::Presence, record);
}

void Connection::tick()
{
    if (!m_link.isOpen())
        return;
    const bool haveNick = !m_session.settings().nick.isEmpty();
    m_link.setEnabled(haveNick);
    if (!haveNick)
        return;
    if (!m_announced)
        announce();
    // A token of the server's own: it answered. The link puts a stand-in
    // in its place once it counts the server as lost.
    const QString token = m_link.token();
    if (!token.isEmpty() && token != DatagramLink::lostToken())
        m_answered = true;
    if (m_link.unansweredPolls() == 0) {
        m_answeredAt = m_session.now();
        m_unansweredTicks = 0;
    } else {
        ++m_unansweredTicks;
    }
    m_link.tick();
}

void Connection::close()
{
    if (!m_link.isOpen())
        return;
    m_closed = true;
    Send(RecordKind::PresenceLeaving);
    m_link.finalPoll();
    m_link.open(nullptr);
    m_transport = nullptr;
}

void Connection::takeIdentity(const QString &nick, int icon)
{
    const ChatSettings &s = m_session.settings();
    if (!s.nick.isEmpty() && ChatSession::fitNick(nick) != s.nick && m_link.isOpen()) {
        // Leave under the old nick ahead of the new announcement, so nobody's
        // list keeps both; our own list drops the old entry now.
        m_leaving = presence(51);
        m_session.dispatch(5, AddKind(RecordKind::Presence) + m_leaving);
    }
    m_session.set(&ChatSettings::buffer, 1400);
    m_session.setNick(nick);
    m_session.chooseIcon(icon);
    reinitialise();
    if (!m_leaving.isEmpty()) {
        // Queued now; the next tick's announcement carries it again first.
        beginAnnouncement();
        m_link.endAnnouncement();
    }
    Send(RecordKind::Presence);
}

void Connection::announceAgain()
{
    if (!m_link.isOpen() || m_session.settings().nick.isEmpty() || !m_announced)
        return;
    linkReannounce();
    Send(RecordKind::Poll);
}

QDateTime Connection::lostSince() const
{
    if (isLost())
        return m_lostSince;
    return state() == LinkStatus::State::NoAnswer ? m_answeredAt : QDateTime();
}

LinkStatus::State Connection::state() const
{
    using S = LinkStatus::State;
    if (!m_link.isOpen())
        return S::Closed;
    if (m_session.settings().nick.isEmpty())
        return S::NoNick;
    // A server that never answered was never there to lose.
    if (isLost())
        return answered() ? S::Lost : S::ConnectingLong;
    if (m_answeredAt.isValid() && !m_link.token().isEmpty() &&
        (m_link.unansweredPolls() >= noAnswerPolls ||
         (m_link.queuedRecords() > 0 && m_unansweredTicks >= noAnswerTicks)))
        return S::NoAnswer;
    // Nothing heard since the link opened: still on the way.
    return m_link.token().isEmpty() ? S::Connecting : S::Connected;
}

void Connection::announce()
{
    m_announced = true;
    // Welcome only once the server has answered; until then say where we
    // are trying to get to.
    if (m_heard)
        notice(m_session.text(CatalogueText::Welcome) + m_session.settings().nick);
    else
        notice(QStringLiteral("Connecting to %1…").arg(m_endpoint.toString()));
    sendAnnouncement(false);
}

void Connection::beginAnnouncement()
{
    m_link.beginAnnouncement();
    // A rename not yet taken by the server: the leaving under the old nick
    // goes first, within the announcement that replaces the one waiting.
    if (!m_leaving.isEmpty())
        m_leavingNumber = m_link.Send(RecordKind::Presence, m_leaving);
}

void Connection::sendAnnouncement(bool roomEntry)
{
    m_session.setQuietPeriod(reconnectQuiet);
    // Ahead of the lines waiting: the server takes lines only from a member
    // it knows.
    beginAnnouncement();
    if (announceRooms) {
        announceRooms();
    } else {
        Send(RecordKind::Presence); // first room, and the watched second room in W
        if (roomEntry)
            Send(RecordKind::RoomEntry, RoomEntryRecord{.room = m_session.settings().room}.encode());
    }
    const QString profile = profileFields(m_session.settings().url, m_session.settings().profile);
    if (!profile.isEmpty())
        Send(RecordKind::Profile, profile);
    m_link.endAnnouncement();
}

QString Connection::profileFields(const QString &url, const QString &storedProfile)
{
    return ProfileRecord{.url = url,
                         .text = QString(storedProfile).replace(QLatin1String("||"), QLatin1String("\r\n"))}
        .encode();
}

void Connection::notice(const QString &text)
{
    m_session.sink()->ShowMessage(text, false, true);
}

QString Connection::timeText() const
{
    QString format = m_session.text(CatalogueText::LinkTimeFormat);
    if (format.isEmpty())
        format = QStringLiteral("hh:nn:ss");
    return FormatDateTime(format, m_session.now());
}

void Connection::linkShow(const QString &line)
{
    notice(line);
}

void Connection::heard()
{
    if (m_heard)
        return;
    m_heard = true;
    if (m_announced)
        notice(m_session.text(CatalogueText::Welcome) + m_session.settings().nick);
}

void Connection::linkDispatch(int kind, const QString &record)
{
    heard();
    m_session.dispatch(kind, record);
}

void Connection::linkPaged(const QString &from)
{
    m_session.attention().paged(from);
    notice(from + m_session.text(CatalogueText::PageNotice) + m_session.settings().nick);
    m_session.sink()->Notify(m_session.settings().pageSound);
}

void Connection::linkBufferSize(int t)
{
    // A missing or nonsensical value would only confuse the server further.
    if (t <= 0)
        return;
    m_session.set(&ChatSettings::buffer, t);
    Send(RecordKind::Presence);
    notice(m_session.text(CatalogueText::BufferNotice) + QString::number(t));
}

void Connection::linkReannounce()
{
    heard();
    if (m_link.announcementRefused()) {
        // Our ID is held from another address (somebody announcing it, or
        // our own session there): come back as another connection of the
        // same member rather than wait for the other one to fall silent.
        m_session.renewOwnId(true);
        notice(QStringLiteral("The server refused our member ID; connecting again as %1.")
                   .arg(m_session.ownId()));
    }
    sendAnnouncement(true);
}

void Connection::linkRepeatWarning(int count, const QString &record)
{
    notice(m_session.text(CatalogueText::RepeatWarning) + QString::number(count) + QStringLiteral(": ") +
           record);
}

void Connection::linkLost()
{
    if (!answered()) {
        // Nothing was ever connected: say what to check instead.
        notice(QStringLiteral("Still connecting to %1… %2")
                   .arg(m_endpoint.toString(), LinkStatus::connectingHint()));
    } else {
        m_lostSince = m_session.now();
        notice(m_session.text(CatalogueText::LinkLost) + timeText() +
               m_session.text(CatalogueText::LinkLostTail));
    }
    emit m_session.stateChanged();
}

void Connection::linkDelivered(quint32 number)
{
    if (number == m_leavingNumber)
        m_leaving.clear();
    m_session.ownLines().delivered(number);
}

void Connection::linkPlaced(quint32 number, quint32 line)
{
    m_session.sink()->placeOwnLine(number, line);
}

void Connection::linkDropped(quint32 number, const QString &record, const QString &reason)
{
    // Name what was given up: the text of a line, else the record itself.
    const QString text = GetText(record, Field::Text);
    notice(QStringLiteral("Not delivered (%1): %2").arg(reason, text.isEmpty() ? record : text));
    m_session.ownLines().notDelivered(number, reason);
}

void Connection::linkRestored()
{
    if (m_heard)
        notice(m_session.text(CatalogueText::LinkBack) + timeText());
    else
        heard(); // the first contact: the welcome says it
    m_session.setQuietPeriod(reconnectQuiet);
    emit m_session.stateChanged();
}

} // namespace hchat
