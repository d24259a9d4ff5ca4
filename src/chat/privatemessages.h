#pragma once

#include "chat/textentry.h"
#include "chat/waitingconversations.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace hchat {

class ChatSession;

/// Private messages (kind 3) in and out, routed per correspondent: the
/// window layer opens one `TfrmPM` per correspondent and shows what this
/// class reports. A correspondent is known by the 8-character prefix of the
/// member ID, so a reconnect (new per-run character) keeps its window.
class PrivateMessages : public QObject
{
    Q_OBJECT
public:
    /// The automatic answer while "Block Private Messages" is on.
    static QString busyText() { return QStringLiteral("I am not accepting PMs now because I am busy."); }

    explicit PrivateMessages(ChatSession &session, QObject *parent = nullptr);

    /// Kind 3 received. Dropped when the sender is ignored; answered with the
    /// busy text (marked as an automatic answer, never answered back) while
    /// PMs are blocked; otherwise reported, logged and announced by the PM
    /// sound.
    void onPrivateMessage(const QString &record);

    /// Sends a private message to a member. Empty text sends nothing; a text
    /// too long for one record is refused (TooLong) and not cut; without a
    /// nick, or once the chat is closed, it is refused (Refused) and `why`
    /// says so. A message sent is followed by OwnLines until the server
    /// takes it.
    TextEntry::Result send(const QString &nick, const QString &id, const QString &text,
                           QString *why = nullptr);

    /// The notice for a message typed after the chat window closed.
    static QString chatClosedText()
    {
        return QStringLiteral("The chat window is closed; this message was not sent.");
    }

    /// The routing key of a correspondent: the ID's 8-character prefix, or
    /// the nick when the ID is empty.
    static QString correspondentKey(const QString &nick, const QString &id);

    /// Asked by the window layer before it opens a window for a message from
    /// a correspondent without one: true when it may now. Otherwise the line
    /// waits for the user to open it (or, with too many waiting, is
    /// dropped), and a notice in the first transcript says so.
    bool mayOpenWindow(const QString &nick, const QString &id, const QString &line, int color,
                       int openWindows);
    /// Takes the lines waiting for a correspondent, for the window the user opens.
    std::optional<WaitingConversations::Conversation> takeWaiting(const QString &nick, const QString &id);
    /// Takes the conversation that has waited longest.
    std::optional<WaitingConversations::Conversation> takeOldestWaiting();
    int waitingCount() const { return m_waiting.count(); }
    /// The key that opens the longest-waiting conversation, as the notices name it.
    static QString openWaitingShortcut() { return QStringLiteral("Ctrl+Shift+P"); }

    /// `PMAutoLog`: called with each shown private-message line while "Auto
    /// Logging" is on. Wired by the window layer to the PM log file.
    std::function<void(const QString &line)> pmAutoLog;

signals:
    /// A message arrived from a correspondent; `line` is ready to show.
    void messageArrived(const QString &nick, const QString &id, const QString &line, int color);
    /// The user's own message went out to a correspondent; `number` follows
    /// it (OwnLines), 0 when it is not followed.
    void messageSent(const QString &nick, const QString &id, const QString &line, int color, quint32 number);
    /// The number of conversations waiting for a window changed.
    void waitingChanged(int count);

private:
    void log(const QString &line);
    void notice(const QString &text);

    ChatSession &m_session;
    QHash<QString, QString> m_latestIds;
    WaitingConversations m_waiting;
};

} // namespace hchat
