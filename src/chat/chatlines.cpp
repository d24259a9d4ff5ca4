#include "chat/chatlines.h"

#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/field.h"
#include "protocol/records.h"
#include "protocol/wiretext.h"
#include "transcript/transcriptsink.h"

namespace hchat {

namespace {

constexpr int kPurple = 0x800080;
constexpr int kYellow = 0x00FFFF; // red in the low byte: red + green
constexpr int kWhite = 16777215;

// One field of a clock time: one or two digits, within [0, max].
std::optional<int> clockField(QStringView text, int max)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    int v = 0;
    for (QChar c : text) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
        v = v * 10 + (c.unicode() - u'0');
    }
    if (v > max)
        return std::nullopt;
    return v;
}

} // namespace

ChatLines::ChatLines(ChatSession &session) : m_session(session) {}

int ChatLines::DefaultTextColor(int background)
{
    return background == kWhite ? 0 : kYellow; // black on white
}

int ChatLines::VisibleColor(int color, int background)
{
    color &= 0xFFFFFF;
    background &= 0xFFFFFF;
    return color == background ? DefaultTextColor(background) : color;
}

std::optional<QTime> ChatLines::ParseClockTime(const QString &text)
{
    QString t = text.trimmed();
    // A 12-hour clock text from an older server: "1:05:09 PM".
    int pmShift = -1; // -1: 24-hour text
    const QString upper = t.toUpper();
    if (upper.endsWith(QLatin1String("AM")) || upper.endsWith(QLatin1String("PM"))) {
        pmShift = upper.endsWith(QLatin1String("PM")) ? 12 : 0;
        t = t.left(t.size() - 2).trimmed();
    }
    const QChar sep = t.contains(u':') ? u':' : u'.';
    const QStringList parts = t.split(sep);
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    // Mixed separators ("12:34.56") are not a clock time.
    for (const QString &p : parts)
        if (p.contains(u':') || p.contains(u'.'))
            return std::nullopt;
    auto h = clockField(parts[0], pmShift < 0 ? 23 : 12);
    auto m = clockField(parts[1], 59);
    auto s = parts.size() == 3 ? clockField(parts[2], 59) : std::optional<int>(0);
    if (!h || !m || !s)
        return std::nullopt;
    int hour = *h;
    if (pmShift >= 0) {
        if (hour == 0)
            return std::nullopt;
        hour = hour % 12 + pmShift;
    }
    return QTime(hour, *m, *s);
}

std::optional<QDateTime> ChatLines::ServerStampTime(const QString &z, int zone)
{
    std::optional<QTime> time = ParseClockTime(z);
    if (!time) {
        QString retry = z;
        const qsizetype colon = retry.indexOf(u':');
        if (colon >= 0)
            retry[colon] = u'.';
        time = ParseClockTime(retry);
    }
    if (!time)
        return std::nullopt;
    // Day 30000 of the classic date count keeps the value clear of "0 = now"
    // even at midnight; only the clock part is ever shown. Server clocks run
    // in the zone whose setting is 2.
    const QDate day = QDate(1899, 12, 30).addDays(30000);
    return QDateTime(day, *time).addSecs(qint64(2 - zone) * 3600);
}

void ChatLines::DoMessage(const QString &record)
{
    ChatSession &s = m_session;
    const ChatSettings &cfg = s.settings();

    if (!s.staffMode() && record.contains(QLatin1String("/sat/remote.png")))
        return;

    const ChatLineRecord line = ChatLineRecord::decode(record);
    const int color = !line.colour     ? kPurple
                      : cfg.useMyColor ? DefaultTextColor(cfg.formColor & 0xFFFFFF)
                                       : *line.colour;
    s.sink()->setLineColor(VisibleColor(color, cfg.formColor));

    // The colour stays set for an ignored line: the next line sets its own.
    if (s.isIgnored(line.id))
        return;
    const int room = line.room.value_or(cfg.room);

    // The server's time is this line's stamp and nobody else's: it is handed
    // over just before each transcript shows the line, never left pending for
    // a line that is not shown (a repeat, a room not watched).
    QDateTime stamp; // invalid: the time the line is shown
    if (cfg.showTime && !line.time.isEmpty()) {
        const std::optional<QDateTime> when = ServerStampTime(line.time, cfg.zone);
        if (!when)
            return; // unreadable server time: the line is dropped
        stamp = *when;
    }

    const QString &text = line.text;
    // A line like the one before it is taken for a copy only from a server
    // that does not number its replies: one that does has the link drop its
    // copies, and the same words said twice are shown twice.
    const bool repeatsAreCopies = !s.connection().link().numbersReplies();
    const quint32 number = line.lineNumber;

    if (room == cfg.room && (!repeatsAreCopies || text != lastText1)) {
        if (cfg.showTime)
            s.sink()->setStampTime(stamp);
        s.sink()->setLineNumber(number);
        s.sink()->TimeStamp(text);
        s.sink()->SayIt(text, cfg.voiceRead);
        lastText1 = text;
    }
    // -1 means no second room: a line for room -1 belongs to no transcript.
    const int second = cfg.watchedRoom();
    if (second != -1 && room == second && (!repeatsAreCopies || text != lastText2)) {
        if (cfg.showTime)
            s.sink()->setStampTime(stamp);
        s.sink()->setLineNumber(number);
        s.sink()->TimeStamp2(text);
        lastText2 = text;
    }
}

} // namespace hchat
