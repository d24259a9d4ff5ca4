#include "chat/chatsession.h"

#include "catalogue/catalogue.h"
#include "catalogue/staffnames.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/wiretext.h"

#include <QRandomGenerator>

namespace hchat {

ChatSession::ChatSession(QObject *parent) : QObject(parent)
{
    connection.announceRooms = [this] { roomHandling.announce(); };
    // The own member record moves us when the server moved us; a new first
    // room starts with an empty members list.
    roster.selectRoom1 = [this](int room) { roomHandling.followOwnRoom(room); };
    roster.selectRoom2 = [this](int watched) { roomHandling.followOwnWatched(watched); };
    connect(&roomHandling, &Rooms::firstRoomChanged, this, [this] { roster.clear(); });
    connect(&roomHandling, &Rooms::roomsSelected, this, &ChatSession::stateChanged);
    memberActions.openPrivateMessage = [this](const QString &nick, const QString &id) {
        emit memberCommands.privateMessageRequested(nick, id);
    };
    memberActions.administersRoom = [this] { return roomHandling.isAdministrator(settings.room); };
    connect(&privateMessages, &PrivateMessages::messageArrived, &attention,
            [this](const QString &nick, const QString &id, const QString &line) {
                attention.privateMessage(nick, id, line);
            });
}

ChatSession::~ChatSession() = default;

QString ChatSession::text(int n) const
{
    return m_catalogue ? m_catalogue->Lookup(n) : QString();
}

void ChatSession::applySettings(const ChatSettings &loaded)
{
    settings = loaded;
    m_currentIcon = settings.icon;
    refreshStaffMode();
}

void ChatSession::chooseIcon(int icon)
{
    settings.icon = icon;
    m_currentIcon = icon;
}

void ChatSession::setOption(bool ChatSettings::*option, bool on)
{
    settings.*option = on;
    emit stateChanged();
}

void ChatSession::setSettingsDialogOpen(bool open)
{
    m_settingsDialogOpen = open;
    if (!open)
        emit stateChanged();
}

void ChatSession::renewOwnId(bool refused)
{
    if (!Connection::isUsablePrefix(settings.memberId))
        settings.memberId = Connection::makeMemberPrefix(*QRandomGenerator::global());
    const QString before = ownId;
    if (!refused && before.size() == 9 && before.startsWith(settings.memberId))
        return;
    do
        ownId = settings.memberId + Connection::makeRunCharacter(*QRandomGenerator::global());
    while (refused && ownId == before);
}

void ChatSession::setNick(const QString &nick)
{
    settings.nick = fitNick(nick);
    refreshStaffMode();
}

void ChatSession::refreshStaffMode()
{
    if (m_catalogue)
        m_staffMode = isStaffNick(*m_catalogue, settings.nick);
}

bool ChatSession::isIgnored(const QString &id) const
{
    const QString prefix = id.left(8);
    return !prefix.isEmpty() && ignoreList.contains(prefix);
}

quint32 ChatSession::Send(int kind, const QString &data)
{
    if (!m_sender)
        return connection.Send(kind, data);
    m_sender(kind, data);
    return 0;
}

void ChatSession::tick()
{
    const QDateTime at = now();
    if (m_lastTick.isValid() && m_lastTick.msecsTo(at) > wakeGapMs)
        connection.announceAgain();
    m_lastTick = at;
    connection.tick(); // poll countdown, silence check, first-tick announcement
    if (m_quietPeriod > 0)
        --m_quietPeriod;
    roster.tick();       // new-arrival countdown
    roomHandling.tick(); // a room change held during the hold-off
}

void ChatSession::dispatch(int kind, const QString &record)
{
    const auto k = static_cast<RecordKind>(kind);
    // The server names a record of ours it refuses (a notice line, or the
    // automatic answer to a private message nobody could take).
    if ((k == RecordKind::ChatLine || k == RecordKind::PrivateMessage) &&
        HasField(record, Field::RecordNumber)) {
        const ChatLineRecord refused = ChatLineRecord::decode(record); // O and M, as in a private message
        if (refused.recordNumber > 0)
            ownLines.notDelivered(refused.recordNumber, refused.text);
    }
    switch (k) {
    case RecordKind::PrivateMessage:
        privateMessages.onPrivateMessage(record);
        break;
    case RecordKind::Presence:
        roster.DoUser(record);
        break;
    case RecordKind::RefreshMembers:
        roster.DoUser(record);
        roomHandling.onMemberListed(record);
        break;
    case RecordKind::Profile:
        memberCommands.onProfile(record);
        break;
    case RecordKind::RoomRecord:
        roomHandling.onRoomRecord(record);
        break;
    case RecordKind::WhereIs:
        memberCommands.onWhereIs(record);
        break;
    case RecordKind::Bulletin: {
        // Bulletins are shown and edited in the settings dialog's room tab.
        const BulletinRecord bulletin = BulletinRecord::decode(record);
        emit bulletinArrived(bulletin.room.value_or(settings.room), bulletin.text);
        break;
    }
    case RecordKind::RoomEntry: // room request answers
        roomHandling.onRoomAnswer(record);
        break;
    case RecordKind::AdminCheck: // answer to an administrator password
        roomHandling.onAdminAnswer(record);
        break;
    default: // 1, and every kind without a handler of its own, is a chat line
        chatLines.DoMessage(record);
        break;
    }
}

} // namespace hchat
