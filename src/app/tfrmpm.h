#pragma once

#include "chat/textentry.h"

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QTextEdit;

namespace hchat {

class ChatSession;

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

    /// The window of a correspondent, made and shown when there is none yet.
    static TfrmPM *Open(ChatSession &session, const QString &nick, const QString &id,
                        QWidget *parent = nullptr);
    /// The open window of a correspondent; null when none.
    static TfrmPM *find(ChatSession &session, const QString &nick, const QString &id);
    /// Opens a window for every correspondent whose message arrives. Call
    /// once per session; `parent` owns the windows.
    static void route(ChatSession &session, QWidget *parent);

    /// Appends a line in a colour (RGB, red in the low byte).
    void AddLine(const QString &line, int color);
    /// A purple notice line (a refused text).
    void AddNotice(const QString &line);

    QString nick() const { return m_nick; }
    QString id() const { return m_id; }

    QTextEdit *memRich = nullptr;
    QPlainTextEdit *memPM = nullptr;

private:
    bool mine(const QString &nick, const QString &id) const;

    ChatSession &m_session;
    QString m_nick;
    QString m_id;
    TextEntry m_entry;
};

} // namespace hchat
