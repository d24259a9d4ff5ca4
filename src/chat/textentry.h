#pragma once

#include "protocol/wirelimits.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QKeyEvent;

namespace hchat {

class ChatSession;

/// The logic of a text entry box (`memText`, and `memPM` of each private
/// message window): Enter sends, Shift+Enter breaks the line, Up and Down
/// recall earlier lines. The editor widget hands it its keys, so the same
/// rules serve every entry box.
///
/// By default a sent text is a chat line (kind 1) of the first room, shown at
/// once with the own-message flag set and marked pending until the server
/// takes it (OwnLines); `submitter` replaces that (private messages).
class TextEntry : public QObject
{
    Q_OBJECT
public:
    enum class Result {
        Sent,    ///< gone out; the box is cleared
        Empty,   ///< nothing to send
        TooLong, ///< more than the server takes in one record; the box keeps the text
        Refused, ///< nowhere to send it (no nick yet, the chat closed); the box keeps the text
    };

    /// A record bigger than this (UTF-8 bytes, line feed not counted) is
    /// refused by the server: it is refused here, never cut.
    static constexpr int maxRecordBytes = WireLimits::maxRecordBytes;
    /// Lines kept for Up and Down.
    static constexpr int historySize = 50;

    explicit TextEntry(ChatSession &session, QObject *parent = nullptr);

    /// Sends a typed text (Enter). A refusal is shown as a notice.
    Result submit(const QString &text);

    /// The typed text with every kind of line break as a line feed, trailing
    /// breaks and blanks dropped (`GroomMessage` for the entry box).
    static QString groom(const QString &text);
    /// The kind 1 record's fields for a text said in a room, as typed.
    static QString chatRecord(int color, int room, const QString &text);
    /// UTF-8 size of the record the link queues for kind and fields.
    static int recordBytes(int kind, const QString &fields);

    /// Up: the line before the one shown; `current` is kept as the draft the
    /// first time. Returns the text to show.
    QString previous(const QString &current);
    /// Down: the line after the one shown, finally the draft again.
    QString next();
    const QStringList &history() const { return m_history; }

    /// The editor whose keys come to keyPress(): its text is read and
    /// written through the two functions.
    void attach(std::function<QString()> text, std::function<void(const QString &)> setText);
    /// An editor's key: Enter sends, Shift+Enter is left to the editor (a
    /// line break), Up and Down recall. True when the key was taken.
    bool keyPress(const QKeyEvent *key);

    /// Replaces the default chat-line sending (private-message windows). It
    /// gets the typed text and returns the result.
    std::function<Result(const QString &text)> submitter;

    /// The notice for a refused text of `bytes` bytes.
    static QString tooLongText(int bytes);
    /// The notice for a text typed before a nick was chosen.
    static QString noNickText();

    /// A text of more lines than this is sent from the editor only when
    /// confirmLongText agrees: a support chat is not the place for a log
    /// file pasted by accident.
    static constexpr int confirmAbove = 10;
    /// Asked with the number of lines; false keeps the text in the box.
    /// Unset, long texts go out unasked.
    std::function<bool(int lines)> confirmLongText;
    /// Lines of a typed text as it would be sent (trailing breaks dropped).
    static int lineCount(const QString &text);

signals:
    /// A text was sent from an attached editor (the window puts focus back).
    void sent();

private:
    Result sendChatLine(const QString &text);
    void remember(const QString &text);

    ChatSession &m_session;
    QStringList m_history;
    int m_position = -1; ///< index into the history while recalling; -1 = the draft
    QString m_draft;
    std::function<QString()> m_text;
    std::function<void(const QString &)> m_setText;
};

} // namespace hchat
