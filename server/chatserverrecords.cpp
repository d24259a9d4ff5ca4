// Record handlers of ChatServer: members, chat lines and member commands.
#include "chatserver.h"

#include "protocol/codec.h"

#include <QRegularExpression>

namespace hchat {

namespace {

const QString kR = QStringLiteral("R");
const QString kN = QStringLiteral("N");
const QString kE = QStringLiteral("E");
const QString kM = QStringLiteral("M");
const QString kRoom = QStringLiteral("#");

// Identity fields are relayed inside other records: a value carrying a tag of
// its own would let one member rewrite another field of what others receive.
QString untag(QString v)
{
    static const QRegularExpression tag(QStringLiteral("</?[^<>]>"));
    v.remove(tag);
    v.remove(u'\r');
    v.remove(u'\n');
    return v;
}

// GetS hands line breaks back as CR LF; on the wire they travel as "||".
QString wireText(const QString &v)
{
    QString out = v;
    out.replace(QLatin1String("\r\n"), QLatin1String("||"));
    out.remove(u'\r');
    out.remove(u'\n');
    return out;
}

} // namespace

void ChatServer::dispatch(Session &s, int kind, const QString &rec, PollContext &ctx, qint64 nowMs)
{
    if (kind == 5) {
        onPresence(s, rec, ctx);
        return;
    }
    if (kind == 0)
        return; // an empty kind 0 record rides ahead of bulletins: nothing to do
    if (!s.announced) {
        notice(s, QStringLiteral("Please announce yourself (presence) first."));
        return;
    }
    switch (kind) {
    case 1:
        onChatLine(s, rec, nowMs);
        break;
    case 2:
    case 3:
    case 4:
        if (throttled(s, nowMs))
            break;
        if (kind == 2)
            onGlobal(s, rec);
        else if (kind == 3)
            onPrivate(s, rec);
        else
            onPage(s, rec);
        break;
    case 6:
        onProfile(s, rec);
        break;
    case 7:
        onRoomRecord(s, rec);
        break;
    case 8:
        onBoot(s, rec);
        break;
    case 9:
        onBulletin(s, rec);
        break;
    case 11:
    case 12:
    case 27:
        onRoomList(s, rec, kind);
        break;
    case 13:
        onWhereIs(s, rec);
        break;
    case 15:
        onRefresh(s, rec);
        break;
    case 16:
        onStatistics(s, rec);
        break;
    case 17:
        onRoomUsage(s);
        break;
    case 20:
        onBulletinRequest(s, rec);
        break;
    case 21:
        onReset(s, rec);
        break;
    case 25:
        onRoomRequest(s, rec, ctx);
        break;
    default:
        if (m_verbose)
            log(QStringLiteral("session %1: ignored kind %2")
                    .arg(QString::fromLatin1(tokenText(s.token)))
                    .arg(kind));
        break;
    }
}

bool ChatServer::isStaff(const Session &s) const
{
    return !s.nick.isEmpty() && m_staff.contains(s.nick.toUpper());
}

void ChatServer::enqueue(Session &s, const QString &record)
{
    if (s.queue.size() >= m_limits.maxQueuedRecords)
        s.queue.removeFirst();
    s.queue.append(record.toUtf8());
}

void ChatServer::notice(Session &s, const QString &text)
{
    enqueue(s, AddI(1, kR) + AddS(wireText(text), kM));
}

QString ChatServer::memberRecord(const Session &s, int kind) const
{
    return AddI(kind, kR) + AddS(s.nick, kN) + AddS(s.id, kE) + AddI(s.room, kRoom) +
           AddI(s.watch, QStringLiteral("W")) + AddS(s.icon, QStringLiteral("I"));
}

void ChatServer::broadcastToRooms(const QList<int> &rooms, const QString &record, const Session *except)
{
    QByteArray bytes;
    for (auto &[t, other] : m_sessions) {
        Session &o = *other;
        if (&o == except || !o.announced)
            continue;
        const bool concerned =
            (o.room >= 0 && rooms.contains(o.room)) || (o.watch >= 0 && rooms.contains(o.watch));
        if (!concerned)
            continue;
        if (bytes.isEmpty())
            bytes = record.toUtf8();
        if (o.queue.size() >= m_limits.maxQueuedRecords)
            o.queue.removeFirst();
        o.queue.append(bytes);
    }
}

void ChatServer::broadcastAll(const QString &record, const Session *except)
{
    const QByteArray bytes = record.toUtf8();
    for (auto &[t, other] : m_sessions) {
        if (other.get() == except || !other->announced)
            continue;
        if (other->queue.size() >= m_limits.maxQueuedRecords)
            other->queue.removeFirst();
        other->queue.append(bytes);
    }
}

void ChatServer::sendRoster(Session &s, int room, int kind, bool includeSelf)
{
    if (room < 0)
        return;
    for (auto &[t, other] : m_sessions) {
        const Session &o = *other;
        if (!o.announced || (&o == &s && !includeSelf))
            continue;
        if (o.room == room || o.watch == room)
            enqueue(s, memberRecord(o, kind));
    }
}

Session *ChatServer::findMember(const QString &nick, const QString &id)
{
    // The connection with that ID; when it is gone, the newest one of the
    // same user (8-character prefix); else the first member with that nick.
    Session *byPrefix = nullptr;
    Session *byNick = nullptr;
    for (auto &[t, other] : m_sessions) {
        Session *o = other.get();
        if (!o->announced || o->room < 0)
            continue;
        if (!id.isEmpty() && o->id == id)
            return o;
        if (id.size() >= 8 && o->idPrefix() == id.left(8) && (!byPrefix || o->openedMs > byPrefix->openedMs))
            byPrefix = o;
        if (!nick.isEmpty() && o->nick.compare(nick, Qt::CaseInsensitive) == 0 &&
            (!byNick || o->openedMs < byNick->openedMs))
            byNick = o;
    }
    return byPrefix ? byPrefix : byNick;
}

void ChatServer::onPresence(Session &s, const QString &rec, PollContext &ctx)
{
    const QString nick = untag(GetS(rec, kN)).trimmed().left(27);
    const QString id = untag(GetS(rec, kE)).left(16);
    if (nick.isEmpty() || id.isEmpty()) {
        notice(s, QStringLiteral("A presence record without nick or ID was refused."));
        return;
    }
    int room = GetI(rec, kRoom);
    int watch = rec.contains(QLatin1String("<W>")) ? GetI(rec, QStringLiteral("W")) : -1;
    const bool first = !s.announced;
    const int oldRoom = s.room;
    const int oldWatch = s.watch;

    // The same client run announcing itself again (new token after a lost
    // link) takes over its old session, and the rooms it was let into.
    for (auto &[t, other] : m_sessions) {
        if (other.get() != &s && other->announced && other->id == id) {
            s.grantedRooms = other->grantedRooms;
            s.adminRooms = other->adminRooms;
            if (s.colour < 0)
                s.colour = other->colour;
            endSession(other.get(), QStringLiteral("replaced"), other->room != room || other->watch != watch);
            break;
        }
    }
    s.nick = nick;
    s.id = id;
    s.icon = untag(GetS(rec, QStringLiteral("I"))).left(12);
    if (s.icon.isEmpty())
        s.icon = QStringLiteral("0");

    if (room < 0) {
        // Leaving the chat (sent as kind 51): departure to the rooms concerned.
        s.room = s.watch = -1;
        s.announced = true;
        broadcastToRooms({oldRoom, oldWatch}, memberRecord(s), &s);
        s.leaving = true;
        return;
    }
    if (first) {
        log(QStringLiteral("session %1: %2 (%3) in room %4")
                .arg(QString::fromLatin1(tokenText(s.token)), nick, id)
                .arg(room));
        if (m_rooms)
            for (int r : m_rooms->rooms())
                enqueue(s, m_rooms->publicRecord(r));
    }
    bool enteredRoom = false;
    bool enteredWatch = false;
    if (room != oldRoom) {
        QString why;
        enteredRoom = mayEnter(s, room, QString(), &why);
        if (!enteredRoom) {
            refuse(s, room, false, why, ctx);
            room = oldRoom;
        }
    }
    if (watch != oldWatch && watch >= 0) {
        QString why;
        enteredWatch = mayEnter(s, watch, QString(), &why);
        if (!enteredWatch) {
            refuse(s, watch, true, why, ctx);
            watch = -1;
        }
    }
    if (!RoomStore::validRoom(watch))
        watch = -1;
    s.room = room;
    s.watch = watch;
    s.announced = true;
    broadcastToRooms({oldRoom, oldWatch, s.room, s.watch}, memberRecord(s), &s);
    if (enteredRoom)
        welcome(s, room, true, !first, ctx);
    if (enteredWatch)
        welcome(s, watch, false, !first, ctx);
}

bool ChatServer::throttled(Session &s, qint64 nowMs)
{
    if (nowMs - s.rateWindowMs >= 1000) {
        s.rateWindowMs = nowMs;
        s.rateCount = 0;
        s.rateNoticed = false;
    }
    if (++s.rateCount <= m_limits.maxLinesPerSecond)
        return false;
    ++m_stats.refused;
    if (!s.rateNoticed) {
        s.rateNoticed = true;
        notice(s, QStringLiteral("You are sending too fast (more than %1 lines a second); "
                                 "some lines were not delivered.")
                      .arg(m_limits.maxLinesPerSecond));
    }
    return true;
}

void ChatServer::onChatLine(Session &s, const QString &rec, qint64 nowMs)
{
    const int room = rec.contains(QLatin1String("<#>")) ? GetI(rec, kRoom) : s.room;
    const QString text = wireText(GetS(rec, kM));
    if (text.isEmpty())
        return;
    if (room < 0 || (room != s.room && room != s.watch)) {
        notice(s, QStringLiteral("You are not in room %1; the line was not sent.").arg(room));
        return;
    }
    if (throttled(s, nowMs))
        return;
    ++m_stats.chatLines;
    s.colour = GetI(rec, QStringLiteral("F"));
    if (chatLineObserver)
        chatLineObserver(s.nick, room, text);
    const QString out = AddI(1, kR) + AddI(GetI(rec, QStringLiteral("F")), QStringLiteral("F")) +
                        AddS(s.id, kE) + AddI(room, kRoom) + AddS(zoneTime(), QStringLiteral("Z")) +
                        AddS(s.nick + QStringLiteral(":  ") + text, kM);
    broadcastToRooms({room}, out, &s);
}

void ChatServer::onGlobal(Session &s, const QString &rec)
{
    if (!isStaff(s)) {
        notice(s, QStringLiteral("Only staff may send a global message."));
        return;
    }
    const QString text = wireText(GetS(rec, kM));
    if (text.isEmpty())
        return;
    // No room tag: every client shows it in its first room.
    const QString out = AddI(1, kR) + AddI(GetI(rec, QStringLiteral("F")), QStringLiteral("F")) +
                        AddS(s.id, kE) + AddS(zoneTime(), QStringLiteral("Z")) +
                        AddS(s.nick + QStringLiteral(":  ") + text, kM);
    broadcastAll(out, &s);
    notice(s, QStringLiteral("Global message sent to %1 members.").arg(sessionCount() - 1));
}

void ChatServer::onPrivate(Session &s, const QString &rec)
{
    const QString nick = untag(GetS(rec, kN));
    const QString id = untag(GetS(rec, kE));
    const QString automatic = GetI(rec, QStringLiteral("A")) == 1 ? AddI(1, QStringLiteral("A")) : QString();
    Session *to = findMember(nick, id);
    if (!to) {
        // Marked automatic, so no client ever answers it.
        enqueue(s, AddI(3, kR) + AddS(nick, kN) + AddS(id, kE) +
                       AddS(QStringLiteral("%1 is not in the chat").arg(nick), kM) +
                       AddI(1, QStringLiteral("A")));
        return;
    }
    enqueue(*to, AddI(3, kR) + AddS(s.nick, kN) + AddS(s.id, kE) +
                     (s.colour >= 0 ? AddI(s.colour, QStringLiteral("F")) : QString()) +
                     AddS(wireText(GetS(rec, kM)), kM) + automatic);
}

void ChatServer::onPage(Session &s, const QString &rec)
{
    const QString page = AddI(4, kR) + AddS(s.nick, kN) + AddS(s.id, kE);
    const QString nick = untag(GetS(rec, kN));
    const QString id = GetS(rec, kE);
    if (nick.isEmpty() && id.isEmpty()) {
        // Page Room: everybody in the sender's room.
        const int room = rec.contains(QLatin1String("<#>")) ? GetI(rec, kRoom) : s.room;
        if (room >= 0 && (room == s.room || room == s.watch))
            broadcastToRooms({room}, page, &s);
        else
            notice(s, QStringLiteral("You are not in room %1.").arg(room));
        return;
    }
    Session *to = findMember(nick, id);
    if (!to) {
        notice(s, QStringLiteral("%1 is not in the chat.").arg(nick));
        return;
    }
    enqueue(*to, page);
}

void ChatServer::onProfile(Session &s, const QString &rec)
{
    const QString nick = untag(GetS(rec, kN));
    const QString id = GetS(rec, kE);
    if (nick.isEmpty() && id.isEmpty()) {
        s.awayUser = wireText(GetS(rec, QStringLiteral("U"))).left(1000);
        s.awayText = wireText(GetS(rec, kM)).left(1000);
        return;
    }
    const Session *t = findMember(nick, id);
    if (!t) {
        enqueue(s, AddI(6, kR) + AddS(nick, kN)); // no E: not in the chat
        return;
    }
    enqueue(s, AddI(6, kR) + AddS(t->nick, kN) + AddS(t->id, kE) + AddS(t->awayUser, QStringLiteral("U")) +
                   AddS(t->awayText, kM));
}

void ChatServer::onWhereIs(Session &s, const QString &rec)
{
    const QString nick = untag(GetS(rec, kN));
    const Session *t = findMember(nick, GetS(rec, kE));
    if (!t) {
        enqueue(s, AddI(13, kR) + AddS(nick, kN) + AddI(-1, kRoom));
        return;
    }
    enqueue(s, AddI(13, kR) + AddS(t->nick, kN) + AddS(t->id, kE) + AddI(t->room, kRoom) +
                   AddI(t->watch, QStringLiteral("W")));
}

void ChatServer::onRefresh(Session &s, const QString &rec)
{
    sendRoster(s, rec.contains(QLatin1String("<#>")) ? GetI(rec, kRoom) : s.room, 15, true);
}

void ChatServer::onStatistics(Session &s, const QString &rec)
{
    if (!isStaff(s)) {
        notice(s, QStringLiteral("Only staff may ask for the statistics report."));
        return;
    }
    const QString room = AddI(rec.contains(QLatin1String("<#>")) ? GetI(rec, kRoom) : s.room, kRoom);
    QMap<int, int> perRoom;
    int announced = 0;
    for (auto &[t, other] : m_sessions) {
        announced += other->announced ? 1 : 0;
        if (other->announced && other->room >= 0)
            ++perRoom[other->room];
    }
    QString rooms;
    for (auto it = perRoom.cbegin(); it != perRoom.cend(); ++it)
        rooms += QStringLiteral(" %1:%2").arg(it.key()).arg(it.value());
    const QStringList lines{
        QStringLiteral("Sessions: %1, members: %2").arg(sessionCount()).arg(announced),
        QStringLiteral("Members by room:%1").arg(rooms.isEmpty() ? QStringLiteral(" none") : rooms),
        QStringLiteral("Polls: %1, records: %2, lines relayed: %3, refused: %4")
            .arg(m_stats.polls)
            .arg(m_stats.records)
            .arg(m_stats.chatLines)
            .arg(m_stats.refused)};
    for (const QString &l : lines)
        enqueue(s, AddI(16, kR) + room + AddS(l, kM));
}

void ChatServer::onRoomUsage(Session &s)
{
    QMap<int, int> perRoom;
    for (auto &[t, other] : m_sessions)
        if (other->announced && other->room >= 0)
            ++perRoom[other->room];
    for (auto it = perRoom.cbegin(); it != perRoom.cend(); ++it) {
        const QString name = m_rooms ? untag(GetS(m_rooms->fields(it.key()), kN)) : QString();
        enqueue(
            s, AddI(1, kR) + AddI(s.room, kRoom) +
                   AddS(QStringLiteral("Room %1  %2: %3 users").arg(it.key()).arg(name).arg(it.value()), kM));
    }
}

} // namespace hchat
