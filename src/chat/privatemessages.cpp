#include "chat/privatemessages.h"

#include "chat/chatlines.h"
#include "chat/chatsession.h"
#include "chat/membercommands.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/recordkind.h"
#include "protocol/records.h"
#include "protocol/wiretext.h"
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
    if (m_session.settings().autoLog && pmAutoLog)
        pmAutoLog(line);
}

void PrivateMessages::onPrivateMessage(const QString &record)
{
    const PrivateMessageRecord pm = PrivateMessageRecord::decode(record);
    const QString &nick = pm.nick;
    const QString &id = pm.id;
    const QString &text = pm.text;
    if (text.isEmpty() || (nick.isEmpty() && id.isEmpty()) || m_session.isIgnored(id))
        return;

    if (m_session.settings().blockPM) {
        // Two blocking clients would bounce refusals forever: an automatic
        // answer is never answered.
        if (!pm.automatic) {
            const PrivateMessageRecord busy{.nick = nick, .id = id, .text = busyText(), .automatic = true};
            m_session.Send(RecordKind::PrivateMessage, busy.encode());
        }
        return;
    }

    const QString key = correspondentKey(nick, id);
    if (!id.isEmpty())
        m_latestIds.insert(key, id);

    const ChatSettings &s = m_session.settings();
    const int color = ChatLines::VisibleColor(pm.colour.value_or(0x800080), s.formColor);
    const QString line = (nick.isEmpty() ? id : nick) + QStringLiteral(":  ") + text;
    emit messageArrived(nick, id, line, color);
    log(line);
    if (!s.pmSound.isEmpty())
        m_session.sink()->Notify(s.pmSound);
}

void PrivateMessages::notice(const QString &text)
{
    m_session.sink()->ShowMessage(text, false, true);
}

bool PrivateMessages::mayOpenWindow(const QString &nick, const QString &id, const QString &line, int color,
                                    int openWindows)
{
    using O = WaitingConversations::Outcome;
    const QString who = nick.isEmpty() ? id : nick;
    switch (m_waiting.offer(correspondentKey(nick, id), nick, id, {line, color}, openWindows)) {
    case O::Open:
        return true;
    case O::Waiting:
        notice(QStringLiteral("Private message from %1 is waiting: press %2 to read it (%3 waiting).")
                   .arg(who, openWaitingShortcut())
                   .arg(m_waiting.count()));
        emit waitingChanged(m_waiting.count());
        return false;
    case O::Dropped:
        notice(QStringLiteral("Private message from %1 was dropped: %2 conversations are waiting already.")
                   .arg(who)
                   .arg(m_waiting.count()));
        return false;
    case O::Added:
        break;
    }
    return false;
}

std::optional<WaitingConversations::Conversation> PrivateMessages::takeWaiting(const QString &nick,
                                                                               const QString &id)
{
    auto c = m_waiting.take(correspondentKey(nick, id));
    if (c)
        emit waitingChanged(m_waiting.count());
    return c;
}

std::optional<WaitingConversations::Conversation> PrivateMessages::takeOldestWaiting()
{
    auto c = m_waiting.takeOldest();
    if (c)
        emit waitingChanged(m_waiting.count());
    return c;
}

TextEntry::Result PrivateMessages::send(const QString &nick, const QString &id, const QString &typed,
                                        QString *why)
{
    const QString text = TextEntry::groom(typed);
    if (text.trimmed().isEmpty() || (nick.isEmpty() && id.isEmpty()))
        return TextEntry::Result::Empty;
    const ChatSettings &s = m_session.settings();
    // Shown as sent, these would never leave.
    if (s.nick.isEmpty() || m_session.connection().isClosed()) {
        if (why)
            *why = s.nick.isEmpty() ? TextEntry::noNickText() : chatClosedText();
        return TextEntry::Result::Refused;
    }
    const QString key = correspondentKey(nick, id);
    // Write to the connection we heard from last: a reconnect changes the ID's last character.
    const QString to = m_latestIds.value(key, id);
    const QString fields =
        MemberCommands::recordFor(MemberCommands::Command::PrivateMessage, {nick, to}, s.room, text);
    const int bytes = TextEntry::recordBytes(3, fields);
    if (bytes > TextEntry::maxRecordBytes) {
        if (why)
            *why = TextEntry::tooLongText(bytes);
        return TextEntry::Result::TooLong;
    }
    const quint32 number = m_session.Send(RecordKind::PrivateMessage, fields);
    m_session.ownLines().follow(number, OwnLines::Where::PrivateMessage);

    const int color = ChatLines::VisibleColor(s.fontColor, s.formColor);
    const QString line =
        s.nick + QStringLiteral(":  ") + QString(text).replace(u'\n', QStringLiteral("\r\n"));
    emit messageSent(nick, to, line, color, number);
    log(line);
    return TextEntry::Result::Sent;
}

} // namespace hchat
