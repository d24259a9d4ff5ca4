#include "chat/membercommands.h"

#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/records.h"
#include "protocol/wiretext.h"
#include "transcript/transcriptsink.h"

#include <iterator>

namespace hchat {

MemberCommands::MemberCommands(ChatSession &session, QObject *parent) : QObject(parent), m_session(session) {}

namespace {

// Per command, in the order of MemberCommands::Command: the record kind it
// sends (0: none) and whether it addresses a selected member.
constexpr struct {
    int kind;
    bool needsMember;
} commandTable[] = {
    {4, true},   // Page
    {3, true},   // PrivateMessage
    {6, true},   // UserProfile
    {8, true},   // Boot
    {0, true},   // Ignore
    {15, false}, // RefreshMembers
    {13, true},  // WhereIs
    {4, false},  // PageRoom
    {2, false},  // GlobalMessage
    {16, false}, // StatisticsReport
};
static_assert(std::size(commandTable) == int(MemberCommands::Command::StatisticsReport) + 1);

int kindOf(MemberCommands::Command command)
{
    return commandTable[int(command)].kind;
}

} // namespace

QString MemberCommands::recordFor(Command command, const Member &member, int room, const QString &text,
                                  const QString &adminPassword)
{
    switch (command) {
    case Command::Page:
    case Command::UserProfile:
    case Command::WhereIs:
        return CommandRecord{.nick = member.nick, .id = member.id}.encode();
    case Command::PrivateMessage:
        return PrivateMessageRecord{.nick = member.nick, .id = member.id, .text = text}.encode();
    case Command::Boot:
        return CommandRecord{member.nick, member.id, room, adminPassword}.encode();
    case Command::RefreshMembers:
    case Command::PageRoom:
    case Command::StatisticsReport:
        return CommandRecord{.room = room}.encode();
    case Command::GlobalMessage:
        return ChatLineRecord{.text = text}.encode();
    case Command::Ignore:
        break;
    }
    return {};
}

bool MemberCommands::available(Command command, const Member &selected) const
{
    if (commandTable[int(command)].needsMember) {
        if (selected.nick.isEmpty() && selected.id.isEmpty())
            return false;
        if (selected.id == m_session.ownId() && selected.nick == m_session.settings().nick)
            return false; // the user's own entry
    }
    switch (command) {
    case Command::Boot:
        return m_session.roomHandling().isAdministrator(m_session.settings().room);
    case Command::GlobalMessage:
    case Command::StatisticsReport:
        return m_session.staffMode();
    default:
        return true;
    }
}

bool MemberCommands::run(Command command, const Member &member, const QString &text)
{
    if (!available(command, member))
        return false;
    const int room = m_session.settings().room;
    switch (command) {
    case Command::Ignore:
        toggleIgnore(member);
        return true;
    case Command::PrivateMessage:
        if (text.trimmed().isEmpty()) {
            emit privateMessageRequested(member.nick, member.id);
            return true;
        }
        break;
    case Command::GlobalMessage:
        if (text.trimmed().isEmpty())
            return false;
        break;
    case Command::RefreshMembers:
        // The list comes back whole: start it afresh and keep its arrivals quiet.
        m_session.setQuietPeriod(refreshQuietTicks);
        m_session.roster().clear();
        break;
    case Command::StatisticsReport:
        m_session.setQuietPeriod(refreshQuietTicks);
        break;
    default:
        break;
    }
    const QString password =
        command == Command::Boot ? m_session.PassField(room, Field::AdminPassword) : QString();
    const quint32 number = m_session.Send(kindOf(command), recordFor(command, member, room, text, password));
    // The pager hears nothing back from the paged: say that it went.
    if (command == Command::Page && number != 0)
        notice(QStringLiteral("Page sent to %1.").arg(member.nick));
    return true;
}

bool MemberCommands::isIgnored(const QString &id) const
{
    return m_session.isIgnored(id);
}

bool MemberCommands::toggleIgnore(const Member &member)
{
    const QString prefix = member.id.left(8);
    if (prefix.isEmpty())
        return false;
    const bool ignored = !m_session.ignoreList().contains(prefix);
    const int row = m_session.roster().MemberIndex(member.nick, member.id);
    if (ignored) {
        m_session.ignore(prefix, true);
        if (row >= 0)
            m_session.roster().setEntryIcon(row, 30);
    } else {
        m_session.ignore(prefix, false);
        if (row >= 0) {
            // The roster does not keep the icon we covered; the member's own
            // record brings it back.
            m_session.setQuietPeriod(refreshQuietTicks);
            m_session.Send(kindOf(Command::RefreshMembers),
                           recordFor(Command::RefreshMembers, member, m_session.settings().room));
        }
    }
    const QString text = m_session.text(ignored ? 555 : 556);
    const QString gap = text.startsWith(QLatin1Char(' ')) ? QString() : QStringLiteral(" ");
    notice(member.nick + gap + text);
    emit ignoreChanged(member.nick, member.id, ignored);
    return ignored;
}

void MemberCommands::notice(const QString &text)
{
    m_session.sink()->ShowMessage(text, false, true);
}

void MemberCommands::onProfile(const QString &record)
{
    const auto [nick, id, url, text] = ProfileRecord::decode(record);
    if (nick.isEmpty() && id.isEmpty())
        return; // our own profile echoed, or nothing to show
    const QString who = nick.isEmpty() ? id : nick;
    if (id.isEmpty()) {
        notice(QStringLiteral("%1 is not in the chat").arg(who));
        return;
    }
    if (url.isEmpty() && text.isEmpty()) {
        notice(QStringLiteral("%1 has no profile").arg(who));
        return;
    }
    notice(QStringLiteral("Profile of %1:").arg(who));
    if (!url.isEmpty())
        notice(url);
    if (!text.isEmpty())
        notice(text);
}

void MemberCommands::onWhereIs(const QString &record)
{
    const MemberRecord member = MemberRecord::decode(record);
    const QString who = member.nick.isEmpty() ? member.id : member.nick;
    if (who.isEmpty())
        return;
    if (member.id.isEmpty() || member.room < 0) {
        notice(QStringLiteral("%1 is not in the chat").arg(who));
        return;
    }
    QString line =
        QStringLiteral("%1 is in room %2").arg(who, m_session.roomHandling().roomLabel(member.room));
    if (member.watch >= 0)
        line += QStringLiteral(", watching room %1").arg(m_session.roomHandling().roomLabel(member.watch));
    notice(line);
}

} // namespace hchat
