#pragma once

#include "chat/textentry.h"
#include "chat/waitingconversations.h"

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QTextEdit;

namespace hchat {

class ChatSession;
class TfrmChat;

/// The private-message window: one per correspondent, with the read-only
/// transcript `memRich` and the entry `memPM` (Enter sends, Shift+Enter
/// breaks the line, Up and Down recall). The rules live in PrivateMessages;
/// this window shows what it reports.
class TfrmPM : public QWidget
{
    Q_OBJECT
public:
    TfrmPM(ChatSession &session, const QString &nick, const QString &id, QWidget *parent = nullptr);
    ~TfrmPM() override;

    /// The window of a correspondent, made and shown when there is none yet,
    /// with whatever lines of the conversation were waiting for it.
    static TfrmPM *Open(ChatSession &session, const QString &nick, const QString &id,
                        QWidget *parent = nullptr);
    /// Opens the conversation that has waited longest for a window; null
    /// when none waits.
    static TfrmPM *OpenWaiting(ChatSession &session, QWidget *parent = nullptr);
    /// The number of windows open for a session.
    static int openCount(ChatSession &session);
    /// The open window of a correspondent; null when none.
    static TfrmPM *find(ChatSession &session, const QString &nick, const QString &id);
    /// Opens a window for a correspondent whose message arrives, while only
    /// a few are open (the rest wait: PrivateMessages::mayOpenWindow()).
    /// Call once per session; `parent` owns the windows. Such a window opens
    /// beside the parent's window without taking the keyboard from it; the
    /// parent's window tells of it with a notice and the urgency hint.
    static void route(ChatSession &session, QWidget *parent);
    /// Closes every window of a session: they go with the chat window.
    static void closeAll(ChatSession &session);

    /// Where a window of `size` opens beside `main` (frame rectangles), the
    /// `index`-th of several: right of it, else left of it, stepped down
    /// and right for each one before it, and always within `screen`.
    static QPoint placeBeside(const QRect &main, const QSize &size, const QRect &screen, int index);

    /// Appends a line in a colour (RGB, red in the low byte); `ownNumber`
    /// makes it an own line, marked pending until the server takes it.
    void AddLine(const QString &line, int color, quint32 ownNumber = 0);
    /// A purple notice line (a refused text).
    void AddNotice(const QString &line);

    QString nick() const { return m_nick; }

    QTextEdit *memRich = nullptr;
    QPlainTextEdit *memPM = nullptr;
    QPushButton *btnSend = nullptr; ///< sends as Enter does

private:
    bool mine(const QString &nick, const QString &id) const;
    /// Moves a new window to its place beside the parent's, the `index`-th of several.
    void placeBesideParent(int index);
    void showWaiting(const WaitingConversations::Conversation &waiting);

    ChatSession &m_session;
    TfrmChat *m_chat = nullptr; ///< the chat window, when it is the parent
    QString m_nick;
    QString m_id;
    TextEntry m_entry;
};

} // namespace hchat
