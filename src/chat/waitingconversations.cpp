#include "chat/waitingconversations.h"

namespace hchat {

qsizetype WaitingConversations::indexOf(const QString &key) const
{
    for (qsizetype i = 0; i < m_waiting.size(); ++i)
        if (m_waiting.at(i).key == key)
            return i;
    return -1;
}

WaitingConversations::Outcome WaitingConversations::offer(const QString &key, const QString &nick,
                                                          const QString &id, const Line &line,
                                                          int openWindows)
{
    const qsizetype at = indexOf(key);
    if (at >= 0) {
        Conversation &c = m_waiting[at];
        c.nick = nick;
        c.id = id; // answer the connection heard from last
        c.lines.append(line);
        if (c.lines.size() > maxLines) {
            c.lines.removeFirst();
            ++c.dropped;
        }
        return Outcome::Added;
    }
    if (openWindows < maxOpenWindows)
        return Outcome::Open;
    // The earliest conversations are kept: a flood of new senders must not
    // push out the ones that came before it.
    if (m_waiting.size() >= maxConversations)
        return Outcome::Dropped;
    m_waiting.append({key, nick, id, {line}, 0});
    return Outcome::Waiting;
}

std::optional<WaitingConversations::Conversation> WaitingConversations::take(const QString &key)
{
    const qsizetype at = indexOf(key);
    if (at < 0)
        return std::nullopt;
    return m_waiting.takeAt(at);
}

std::optional<WaitingConversations::Conversation> WaitingConversations::takeOldest()
{
    if (m_waiting.isEmpty())
        return std::nullopt;
    return m_waiting.takeFirst();
}

} // namespace hchat
