#include "chat/textentry.h"

#include "chat/chatlines.h"
#include "chat/chatsession.h"
#include "protocol/codec.h"
#include "protocol/datagramlink.h"
#include "protocol/field.h"
#include "protocol/records.h"
#include "protocol/wiretext.h"
#include "transcript/transcriptsink.h"

#include <QKeyEvent>

namespace hchat {

TextEntry::TextEntry(ChatSession &session, QObject *parent) : QObject(parent), m_session(session) {}

QString TextEntry::groom(const QString &text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    out.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    out.replace(QChar::LineSeparator, QLatin1Char('\n'));
    // Breaks and blanks at the end are left over from Shift+Enter.
    while (!out.isEmpty() && out.back().isSpace())
        out.chop(1);
    return out;
}

QString TextEntry::chatRecord(int color, int room, const QString &text)
{
    // M goes last: a field tag typed into the text then never shadows a real one.
    return ChatLineRecord{.colour = color, .room = room, .text = text}.encode();
}

int TextEntry::recordBytes(int kind, const QString &fields)
{
    return int(DatagramLink::recordBytes(kind, fields));
}

QString TextEntry::noNickText()
{
    return QStringLiteral("Please choose a nick first; nothing was sent.");
}

QString TextEntry::tooLongText(int bytes)
{
    return QStringLiteral("Your message is too long to send (%1 bytes, at most %2). Please shorten it or "
                          "send it in parts; nothing was sent.")
        .arg(bytes)
        .arg(maxRecordBytes);
}

TextEntry::Result TextEntry::submit(const QString &text)
{
    const Result result = submitter ? submitter(text) : sendChatLine(text);
    if (result == Result::Sent)
        remember(text);
    return result;
}

TextEntry::Result TextEntry::sendChatLine(const QString &typed)
{
    const QString text = groom(typed);
    if (text.trimmed().isEmpty())
        return Result::Empty;
    const ChatSettings &s = m_session.settings();
    if (s.nick.isEmpty()) {
        // Nobody to send it as: shown as sent it would never leave.
        m_session.sink()->ShowMessage(noNickText(), false, true);
        return Result::Refused;
    }
    const QString fields = chatRecord(s.fontColor, s.room, text);
    const int bytes = recordBytes(1, fields);
    if (bytes > maxRecordBytes) {
        m_session.sink()->ShowMessage(tooLongText(bytes), false, true);
        return Result::TooLong;
    }
    const quint32 number = m_session.Send(RecordKind::ChatLine, fields);
    m_session.ownLines().follow(number, OwnLines::Where::Transcript);

    // The server relays the line to the others only; we show our own at once,
    // as the others will see it.
    TranscriptSink &sink = *m_session.sink();
    sink.setLineColor(ChatLines::VisibleColor(s.fontColor, s.formColor));
    sink.setStampTime(QDateTime());
    sink.setOwnMessage(true);
    sink.setOwnLineNumber(number);
    sink.TimeStamp(s.nick + QStringLiteral(":  ") + QString(text).replace(u'\n', QStringLiteral("\r\n")));
    return Result::Sent;
}

int TextEntry::lineCount(const QString &text)
{
    const QString groomed = groom(text);
    return groomed.isEmpty() ? 0 : int(groomed.count(QLatin1Char('\n'))) + 1;
}

void TextEntry::remember(const QString &text)
{
    m_position = -1;
    m_draft.clear();
    if (!m_history.isEmpty() && m_history.last() == text)
        return;
    m_history.append(text);
    while (m_history.size() > historySize)
        m_history.removeFirst();
}

QString TextEntry::previous(const QString &current)
{
    if (m_history.isEmpty())
        return current;
    if (m_position < 0) {
        m_draft = current;
        m_position = int(m_history.size()) - 1;
    } else if (m_position > 0) {
        --m_position;
    }
    return m_history.at(m_position);
}

QString TextEntry::next()
{
    if (m_position < 0)
        return m_draft;
    if (m_position + 1 < m_history.size()) {
        ++m_position;
        return m_history.at(m_position);
    }
    m_position = -1;
    return m_draft;
}

void TextEntry::attach(std::function<QString()> text, std::function<void(const QString &)> setText)
{
    m_text = std::move(text);
    m_setText = std::move(setText);
}

bool TextEntry::keyPress(const QKeyEvent *key)
{
    if (key->type() != QEvent::KeyPress || !m_text || !m_setText)
        return false;
    const bool shift = key->modifiers().testFlag(Qt::ShiftModifier);
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (shift)
            return false; // the editor breaks the line
        const QString typed = m_text();
        const int lines = lineCount(typed);
        if (lines > confirmAbove && confirmLongText && !confirmLongText(lines))
            return true; // kept in the box, to be shortened or sent after all
        const Result result = submit(typed);
        if (result == Result::Sent || (result == Result::Empty && !typed.isEmpty()))
            m_setText(QString());
        if (result == Result::Sent)
            emit sent();
        return true;
    }
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const QString typed = m_text();
        // Within a text of several lines the arrows move the caret.
        if (shift || typed.contains(QLatin1Char('\n')) || typed.contains(QChar::LineSeparator) ||
            typed.contains(QChar::ParagraphSeparator))
            return false;
        m_setText(key->key() == Qt::Key_Up ? previous(typed) : next());
        return true;
    }
    default:
        return false;
    }
}

} // namespace hchat
