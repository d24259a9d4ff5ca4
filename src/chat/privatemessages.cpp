#include "chat/privatemessages.h"

#include "chat/chatlines.h"
#include "chat/chatsession.h"
#include "chat/membercommands.h"
#include "protocol/codec.h"
#include "transcript/transcriptsink.h"

namespace hchat {

PrivateMessages::PrivateMessages(ChatSession &session, QObject *parent) : QObject(parent), m_session(session)
{
}

QString PrivateMessages::correspondentKey(const QString &nick, const QString &id)
{
    return id.isEmpty() ? nick : id.left(8);
}

void PrivateMessages::log(const QString &line)
{
    if (m_session.settings.autoLog && pmAutoLog)
        pmAutoLog(line);
}

void PrivateMessages::onPrivateMessage(const QString &record)
{
    const QString nick = GetS(record, QStringLiteral("N"));
    const QString id = GetS(record, QStringLiteral("E"));
    const QString text = GetS(record, QStringLiteral("M"));
    const bool automatic = GetI(record, QStringLiteral("A")) == 1;
    if (text.isEmpty() || (nick.isEmpty() && id.isEmpty()))
        return;
    if (!id.isEmpty() && m_session.ignoreList.contains(id.left(8)))
        return;

    if (m_session.settings.blockPM) {
        // Two blocking clients would bounce refusals forever: an automatic
        // answer is never answered.
        if (!automatic) {
            m_session.Send(3, AddS(nick, QStringLiteral("N")) + AddS(id, QStringLiteral("E")) +
                                  AddS(busyText(), QStringLiteral("M")) + AddI(1, QStringLiteral("A")));
        }
        return;
    }

    const QString key = correspondentKey(nick, id);
    if (!id.isEmpty())
        m_latestIds.insert(key, id);

    const ChatSettings &s = m_session.settings;
    int color = GetS(record, QStringLiteral("F")).isEmpty() ? 0x800080 : GetI(record, QStringLiteral("F"));
    if (color == s.formColor)
        color = ChatLines::DefaultTextColor(s.formColor);
    const QString line = (nick.isEmpty() ? id : nick) + QStringLiteral(":  ") + text;
    emit messageArrived(nick, id, line, color);
    log(line);
    if (m_session.sink && !s.pmSound.isEmpty())
        m_session.sink->Notify(s.pmSound);
}

TextEntry::Result PrivateMessages::send(const QString &nick, const QString &id, const QString &text)
{
    const QString groomed = TextEntry::groom(text);
    if (groomed.trimmed().isEmpty() || (nick.isEmpty() && id.isEmpty()))
        return TextEntry::Result::Empty;
    const QString key = correspondentKey(nick, id);
    // Write to the connection we heard from last: a reconnect changes the ID's last character.
    const QString to = m_latestIds.value(key, id);
    const QString fields = MemberCommands::recordFor(MemberCommands::Command::PrivateMessage, {nick, to},
                                                     m_session.settings.room, groomed);
    if (TextEntry::recordBytes(3, fields) > TextEntry::maxRecordBytes)
        return TextEntry::Result::TooLong;
    m_session.Send(3, fields);

    const ChatSettings &s = m_session.settings;
    int color = s.fontColor;
    if (color == s.formColor)
        color = ChatLines::DefaultTextColor(s.formColor);
    QString shown = groomed;
    shown.replace(QStringLiteral("||"), QStringLiteral("\r\n"));
    const QString line = s.nick + QStringLiteral(":  ") + shown;
    emit messageSent(nick, to, line, color);
    log(line);
    return TextEntry::Result::Sent;
}

} // namespace hchat
