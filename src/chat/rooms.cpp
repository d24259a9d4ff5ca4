#include "chat/rooms.h"

#include "chat/chatsession.h"
#include "chat/storedlists.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/roomflags.h"
#include "protocol/wiretext.h"
#include "transcript/groom.h"
#include "transcript/linkrules.h"
#include "transcript/transcriptsink.h"

#include <QUrl>

namespace hchat {

namespace {

// The record as the room list keeps it: no passwords, and no rights of the
// session that received it.
RoomRecord withoutSecrets(RoomRecord r)
{
    r.adminPassword.clear();
    r.accessPassword.clear();
    r.flags.administrator = false;
    r.flags.staff = false;
    return r;
}

QString labelOf(int room, const QString &name)
{
    return name.isEmpty() ? QString::number(room) : QString::number(room) + QLatin1Char(' ') + name;
}

} // namespace

Rooms::Rooms(ChatSession &session, QObject *parent) : QObject(parent), m_session(session) {}

int Rooms::firstRoom() const
{
    return m_session.settings().room;
}

int Rooms::secondRoom() const
{
    return m_session.settings().room2;
}

bool Rooms::showSecond() const
{
    return m_session.settings().showSecond;
}

QString Rooms::webButtonAddress(const QString &roomUrl, const QString &configured)
{
    for (const QString &address : {roomUrl.trimmed(), configured.trimmed()}) {
        // "www.example.com" has always worked here: read it as the viewer does.
        const QString url = QUrl::fromUserInput(address).toString();
        if (!address.isEmpty() && !LinkRules::webHost(url).isEmpty())
            return address;
    }
    return QString();
}

Rooms::Choice Rooms::current() const
{
    return {m_session.settings().room, m_session.settings().room2, m_session.settings().showSecond};
}

void Rooms::notice(const QString &text)
{
    m_session.sink()->ShowMessage(text, false, true);
}

RoomRecord Rooms::roomRecord(int room) const
{
    return RoomRecord::decode(m_session.rooms().entry(room));
}

QString Rooms::roomLabel(int room) const
{
    return labelOf(room, roomRecord(room).name);
}

QStringList Rooms::chooserItems() const
{
    // The chooser position is the room number (GetIndex), so every number up
    // to the highest room in use gets an item, named or not.
    const ChatSettings &s = m_session.settings();
    const int count = qMin(qMax(m_session.rooms().count(), qMax(s.room, s.room2) + 1), maxRoom + 1);
    QStringList items;
    for (int i = 0; i < count; ++i)
        items.append(roomLabel(i));
    return items;
}

bool Rooms::isAdministrator(int room) const
{
    if (m_session.staffMode())
        return true;
    // The server keeps administrator passwords to itself and checks the one
    // we send; a record that still carries one (an old stored list) must
    // match. Without a typed password nobody administers: booting would be
    // open to anyone.
    const QString typed = m_session.PassField(room, Field::AdminPassword);
    const QString password = roomRecord(room).adminPassword;
    return !typed.isEmpty() && (password.isEmpty() || typed == password);
}

void Rooms::onRoomRecord(const QString &record)
{
    const int room = RoomRecord::decode(record).room.value_or(-1);
    if (room < 0 || room > maxRoom)
        return; // a record without a usable room number has nowhere to go
    keep(room, KillS(record, Field::Kind));
}

void Rooms::keep(int room, const QString &entry)
{
    m_session.setRoomEntry(room, entry);
    emit roomListChanged();
    if (room == m_session.settings().room)
        applyRoom(room);
}

void Rooms::onMemberListed(const QString &record)
{
    const int room = m_welcomeRoom;
    const MemberRecord member = MemberRecord::decode(record);
    if (room < 0 || room != m_session.settings().room || (member.room != room && member.watch != room))
        return;
    m_welcomeRoom = -1;
    showWelcome(room);
}

void Rooms::showWelcome(int room)
{
    const QString text = roomRecord(room).welcome;
    if (!text.isEmpty())
        notice(text);
}

void Rooms::onRoomAnswer(const QString &record)
{
    const RoomEntryRecord answer = RoomEntryRecord::decode(record);
    if (!answer.room)
        return;
    const int room = *answer.room;

    const RoomRecord kept = roomRecord(room);
    const QString label = labelOf(room, answer.name.isEmpty() ? kept.name : answer.name);
    notice(QStringLiteral("Access to room %1 is denied.").arg(label));
    const QString denied = answer.denied.isEmpty() ? kept.denied : answer.denied;
    if (!denied.isEmpty())
        notice(denied);

    if (m_welcomeRoom == room)
        m_welcomeRoom = -1;
    // A newer choice of the user waits for the hold-off; it replaces going back.
    if (m_held)
        return;
    Choice back = current();
    if (!answer.watch && room == back.first) {
        int to = m_previousFirst;
        if (to < 0 || to == room)
            to = 0;
        if (to == room)
            return; // refused the fallback room itself: stay rather than loop
        back.first = to;
        if (back.show && back.second == to)
            back.show = false; // the room we go back to is no longer the watched one
    } else if (back.show && room == back.second) {
        back.show = false;
    } else {
        return; // about a room we are no longer in
    }
    // Going back is not held: sitting in a refused room helps nobody.
    carryOut(back);
}

void Rooms::onAdminAnswer(const QString &record)
{
    const RoomRecord whole = RoomRecord::decode(record);
    const int room = whole.room.value_or(-1);
    if (room < 0 || room > maxRoom)
        return;
    if (!whole.flags.administrator) {
        emit adminRefused(room);
        return;
    }
    // The list keeps what everybody sees; the passwords go to the dialog only.
    if (!whole.name.isEmpty())
        keep(room, withoutSecrets(whole).encode());
    emit adminGranted(room, whole);
}

void Rooms::requestAdmin(int room, const QString &password)
{
    m_session.Send(RecordKind::AdminCheck, CommandRecord{.room = room, .adminPassword = password}.encode());
}

void Rooms::requestBulletin(int room)
{
    m_session.Send(RecordKind::Bulletin, BulletinRecord{.room = room}.encode());
}

void Rooms::writeRoom(int room, const RoomRecord &written)
{
    if (room < 0 || room > maxRoom)
        return;
    RoomRecord record = written;
    record.room = room;
    // Until the server's copy comes back, the room is what this record says:
    // a password left out is none.
    RoomRecord kept = withoutSecrets(record);
    kept.flags = {.adminPassword = !record.adminPassword.isEmpty(),
                  .accessPassword = !record.accessPassword.isEmpty()};
    keep(room, kept.encode());
    m_session.Send(RecordKind::RoomRecord, record.encode());
}

void Rooms::writeBulletin(int room, const QString &text)
{
    // A bulletin fills most of a datagram: send what waits first.
    m_session.Send(RecordKind::Poll);
    m_session.Send(RecordKind::SaveBulletin, BulletinRecord{room, text}.encode());
}

void Rooms::resetRoom(int room)
{
    m_session.Send(RecordKind::ResetRoom, CommandRecord{.room = room}.encode());
}

void Rooms::setFirstRoom(int room)
{
    if (room < 0 || room > maxRoom)
        return;
    Choice c = m_held ? m_heldChoice : current();
    // Choosing the watched room as first room swaps the two.
    if (c.show && room == c.second)
        c.second = c.first;
    c.first = room;
    request(c);
}

void Rooms::setSecondRoom(int room)
{
    if (room < 0 || room > maxRoom)
        return;
    Choice c = m_held ? m_heldChoice : current();
    if (room == c.first)
        c.first = c.second;
    c.second = room;
    request(c);
}

void Rooms::swap()
{
    Choice c = m_held ? m_heldChoice : current();
    std::swap(c.first, c.second);
    request(c);
}

void Rooms::setShowSecond(bool on)
{
    Choice c = m_held ? m_heldChoice : current();
    c.show = on;
    request(c);
}

void Rooms::followOwnRoom(int room)
{
    // Our own record repeats what the server knew before our last
    // announcement; during the hold-off it is stale.
    if (m_holdOff > 0 || m_held)
        return;
    if (room < 0 || room > maxRoom || room == m_session.settings().room)
        return;
    Choice c = current();
    if (c.show && c.second == room)
        c.second = c.first;
    c.first = room;
    // The server already has us there: no presence, but ask for the room's
    // record and members list.
    carryOut(c, false);
}

void Rooms::followOwnWatched(int watched)
{
    if (m_holdOff > 0 || m_held)
        return;
    if (watched < 0 || watched > maxRoom || watched == m_session.settings().room2 ||
        watched == m_session.settings().room)
        return;
    m_session.set(&ChatSettings::room2, watched);
    m_session.chatLines().lastText2.clear();
    emit roomsSelected(m_session.settings().room, watched, m_session.settings().showSecond);
}

void Rooms::request(const Choice &choice)
{
    if (m_holdOff > 0 || m_held) {
        m_held = true;
        m_heldChoice = choice;
        return;
    }
    carryOut(choice);
}

void Rooms::listLoaded()
{
    m_session.editSettings([this](ChatSettings &s) { StoredLists::boundRooms(s, m_session.rooms()); });
    emit roomListChanged();
}

void Rooms::tick()
{
    if (m_holdOff > 0 && --m_holdOff > 0)
        return;
    if (m_welcomeRoom >= 0) {
        // The server listed no members in time, nor refused: welcome from
        // the record we keep.
        const int room = m_welcomeRoom;
        m_welcomeRoom = -1;
        if (room == m_session.settings().room)
            showWelcome(room);
    }
    if (m_held) {
        m_held = false;
        carryOut(m_heldChoice);
    }
}

void Rooms::sendEntry(int room, bool watched)
{
    RoomEntryRecord entry{.room = room, .watch = watched};
    entry.accessPassword = m_session.PassField(room, Field::AccessPassword);
    entry.adminPassword = m_session.PassField(room, Field::AdminPassword);
    m_session.Send(RecordKind::RoomEntry, entry.encode());
}

void Rooms::carryOut(const Choice &choice, bool presence)
{
    const Choice was = current();
    const bool firstChanged = choice.first != was.first;
    const bool secondChanged = choice.second != was.second;
    const bool showChanged = choice.show != was.show;
    if (!firstChanged && !secondChanged && !showChanged)
        return;

    if (firstChanged)
        m_previousFirst = was.first;
    m_session.editSettings([&](ChatSettings &edited) {
        edited.room = choice.first;
        edited.room2 = choice.second;
        edited.showSecond = choice.show;
    });
    const ChatSettings &s = m_session.settings();

    // A second room that is not watched is only remembered; nothing to tell.
    const bool announce = firstChanged || showChanged || (choice.show && secondChanged);
    if (announce) {
        if (presence)
            m_session.Send(choice.show ? RecordKind::Presence : RecordKind::PresenceNoSecond);
        if (firstChanged)
            sendEntry(choice.first, false);
        if (choice.show && (secondChanged || showChanged))
            sendEntry(choice.second, true);
    }

    ChatLines &lines = m_session.chatLines();
    if (firstChanged && choice.first == was.second && choice.second == was.first) {
        // Swapped: each room keeps its history and its repeat filter.
        std::swap(lines.lastText1, lines.lastText2);
        m_session.sink()->swapTranscripts();
    } else {
        // A room we come to starts afresh: its first line is shown even when
        // the room we left ended with the same text.
        if (firstChanged)
            lines.lastText1.clear();
        if (secondChanged || showChanged)
            lines.lastText2.clear();
    }

    emit roomsSelected(s.room, s.room2, s.showSecond);
    if (firstChanged) {
        emit firstRoomChanged(s.room);
        m_welcomeRoom = s.room;
        applyRoom(s.room);
    }
}

void Rooms::announce()
{
    const ChatSettings &s = m_session.settings();
    m_session.Send(s.showSecond ? RecordKind::Presence : RecordKind::PresenceNoSecond);
    sendEntry(s.room, false);
    if (s.showSecond)
        sendEntry(s.room2, true);
    m_session.Send(RecordKind::RoomListRequest);
    m_welcomeRoom = s.room;
    applyRoom(s.room);
}

void Rooms::requestRoomUsage()
{
    m_session.Send(RecordKind::RoomUsage);
}

bool Rooms::requestRoomSetup()
{
    if (roomRecord(0).name != QLatin1String("Vacant"))
        return false;
    m_session.Send(RecordKind::RoomListSetup);
    return true;
}

void Rooms::applyRoom(int room)
{
    const RoomRecord r = roomRecord(room);
    emit roomApplied(room, r.caption, r.url, toIntOrZero(r.icon));
}

} // namespace hchat
