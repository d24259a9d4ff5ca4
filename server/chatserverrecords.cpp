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

void ChatServer::dispatch(Session &s, int kind, const QString &rec, const QList<int> &requestedRooms,
                          qint64 nowMs)
{
    if (kind == 5) {
        onPresence(s, rec, requestedRooms);
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
    case 13:
        onWhereIs(s, rec);
        break;
    case 15:
        onRefresh(s);
        break;
    case 16:
        onStatistics(s);
        break;
    case 20:
        onBulletinRequest(s, rec);
        break;
    case 21:
        onReset(s, rec);
        break;
    case 25:
        onRoomRequest(s, rec);
        break;
    case 27:
        onClaim(s, rec);
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

void ChatServer::sendRoster(Session &s, int kind)
{
    for (auto &[t, other] : m_sessions) {
        const Session &o = *other;
        if (!o.announced || (&o == &s && kind == 5) || s.room < 0)
            continue;
        if (o.room == s.room || o.watch == s.room)
            enqueue(s, memberRecord(o, kind));
    }
}

QList<Session *> ChatServer::findMembers(const QString &nick, const QString &id)
{
    QList<Session *> found;
    for (auto &[t, other] : m_sessions) {
        if (!other->announced)
            continue;
        if (!id.isEmpty() ? other->id == id : other->nick.compare(nick, Qt::CaseInsensitive) == 0)
            found << other.get();
    }
    if (found.isEmpty() && !id.isEmpty() && !nick.isEmpty())
        return findMembers(nick, QString()); // the member may have come back under a new per-run ID
    return found;
}

void ChatServer::onPresence(Session &s, const QString &rec, const QList<int> &requestedRooms)
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
    // link or a restart) takes over its old session.
    for (auto &[t, other] : m_sessions) {
        if (other.get() != &s && other->announced && other->id == id) {
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
    bool refused = false;
    if (room != oldRoom) {
        QString why;
        if (!mayEnter(s, room, QString(), &why)) {
            refused = true;
            if (!requestedRooms.contains(room))
                notice(s, why);
            room = oldRoom >= 0 ? oldRoom : -1;
        }
    }
    if (watch != oldWatch && watch >= 0) {
        QString why;
        if (!mayEnter(s, watch, QString(), &why)) {
            refused = true;
            if (!requestedRooms.contains(watch))
                notice(s, why);
            watch = -1;
        }
    }
    if (watch < 0 || !RoomStore::validRoom(watch))
        watch = -1;
    s.room = room;
    s.watch = watch;
    s.announced = true;
    if (first) {
        log(QStringLiteral("session %1: %2 (%3) in room %4")
                .arg(QString::fromLatin1(tokenText(s.token)), nick, id)
                .arg(room));
        if (m_rooms)
            for (int r : m_rooms->rooms())
                enqueue(s, m_rooms->publicRecord(r));
    }
    // Tell the client where it really is when the server kept it out.
    if (refused)
        enqueue(s, memberRecord(s));
    broadcastToRooms({oldRoom, oldWatch, s.room, s.watch}, memberRecord(s), &s);
    if (first || s.room != oldRoom)
        sendRoster(s, 5);
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
    const QString nick = GetS(rec, kN);
    const QList<Session *> to = findMembers(nick, GetS(rec, kE));
    if (to.isEmpty()) {
        notice(s, QStringLiteral("%1 is not in the chat; the private message was not delivered.").arg(nick));
        return;
    }
    const QString out =
        AddI(3, kR) + AddS(s.nick, kN) + AddS(s.id, kE) +
        (rec.contains(QLatin1String("<F>")) ? AddI(GetI(rec, QStringLiteral("F")), QStringLiteral("F"))
                                            : QString()) +
        AddS(wireText(GetS(rec, kM)), kM);
    for (Session *t : to)
        enqueue(*t, out);
}

void ChatServer::onPage(Session &s, const QString &rec)
{
    const QString page = AddI(4, kR) + AddS(s.nick, kN) + AddS(s.id, kE);
    const QString nick = GetS(rec, kN);
    const QString id = GetS(rec, kE);
    if (nick.isEmpty() && id.isEmpty()) {
        // Page Room: everybody in the sender's room.
        const int room = rec.contains(QLatin1String("<#>")) ? GetI(rec, kRoom) : s.room;
        if (room >= 0 && (room == s.room || room == s.watch))
            broadcastToRooms({room}, page, &s);
        return;
    }
    const QList<Session *> to = findMembers(nick, id);
    if (to.isEmpty()) {
        notice(s, QStringLiteral("%1 is not in the chat.").arg(nick));
        return;
    }
    for (Session *t : to)
        enqueue(*t, page);
}

void ChatServer::onProfile(Session &s, const QString &rec)
{
    if (rec.contains(QLatin1String("<U>")) || rec.contains(QLatin1String("<M>"))) {
        s.awayUser = wireText(GetS(rec, QStringLiteral("U"))).left(1000);
        s.awayText = wireText(GetS(rec, kM)).left(1000);
        return;
    }
    const QString nick = GetS(rec, kN);
    const QList<Session *> who = findMembers(nick, GetS(rec, kE));
    if (who.isEmpty()) {
        notice(s, QStringLiteral("%1 is not in the chat.").arg(nick));
        return;
    }
    const Session &t = *who.first();
    enqueue(s, AddI(6, kR) + AddS(t.nick, kN) + AddS(t.id, kE) + AddS(t.awayUser, QStringLiteral("U")) +
                   AddS(t.awayText, kM));
}

void ChatServer::onWhereIs(Session &s, const QString &rec)
{
    const QString nick = GetS(rec, kN);
    const QList<Session *> who = findMembers(nick, GetS(rec, kE));
    if (who.isEmpty()) {
        enqueue(s, AddI(13, kR) + AddS(untag(nick), kN) + AddI(-1, kRoom) +
                       AddS(QStringLiteral("%1 is not in the chat.").arg(untag(nick)), kM));
        return;
    }
    for (const Session *t : who) {
        QString where = t->room < 0 ? QStringLiteral("%1 is not in a room.").arg(t->nick)
                                    : QStringLiteral("%1 is in room %2").arg(t->nick).arg(t->room);
        if (t->room >= 0 && m_rooms) {
            const QString name = GetS(m_rooms->fields(t->room), kN);
            if (!name.isEmpty())
                where += QStringLiteral(" (%1)").arg(untag(name));
        }
        if (t->watch >= 0)
            where += QStringLiteral(", watching room %1").arg(t->watch);
        if (t->room >= 0)
            where += u'.';
        enqueue(s, AddI(13, kR) + AddS(t->nick, kN) + AddS(t->id, kE) + AddI(t->room, kRoom) +
                       AddI(t->watch, QStringLiteral("W")) + AddS(where, kM));
    }
}

void ChatServer::onRefresh(Session &s)
{
    sendRoster(s, 15);
}

void ChatServer::onStatistics(Session &s)
{
    QMap<int, int> perRoom;
    for (auto &[t, other] : m_sessions)
        if (other->announced && other->room >= 0)
            ++perRoom[other->room];
    QString rooms;
    for (auto it = perRoom.cbegin(); it != perRoom.cend(); ++it)
        rooms += QStringLiteral(" %1:%2").arg(it.key()).arg(it.value());
    notice(s, QStringLiteral("Members connected: %1. Members by room:%2.").arg(sessionCount()).arg(rooms));
    notice(s, QStringLiteral("Lines relayed: %1. Polls: %2. Refused: %3.")
                  .arg(m_stats.chatLines)
                  .arg(m_stats.polls)
                  .arg(m_stats.refused));
}

} // namespace hchat
