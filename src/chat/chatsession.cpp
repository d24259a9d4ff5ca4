#include "chat/chatsession.h"

#include "catalogue/catalogue.h"
#include "catalogue/staffnames.h"
#include "chat/sealedlink.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/wiretext.h"

#include <QRandomGenerator>

namespace hchat {

ChatSession::ChatSession(QObject *parent) : QObject(parent)
{
    m_connection.announceRooms = [this] { m_roomHandling.announce(); };
    // The own member record moves us when the server moved us; a new first
    // room starts with an empty members list.
    m_roster.selectRoom1 = [this](int room) { m_roomHandling.followOwnRoom(room); };
    m_roster.selectRoom2 = [this](int watched) { m_roomHandling.followOwnWatched(watched); };
    connect(&m_roomHandling, &Rooms::firstRoomChanged, this, [this] { m_roster.clear(); });
    connect(&m_roomHandling, &Rooms::roomsSelected, this, &ChatSession::stateChanged);
    m_memberActions.openPrivateMessage = [this](const QString &nick, const QString &id) {
        emit m_memberCommands.privateMessageRequested(nick, id);
    };
    m_memberActions.administersRoom = [this] { return m_roomHandling.isAdministrator(m_settings.room); };
    connect(&m_privateMessages, &PrivateMessages::messageArrived, &m_attention,
            [this](const QString &nick, const QString &id, const QString &line) {
                m_attention.privateMessage(nick, id, line);
            });
}

ChatSession::~ChatSession() = default;

QString ChatSession::text(int n) const
{
    return m_catalogue ? m_catalogue->Lookup(n) : QString();
}

void ChatSession::applySettings(const ChatSettings &loaded)
{
    m_settings = loaded;
    m_currentIcon = m_settings.icon;
    refreshStaffMode();
}

void ChatSession::chooseIcon(int icon)
{
    m_settings.icon = icon;
    m_currentIcon = icon;
}

void ChatSession::setOption(bool ChatSettings::*option, bool on)
{
    m_settings.*option = on;
    emit stateChanged();
}

void ChatSession::editSettings(const std::function<void(ChatSettings &)> &edit)
{
    const QString nick = m_settings.nick;
    edit(m_settings);
    if (m_settings.nick != nick)
        setNick(m_settings.nick);
}

void ChatSession::setServer(int place, const QString &address)
{
    if (place < 0 || place >= int(std::size(m_settings.servers)))
        return; // only the three places of the list
    m_settings.servers[place] = address;
    m_settings.serverKeys[place].clear();
}

std::unique_ptr<SealedLink> ChatSession::makeSealedLink(Transport &inner, SealKeyPair member)
{
    return std::make_unique<SealedLink>(m_settings, inner, std::move(member));
}

void ChatSession::ignore(const QString &prefix, bool on)
{
    if (on && !m_ignoreList.contains(prefix))
        m_ignoreList.append(prefix); // once, as the list is saved and shown
    else if (!on)
        m_ignoreList.removeAll(prefix);
}

void ChatSession::setSettingsDialogOpen(bool open)
{
    m_settingsDialogOpen = open;
    if (!open)
        emit stateChanged();
}

void ChatSession::renewOwnId(bool refused)
{
    if (!Connection::isUsablePrefix(m_settings.memberId))
        m_settings.memberId = Connection::makeMemberPrefix(*QRandomGenerator::global());
    const QString before = m_ownId;
    if (!refused && before.size() == 9 && before.startsWith(m_settings.memberId))
        return;
    do
        m_ownId = m_settings.memberId + Connection::makeRunCharacter(*QRandomGenerator::global());
    while (refused && m_ownId == before);
}

void ChatSession::setNick(const QString &nick)
{
    m_settings.nick = fitNick(nick);
    refreshStaffMode();
}

void ChatSession::refreshStaffMode()
{
    if (m_catalogue)
        m_staffMode = isStaffNick(*m_catalogue, m_settings.nick);
}

bool ChatSession::isIgnored(const QString &id) const
{
    const QString prefix = id.left(8);
    return !prefix.isEmpty() && m_ignoreList.contains(prefix);
}

quint32 ChatSession::Send(int kind, const QString &data)
{
    if (!m_sender)
        return m_connection.Send(kind, data);
    m_sender(kind, data);
    return 0;
}

void ChatSession::tick()
{
    const QDateTime at = now();
    if (m_lastTick.isValid() && m_lastTick.msecsTo(at) > wakeGapMs)
        m_connection.announceAgain();
    m_lastTick = at;
    m_connection.tick(); // poll countdown, silence check, first-tick announcement
    if (m_quietPeriod > 0)
        --m_quietPeriod;
    m_roster.tick();       // new-arrival countdown
    m_roomHandling.tick(); // a room change held during the hold-off
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
            m_ownLines.notDelivered(refused.recordNumber, refused.text);
    }
    switch (k) {
    case RecordKind::PrivateMessage:
        m_privateMessages.onPrivateMessage(record);
        break;
    case RecordKind::Presence:
        m_roster.DoUser(record);
        break;
    case RecordKind::RefreshMembers:
        m_roster.DoUser(record);
        m_roomHandling.onMemberListed(record);
        break;
    case RecordKind::Profile:
        m_memberCommands.onProfile(record);
        break;
    case RecordKind::RoomRecord:
        m_roomHandling.onRoomRecord(record);
        break;
    case RecordKind::WhereIs:
        m_memberCommands.onWhereIs(record);
        break;
    case RecordKind::Bulletin: {
        // Bulletins are shown and edited in the settings dialog's room tab.
        const BulletinRecord bulletin = BulletinRecord::decode(record);
        emit bulletinArrived(bulletin.room.value_or(m_settings.room), bulletin.text);
        break;
    }
    case RecordKind::RoomEntry: // room request answers
        m_roomHandling.onRoomAnswer(record);
        break;
    case RecordKind::AdminCheck: // answer to an administrator password
        m_roomHandling.onAdminAnswer(record);
        break;
    default: // 1, and every kind without a handler of its own, is a chat line
        m_chatLines.DoMessage(record);
        break;
    }
}

} // namespace hchat
