// Record handlers of ChatServer: rooms, their settings, bulletins and rights.
//
// Who may do what: staff (a staff nick whose password the session gave) may
// do everything. A room's settings (7), bulletin (9) and boot (8) are also
// open to whoever offers the room's administrator password (field S, or
// kind 28) once in the session, and to anyone while the room has none (the
// first to give it one claims it), except boot, which always needs staff or
// the password. Room 0 is the staff's alone. Global messages (2), reset (21)
// and statistics (16) are staff only. Passwords leave the server only in
// the answer to a proved administrator (kind 28).
#include "chatserver.h"

#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/wirelimits.h"
#include "protocol/wiretext.h"

namespace hchat {

namespace {

// The room a record names, or the member's own room when it names none; -1
// when its `#` is no room number (a huge one must not wrap onto room 0).
int roomOf(const QString &rec, const Session &s)
{
    return HasField(rec, Field::Room) ? RoomStore::roomNumber(GetS(rec, Field::Room)).value_or(-1) : s.room;
}

// A record as a member sent it, as it would be stored: the passwords lose
// the underscores a member may type in them.
RoomRecord offered(const QString &rec)
{
    RoomRecord r = RoomRecord::decode(rec);
    r.adminPassword.remove(u'_');
    r.accessPassword.remove(u'_');
    return RoomStore::cleaned(r);
}

// Told to the member instead of "saved"; the reason goes to the log only.
QString notSaved(const QString &what, int room)
{
    return QStringLiteral("The %1 of room %2 could not be saved on the server; nothing was changed.")
        .arg(what)
        .arg(room);
}

} // namespace

bool ChatServer::mayAdminister(Session &s, int room, const QString &offeredPassword, bool openWhenUnset)
{
    if (isStaff(s))
        return true;
    // The Support Room is the staff's: no password opens it to anyone else,
    // and nobody may claim it by giving it the first one.
    if (room == 0)
        return false;
    if (s.adminRooms.contains(room))
        return true;
    const QString stored = m_rooms->adminPassword(room);
    if (stored.isEmpty())
        return openWhenUnset;
    const QString offered = QString(offeredPassword).remove(u'_');
    if (weighGuess(s, offered, QStringLiteral("admin %1 %2").arg(room).arg(stored),
                   [&] { return offered == stored; }) != Guess::Right)
        return false;
    s.adminRooms << room;
    return true;
}

QString ChatServer::adminOnly(const Session &s, int room, const QString &action) const
{
    if (room == 0)
        return staffOnly(s, QStringLiteral("administer room 0"));
    return QStringLiteral("Only staff or the administrator of room %1 may %2.").arg(room).arg(action);
}

bool ChatServer::mayEnter(Session &s, int room, const QString &rec, QString *refusal)
{
    if (!RoomStore::validRoom(room)) {
        *refusal = QStringLiteral("There is no room %1.").arg(room);
        return false;
    }
    if (isStaff(s) || s.adminRooms.contains(room))
        return true;
    if (m_rooms->isBooted(room, s.nick)) {
        *refusal = QStringLiteral("You have been removed from room %1.").arg(room);
        return false;
    }
    const QString access = m_rooms->accessPassword(room);
    if (access.isEmpty() || s.grantedRooms.contains(room))
        return true;
    const RoomEntryRecord entry = RoomEntryRecord::decode(rec);
    const QString offered = QString(entry.accessPassword).remove(u'_');
    if (weighGuess(s, offered, QStringLiteral("access %1 %2").arg(room).arg(access),
                   [&] { return offered == access; }) == Guess::Right) {
        s.grantedRooms << room;
        return true;
    }
    if (!entry.adminPassword.isEmpty() && mayAdminister(s, room, entry.adminPassword))
        return true;
    // Held back from guessing, the member is told so, whatever it offered.
    if (!m_guesses.allowed(s.guesses, s.peer, m_nowMs)) {
        *refusal = tooManyGuesses();
        return false;
    }
    *refusal = m_rooms->facts(room).denied;
    if (refusal->isEmpty())
        *refusal = QStringLiteral("Room %1 is private.").arg(room);
    return false;
}

void ChatServer::refuse(Session &s, int room, bool watch, const QString &why, PollContext &ctx)
{
    if (ctx.refused.contains(room))
        return;
    ctx.refused << room;
    const QString name = m_rooms->facts(room).name;
    const RoomEntryRecord refusal{.room = room,
                                  .name = RoomStore::cleanField(name),
                                  .denied = RoomStore::cleanField(why),
                                  .watch = watch};
    enqueue(s, AddKind(RecordKind::RoomEntry) + refusal.encode());
}

void ChatServer::welcome(Session &s, int room, bool firstRoom, bool withRecord, PollContext &ctx)
{
    if (ctx.welcomed.contains(room))
        return;
    ctx.welcomed << room;
    if (withRecord && !m_rooms->fields(room).isEmpty())
        enqueueBytes(s, m_rooms->publicRecord(room));
    if (firstRoom)
        sendRoster(s, room, 15, true);
}

void ChatServer::onRoomRequest(Session &s, const QString &rec, PollContext &ctx)
{
    const RoomEntryRecord entry = RoomEntryRecord::decode(rec);
    const int room = entry.room.value_or(0);
    const bool watch = entry.watch;
    if (room == (watch ? s.watch : s.room)) {
        welcome(s, room, !watch, true, ctx);
        return;
    }
    const auto verdict = ctx.entryVerdicts.constFind(room);
    if (verdict == ctx.entryVerdicts.cend())
        return; // past the two rooms a poll asks for
    const QString why = *verdict;
    if (!why.isEmpty()) {
        refuse(s, room, watch, why, ctx);
        return;
    }
    // Granted but not moved there yet: the presence that follows enters.
    if (!m_rooms->fields(room).isEmpty())
        enqueueBytes(s, m_rooms->publicRecord(room));
}

void ChatServer::onRoomRecordRequest(Session &s, const QString &rec, PollContext &)
{
    const int room = CommandRecord::decode(rec).room.value_or(0);
    if (!m_rooms->fields(room).isEmpty())
        enqueueBytes(s, m_rooms->publicRecord(room));
}

void ChatServer::onRoomList(Session &s, const QString &, PollContext &)
{
    sendRoomList(s);
}

void ChatServer::onRoomRecord(Session &s, const QString &rec, PollContext &ctx)
{
    const int room = roomOf(rec, s);
    // The record as sent is the room's whole record: a password left out
    // (the writer never writes an empty field) is none.
    RoomRecord record = offered(rec);
    // Clients send the room's record whenever its dialog closes: one equal to
    // the stored one (but `J`) is no request and costs nothing. The passwords
    // are compared as stored, the rest as it would be stored.
    if (RoomStore::validRoom(room)) {
        const RoomRecord was = m_rooms->record(room);
        RoomRecord clean = RoomStore::cleaned(was);
        clean.adminPassword = was.adminPassword;
        clean.accessPassword = was.accessPassword;
        if (record.sameSettings(clean))
            return;
    }
    if (!mayEdit(s, ctx))
        return;
    if (!RoomStore::validRoom(room)) {
        notice(s, QStringLiteral("There is no room %1.").arg(room));
        return;
    }
    const QString stored = m_rooms->fields(room);
    record.room.reset();
    record.flags = {};
    record.editor = room == 0 ? QStringLiteral("Halvex Staff") : s.nick;
    const QString &offeredS = record.adminPassword;
    const QString storedS = m_rooms->adminPassword(room);
    const QString storedB = m_rooms->accessPassword(room);
    if (!mayAdminister(s, room, offeredS)) {
        notice(s, adminOnly(s, room, QStringLiteral("change its settings")));
        // The sender's client shows its record already: give it back ours.
        if (!stored.isEmpty())
            enqueueBytes(s, m_rooms->publicRecord(room));
        return;
    }
    // Anyone may make a free room theirs, a few at a time: one address
    // cannot fill the room list everybody is sent.
    if (!isStaff(s) && m_rooms->isFree(room) &&
        !source(s.peer).newRooms.take(m_nowMs, m_limits.newRoomIntervalMs, m_limits.roomsPerAddress)) {
        ++m_stats.refused;
        notice(
            s,
            QStringLiteral("You have set up enough rooms for now; please ask staff for room %1.").arg(room));
        return;
    }
    const QString fields = record.encode();
    if (const qsizetype bytes = fields.toUtf8().size(); bytes > RoomStore::maxRecordBytes) {
        notice(s, QStringLiteral(
                      "The settings of room %1 are too long (%2 bytes, at most %3); they were not saved.")
                      .arg(room)
                      .arg(bytes)
                      .arg(RoomStore::maxRecordBytes));
        return;
    }
    QString error;
    if (!m_rooms->setFields(room, fields, &error)) {
        log(QStringLiteral("room %1 not saved for %2: %3").arg(room).arg(s.nick, error));
        notice(s, notSaved(QStringLiteral("settings"), room));
        return;
    }
    // A new password shuts out those who knew the old one; whoever set it
    // knows it.
    const QString newS = m_rooms->adminPassword(room);
    if (newS != storedS)
        revokeRights(room, true, &s);
    if (m_rooms->accessPassword(room) != storedB)
        revokeRights(room, false, &s);
    if (!newS.isEmpty() && room != 0 && !s.adminRooms.contains(room))
        s.adminRooms << room;
    roomChanged(room);
    notice(s, QStringLiteral("The settings of room %1 were saved.").arg(room));
    log(QStringLiteral("room %1 changed by %2").arg(room).arg(s.nick));
}

void ChatServer::onBulletin(Session &s, const QString &rec, PollContext &)
{
    const int room = roomOf(rec, s);
    if (!RoomStore::validRoom(room))
        return;
    const QString text = BulletinRecord::decode(rec).text;
    const qsizetype bytes = encodeText(text).toUtf8().size();
    if (bytes > WireLimits::maxBulletinBytes) {
        // Cut short it would be stored as something nobody wrote.
        notice(s,
               QStringLiteral("The bulletin of room %1 is too long (%2 bytes, at most %3); it was not saved.")
                   .arg(room)
                   .arg(bytes)
                   .arg(WireLimits::maxBulletinBytes),
               GetI(rec, Field::RecordNumber));
        return;
    }
    if (text == m_rooms->bulletin(room))
        return;
    // A bulletin belongs to a room somebody set up (or to one seeded):
    // every number open to anyone would be a thousand free stores.
    if (m_rooms->fields(room).isEmpty()) {
        notice(s, QStringLiteral("There is no room %1; set it up before its bulletin.").arg(room));
        return;
    }
    if (!mayAdminister(s, room, GetS(rec, Field::AdminPassword))) {
        notice(s, adminOnly(s, room, QStringLiteral("change its bulletin")));
        return;
    }
    const bool staff = isStaff(s);
    if (!staff &&
        !source(s.peer).bulletins.left(m_nowMs, m_limits.bulletinIntervalMs, m_limits.bulletinsPerAddress)) {
        ++m_stats.refused;
        notice(s, QStringLiteral("You have changed enough bulletins for now; please try again in a minute."));
        return;
    }
    if (!text.isEmpty() && !m_rooms->bulletins().fits(room, text)) {
        log(QStringLiteral("bulletin of room %1 refused for %2: the bulletins are full")
                .arg(room)
                .arg(s.nick));
        notice(s, QStringLiteral("The server holds as many bulletins as it can; the bulletin of room %1 was "
                                 "not saved.")
                      .arg(room));
        return;
    }
    QString error;
    if (!m_rooms->setBulletin(room, text, &error)) {
        log(QStringLiteral("bulletin of room %1 not saved for %2: %3").arg(room).arg(s.nick, error));
        notice(s, notSaved(QStringLiteral("bulletin"), room));
        return;
    }
    if (!staff)
        source(s.peer).bulletins.take(m_nowMs, m_limits.bulletinIntervalMs, m_limits.bulletinsPerAddress);
    notice(s, QStringLiteral("The bulletin of room %1 was saved.").arg(room));
}

void ChatServer::onBulletinRequest(Session &s, const QString &rec, PollContext &)
{
    const int room = roomOf(rec, s);
    if (!RoomStore::validRoom(room))
        return;
    enqueueBytes(s, m_rooms->bulletins().record(room));
}

void ChatServer::onReset(Session &s, const QString &rec, PollContext &)
{
    const int room = roomOf(rec, s);
    if (!isStaff(s)) {
        notice(s, staffOnly(s, QStringLiteral("reset a room")));
        return;
    }
    if (!RoomStore::validRoom(room))
        return;
    // The bulletin first: when the settings then fail, the room is as it was
    // but for an empty bulletin, which a reset clears anyway.
    QString error;
    if (!m_rooms->setBulletin(room, QString(), &error) ||
        !m_rooms->setFields(room, RoomStore::resetFields(), &error)) {
        log(QStringLiteral("room %1 not reset for %2: %3").arg(room).arg(s.nick, error));
        notice(s, QStringLiteral("Room %1 could not be reset: the server could not save it.").arg(room));
        return;
    }
    revokeRights(room, true, nullptr);
    revokeRights(room, false, nullptr);
    roomChanged(room);
    notice(s, QStringLiteral("Room %1 was reset.").arg(room));
    log(QStringLiteral("room %1 reset by %2").arg(room).arg(s.nick));
}

void ChatServer::onBoot(Session &s, const QString &rec, PollContext &)
{
    const int room = roomOf(rec, s);
    const CommandRecord boot = CommandRecord::decode(rec);
    const QString &nick = boot.nick;
    // Booting needs a real administrator: an unadministered room is open
    // to edit, but nobody there may put others out.
    if (room < 0 || !mayAdminister(s, room, boot.adminPassword, false)) {
        notice(s, adminOnly(s, room, QStringLiteral("boot members")));
        return;
    }
    Session *t = findMember(nick, boot.id);
    if (!t || t == &s || (t->room != room && t->watch != room)) {
        notice(s, QStringLiteral("%1 is not in room %2.").arg(nick).arg(room));
        return;
    }
    if (isStaff(*t) && !isStaff(s)) {
        notice(s, QStringLiteral("%1 is staff and cannot be booted.").arg(t->nick));
        return;
    }
    // Booted members stay out: the room's list of booted users.
    // Spliced into the stored line, so that its other fields stay as they were written.
    const QString fields = m_rooms->fields(room);
    const QString booted = RoomRecord::decode(fields).booted;
    const QString updated =
        KillS(fields, Field::Booted) +
        AddS(RoomStore::cleanField(booted.isEmpty() ? t->nick : booted + QStringLiteral("\r\n") + t->nick),
             Field::Booted);
    QString error;
    if (updated.toUtf8().size() > RoomStore::maxRecordBytes) {
        notice(s, QStringLiteral("%1 can come back: the list of booted members of room %2 is full.")
                      .arg(t->nick)
                      .arg(room));
    } else if (!m_rooms->setFields(room, updated, &error)) {
        // Out for now all the same; only coming back is not barred.
        log(QStringLiteral("booted list of room %1 not saved: %2").arg(room).arg(error));
        notice(s, QStringLiteral("%1 can come back: the server could not save the list of "
                                 "booted members.")
                      .arg(t->nick));
    }
    const QList<int> concerned{t->room, t->watch};
    place(*t, t->room == room ? (room == 0 ? -1 : 0) : t->room, t->watch == room ? -1 : t->watch);
    t->grantedRooms.removeAll(room);
    broadcastToRooms(concerned + QList<int>{t->room}, memberRecord(*t), t);
    enqueueBytes(*t, memberRecord(*t));
    notice(*t, QStringLiteral("You were removed from room %1 by %2.").arg(room).arg(s.nick));
    if (t->room >= 0)
        sendRoster(*t, t->room, 15, true);
    notice(s, QStringLiteral("%1 was removed from room %2.").arg(t->nick).arg(room));
    log(QStringLiteral("%1 booted %2 from room %3").arg(s.nick, t->nick).arg(room));
}

} // namespace hchat
