#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace hchat {

class ChatSession;

/// Inbound chat lines: decides whether a received chat record is shown, in
/// which colour, with which time stamp and in which room's transcript.
/// Works on the session's settings, ignore list and transcript sink.
class ChatLines
{
public:
    explicit ChatLines(ChatSession &session);

    /// Shows one received chat record (kind 1 or any kind without a handler).
    /// Never sends anything. A record whose `Z` can't be read as a clock time
    /// is dropped.
    void DoMessage(const QString &record);

    /// Text colour of ordinary lines on the given background (RGB, red low):
    /// black on white, yellow 0x00FFFF on every other background.
    static int DefaultTextColor(int background);
    /// The colour a line is drawn in: only its low 24 bits count (-1 draws
    /// white), and a colour equal to the background becomes the default
    /// text colour, so no line is ever invisible.
    static int VisibleColor(int color, int background);

    /// A clock time of hours, minutes and optional seconds, separated all by
    /// ":" or all by "." (optionally followed by AM or PM); nothing otherwise.
    static std::optional<QTime> ParseClockTime(const QString &text);

    /// The stamp time of a server clock text: the time of day plus 30000 days,
    /// shifted by (2 - zone) hours; a first ":" read as "." on a second try.
    /// Nothing when neither reading works.
    static std::optional<QDateTime> ServerStampTime(const QString &z, int zone);

    /// Last text shown in the first and second room's transcript (the
    /// duplicate filter). The rooms handling clears one when its transcript
    /// gets another room, and exchanges them when the rooms are swapped.
    QString lastText1;
    QString lastText2;

private:
    ChatSession &m_session;
};

} // namespace hchat
