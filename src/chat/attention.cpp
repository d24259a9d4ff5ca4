#include "chat/attention.h"

#include "chat/chatsettings.h"

namespace hchat {

Attention::Attention(const ChatSettings &settings, QObject *parent) : QObject(parent), m_settings(settings) {}

QString Attention::title(int unread)
{
    const QString base = QStringLiteral("Halvex Chat");
    return unread > 0 ? QStringLiteral("(%1) %2").arg(unread).arg(base) : base;
}

void Attention::setActive(bool active)
{
    m_active = active;
    if (active && m_unread != 0) {
        m_unread = 0;
        emit unreadChanged(0);
    }
}

bool Attention::enabled(Event event) const
{
    switch (event) {
    case Event::Page:
        return m_settings.notifyPage;
    case Event::PrivateMessage:
        return m_settings.notifyPM;
    case Event::Keyword:
        return m_settings.notifyKeyword;
    case Event::Nick:
        return m_settings.notifyNick;
    }
    return false;
}

void Attention::arrived(int lines)
{
    if (m_active || lines <= 0)
        return;
    m_unread += lines;
    emit unreadChanged(m_unread);
}

void Attention::raise(Event event, const QString &summary, const QString &body, const QString &nick,
                      const QString &id)
{
    if (m_active || !enabled(event))
        return;
    emit alerted({event, summary, body, nick, id});
}

void Attention::lineShown(const ShownLine &line)
{
    // Only what others say counts: notices are the program talking.
    if (!line.chatLine || line.own)
        return;
    arrived();
    const int room = line.second ? m_settings.room2 : m_settings.room;
    // A line that names the user says more than one that holds a keyword;
    // it raises one alert, the keyword's when the nick's is switched off.
    if (line.nick && enabled(Event::Nick))
        raise(Event::Nick, tr("You are mentioned in room %1").arg(room), line.text);
    else if (line.keyword)
        raise(Event::Keyword, tr("Keyword in room %1").arg(room), line.text);
}

void Attention::paged(const QString &from)
{
    arrived();
    raise(Event::Page, tr("%1 pages you").arg(from), tr("Halvex Chat: a page from %1").arg(from));
}

void Attention::privateMessage(const QString &nick, const QString &id, const QString &line)
{
    if (conversationActive && conversationActive(nick, id))
        return;
    arrived();
    raise(Event::PrivateMessage, tr("Private message from %1").arg(nick.isEmpty() ? id : nick), line, nick,
          id);
}

} // namespace hchat
