// Record handlers of ChatServer: rooms, their settings, bulletins and rights.
//
// Who may do what: staff (nicks given with --staff) may do everything. A
// room's settings (7), bulletin (9) and boot (8) are also open to whoever
// offers the room's administrator password (field S) once in the session,
// and, while a room has no administrator password, to anyone, unless a member
// claimed the vacant room (27): then only to that member. Global messages (2)
// and reset (21) are staff only. Passwords never leave the server.
#include "chatserver.h"

#include "protocol/codec.h"

#include <QRegularExpression>

namespace hchat {

namespace {

const QString kR = QStringLiteral("R");
const QString kRoom = QStringLiteral("#");

QString cleanValue(QString v)
{
    static const QRegularExpression tag(QStringLiteral("</?[^<>]>"));
    v.remove(tag);
    v.replace(QLatin1String("\r\n"), QLatin1String("||"));
    v.remove(u'\r');
    v.remove(u'\n');
    return v;
}

int roomOf(const QString &rec, const Session &s)
{
    return rec.contains(QLatin1String("<#>")) ? GetI(rec, kRoom) : s.room;
}

// The fields clients edit, in the order they are sent.
const char *const kContentFields[] = {"N", "I", "P", "C", "U", "M", "A", "V", "G"};

} // namespace

bool ChatServer::mayAdminister(Session &s, int room, const QString &offeredPassword)
{
    if (isStaff(s) || s.adminRooms.contains(room))
        return true;
    if (!m_rooms)
        return false;
    const QString stored = m_rooms->adminPassword(room);
    if (stored.isEmpty()) {
        const QString claimant = m_rooms->claimant(room);
        return claimant.isEmpty() || claimant == s.idPrefix();
    }
    if (QString(offeredPassword).remove(u'_') == stored) {
        s.adminRooms << room;
        return true;
    }
    return false;
}

bool ChatServer::mayEnter(Session &s, int room, const QString &rec, QString *refusal)
{
    if (!RoomStore::validRoom(room)) {
        *refusal = QStringLiteral("There is no room %1.").arg(room);
        return false;
    }
    if (isStaff(s) || !m_rooms || s.adminRooms.contains(room))
        return true;
    const QString fields = m_rooms->fields(room);
    const QStringList booted =
        GetS(fields, QStringLiteral("G")).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const QString &b : booted) {
        if (b.trimmed().compare(s.nick, Qt::CaseInsensitive) == 0) {
            *refusal = QStringLiteral("You have been removed from room %1.").arg(room);
            return false;
        }
    }
    const QString access = m_rooms->accessPassword(room);
    if (access.isEmpty() || s.grantedRooms.contains(room))
        return true;
    QString offered = GetS(rec, QStringLiteral("B"));
    if (!offered.isEmpty() && offered.remove(u'_') == access) {
        s.grantedRooms << room;
        return true;
    }
    const QString admin = GetS(rec, QStringLiteral("S"));
    if (!admin.isEmpty() && mayAdminister(s, room, admin))
        return true;
    *refusal = GetS(fields, QStringLiteral("A"));
    if (refusal->isEmpty())
        *refusal = QStringLiteral("Room %1 is private.").arg(room);
    return false;
}

void ChatServer::onRoomRequest(Session &s, const QString &rec)
{
    const int room = GetI(rec, kRoom);
    QString why;
    if (!mayEnter(s, room, rec, &why)) {
        // The refusal comes back as a room answer carrying the room's
        // "Access Denied Message", and as a line in the transcript.
        enqueue(s, AddI(25, kR) + AddI(room, kRoom) + AddI(0, QStringLiteral("A")) +
                       AddS(cleanValue(why), QStringLiteral("M")));
        notice(s, why);
        return;
    }
    if (m_rooms && !m_rooms->fields(room).isEmpty())
        enqueue(s, m_rooms->publicRecord(room));
}

void ChatServer::onRoomRecord(Session &s, const QString &rec)
{
    const int room = roomOf(rec, s);
    if (!m_rooms || !RoomStore::validRoom(room)) {
        notice(s, QStringLiteral("There is no room %1.").arg(room));
        return;
    }
    const QString stored = m_rooms->fields(room);
    const QString offeredS = GetS(rec, QStringLiteral("S")).remove(u'_');
    const QString offeredB = GetS(rec, QStringLiteral("B")).remove(u'_');
    const QString storedS = m_rooms->adminPassword(room);
    const QString storedB = m_rooms->accessPassword(room);
    bool same = (offeredS.isEmpty() || offeredS == storedS) && (offeredB.isEmpty() || offeredB == storedB);
    for (const char *f : kContentFields)
        same = same && cleanValue(GetS(rec, QString::fromLatin1(f))) ==
                           cleanValue(GetS(stored, QString::fromLatin1(f)));
    // Clients resend a room's record when its dialog closes; an unchanged
    // record is no request at all.
    if (same)
        return;
    if (!mayAdminister(s, room, offeredS)) {
        notice(
            s,
            QStringLiteral("Only staff or the administrator of room %1 may change its settings.").arg(room));
        return;
    }
    QString fields;
    for (const char *f : kContentFields) {
        const QString name = QString::fromLatin1(f);
        fields += AddS(cleanValue(GetS(rec, name)), name);
        if (name == QLatin1String("N")) {
            // Empty passwords keep the stored ones: clients never see them,
            // so they cannot send them back.
            fields += AddS(offeredS.isEmpty() ? storedS : cleanValue(offeredS), QStringLiteral("S"));
            fields += AddS(offeredB.isEmpty() ? storedB : cleanValue(offeredB), QStringLiteral("B"));
        }
    }
    fields += AddS(room == 0 ? QStringLiteral("Halvex Staff") : s.nick, QStringLiteral("J"));
    fields += AddS(m_rooms->claimant(room), QStringLiteral("O"));
    if (!m_rooms->setFields(room, fields))
        log(QStringLiteral("could not save the rooms file"));
    broadcastAll(m_rooms->publicRecord(room), nullptr);
    notice(s, QStringLiteral("The settings of room %1 were saved.").arg(room));
    log(QStringLiteral("room %1 changed by %2").arg(room).arg(s.nick));
}

void ChatServer::onBulletin(Session &s, const QString &rec)
{
    const int room = roomOf(rec, s);
    if (!m_rooms || !RoomStore::validRoom(room))
        return;
    const QString text = GetS(rec, QStringLiteral("M")).left(8000);
    if (text == m_rooms->bulletin(room))
        return;
    if (!mayAdminister(s, room, GetS(rec, QStringLiteral("S")))) {
        notice(
            s,
            QStringLiteral("Only staff or the administrator of room %1 may change its bulletin.").arg(room));
        return;
    }
    if (!m_rooms->setBulletin(room, text))
        log(QStringLiteral("could not save the bulletins file"));
    notice(s, QStringLiteral("The bulletin of room %1 was saved.").arg(room));
}

void ChatServer::onBulletinRequest(Session &s, const QString &rec)
{
    const int room = roomOf(rec, s);
    if (!m_rooms || !RoomStore::validRoom(room))
        return;
    QString text = m_rooms->bulletin(room);
    text.replace(QLatin1String("\r\n"), QLatin1String("||"));
    enqueue(s, AddI(20, kR) + AddI(room, kRoom) + AddS(text, QStringLiteral("M")));
}

void ChatServer::onReset(Session &s, const QString &rec)
{
    const int room = roomOf(rec, s);
    if (!isStaff(s)) {
        notice(s, QStringLiteral("Only staff may reset a room."));
        return;
    }
    if (!m_rooms || !RoomStore::validRoom(room))
        return;
    m_rooms->setFields(room, RoomStore::resetFields());
    m_rooms->setBulletin(room, QString());
    broadcastAll(m_rooms->publicRecord(room), nullptr);
    notice(s, QStringLiteral("Room %1 was reset.").arg(room));
    log(QStringLiteral("room %1 reset by %2").arg(room).arg(s.nick));
}

void ChatServer::onClaim(Session &s, const QString &rec)
{
    const int room = roomOf(rec, s);
    if (!m_rooms || !RoomStore::validRoom(room))
        return;
    const QString fields = m_rooms->fields(room);
    const QString name = GetS(fields, QStringLiteral("N"));
    const QString claimant = m_rooms->claimant(room);
    const bool vacant =
        (name.isEmpty() || name == QLatin1String("Vacant")) && m_rooms->adminPassword(room).isEmpty();
    if (!vacant || (!claimant.isEmpty() && claimant != s.idPrefix())) {
        notice(s, QStringLiteral("Room %1 is not vacant.").arg(room));
        return;
    }
    if (claimant.isEmpty())
        m_rooms->setClaimant(room, s.idPrefix());
    notice(s, QStringLiteral("Room %1 is yours to set up.").arg(room));
}

void ChatServer::onBoot(Session &s, const QString &rec)
{
    const int room = roomOf(rec, s);
    const QString nick = GetS(rec, QStringLiteral("N"));
    if (room < 0 || !mayAdminister(s, room, GetS(rec, QStringLiteral("S")))) {
        notice(s, QStringLiteral("Only staff or the administrator of room %1 may boot members.").arg(room));
        return;
    }
    QList<Session *> targets;
    for (Session *t : findMembers(nick, GetS(rec, QStringLiteral("E"))))
        if (t != &s && (t->room == room || t->watch == room))
            targets << t;
    if (targets.isEmpty()) {
        notice(s, QStringLiteral("%1 is not in room %2.").arg(nick).arg(room));
        return;
    }
    for (Session *t : std::as_const(targets)) {
        if (isStaff(*t) && !isStaff(s)) {
            notice(s, QStringLiteral("%1 is staff and cannot be booted.").arg(t->nick));
            continue;
        }
        if (m_rooms) {
            // Booted members stay out: the room's list of booted users.
            const QString fields = m_rooms->fields(room);
            QString booted = GetS(fields, QStringLiteral("G"));
            booted = booted.isEmpty() ? t->nick : booted + QStringLiteral("\r\n") + t->nick;
            m_rooms->setFields(room, KillS(fields, QStringLiteral("G")) +
                                         AddS(cleanValue(booted), QStringLiteral("G")));
        }
        const QList<int> concerned{t->room, t->watch};
        if (t->room == room)
            t->room = room == 0 ? -1 : 0;
        if (t->watch == room)
            t->watch = -1;
        t->grantedRooms.removeAll(room);
        broadcastToRooms(concerned + QList<int>{t->room}, memberRecord(*t), t);
        enqueue(*t, memberRecord(*t));
        notice(*t, QStringLiteral("You were removed from room %1 by %2.").arg(room).arg(s.nick));
        if (t->room >= 0)
            sendRoster(*t, 5);
        notice(s, QStringLiteral("%1 was removed from room %2.").arg(t->nick).arg(room));
        log(QStringLiteral("%1 booted %2 from room %3").arg(s.nick, t->nick).arg(room));
    }
}

} // namespace hchat
