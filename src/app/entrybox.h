#pragma once

#include "chat/nickcompleter.h"

#include <QPlainTextEdit>

#include <functional>

class QAction;

namespace hchat {

class ChatSession;
class TextEntry;
class TranscriptEdit;

/// A box where the user types (`memText` of the chat window, `memPM` of a
/// private-message window). Every key of the box is handled here, in one
/// place: Enter sends, Shift+Enter breaks the line, Up and Down recall
/// (TextEntry); in the chat window Tab also completes a member's nick, the
/// page keys read back through the first room, and the icon shortcuts come
/// before the box's own editing keys.
class EntryBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    /// entry: the rules the box's text is sent by; the box is its editor.
    explicit EntryBox(TextEntry &entry, QWidget *parent = nullptr);

    /// The chat window's keys: nicks of the session's members, the reader's
    /// transcript, and the shortcuts that beat the box's editing keys.
    void serveChat(const ChatSession *session, TranscriptEdit *reader,
                   std::function<QList<QAction *>()> shortcuts);

protected:
    bool event(QEvent *event) override;

private:
    bool entryKey(QKeyEvent *key);

    TextEntry &m_entry;
    const ChatSession *m_session = nullptr;
    TranscriptEdit *m_reader = nullptr;
    std::function<QList<QAction *>()> m_shortcuts;
    NickCompleter m_completer;
};

} // namespace hchat
