#pragma once

#include "transcript/shownline.h"

#include <QObject>
#include <QString>

#include <functional>

namespace hchat {

struct ChatSettings;

/// Draws the user back to the chat window: counts the lines that arrive
/// while it is not active (for its title and the tray icon) and raises an
/// alert (urgency and a desktop notification) for a page, a private message,
/// a keyword and the user's nick in someone's line, each as switched on in
/// the settings. Nothing is raised while the window is active.
class Attention : public QObject
{
    Q_OBJECT
public:
    enum class Event { Page, PrivateMessage, Keyword, Nick };
    struct Alert {
        Event event = Event::Page;
        QString summary;
        QString body;
        QString nick; ///< the correspondent of a private message; empty for the others
        QString id;
    };

    explicit Attention(const ChatSettings &settings, QObject *parent = nullptr);

    /// The chat window became active (the count starts again) or not.
    void setActive(bool active);
    /// Lines (and pages and private messages) that arrived since the window
    /// was last active.
    int unread() const { return m_unread; }

    /// A line shown in one of the rooms' transcripts.
    void lineShown(const ShownLine &line);
    /// Someone paged the user.
    void paged(const QString &from);
    /// A private message arrived.
    void privateMessage(const QString &nick, const QString &id, const QString &line);

    /// Whether the settings switch this kind of alert on.
    bool enabled(Event event) const;

    /// True while the window of a private conversation is the active one:
    /// its messages are being read then. Set by the window layer.
    std::function<bool(const QString &nick, const QString &id)> conversationActive;

    /// The window title for an unread count: "(3) Halvex Chat", or the bare
    /// title at 0.
    static QString title(int unread);

signals:
    void unreadChanged(int unread);
    /// Ask for the user's attention: urgency and a notification.
    void alerted(const hchat::Attention::Alert &alert);

private:
    void arrived(int lines = 1);
    void raise(Event event, const QString &summary, const QString &body, const QString &nick = QString(),
               const QString &id = QString());

    const ChatSettings &m_settings;
    bool m_active = true;
    int m_unread = 0;
};

} // namespace hchat

Q_DECLARE_METATYPE(hchat::Attention::Alert)
