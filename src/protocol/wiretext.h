#pragma once

#include <QByteArray>
#include <QString>

namespace hchat {

/// Text of one received line: UTF-8 when the bytes are valid UTF-8, Latin-1
/// otherwise, so that lines from older peers still read.
QString decodeWireLine(const char *data, qsizetype size);
inline QString decodeWireLine(QByteArrayView bytes)
{
    return decodeWireLine(bytes.data(), bytes.size());
}

/// Text as a person typed it, made ready for a field: every line break (CR LF,
/// CR, LF, U+2028, U+2029) becomes "||". Only what the codec would misread
/// is escaped: a "|" before "|" or a line break, and a "<" before the rest of
/// a closing tag ("/", A to Z or "#", ">"), get a backslash after them (also
/// when backslashes stand there already, so typed escapes survive). A typed
/// "</M>" never ends the field and "||" never reads as a line break, while
/// "<b>bold</b>" goes unchanged to readers that know nothing of this.
QString encodeText(QStringView text);
/// The inverse of encodeText on a value read by GetS (line breaks already CR
/// LF): one backslash goes from each place encodeText put one.
QString decodeText(const QString &value);
/// AddS of encodeText(text).
QString AddText(const QString &text, char name);
/// decodeText of GetS.
QString GetText(const QString &record, char name);

/// The value without field tags: `<X>` and `</X>` for any one character X
/// but "<" and ">". Taking one tag out can join the text around it into
/// another (`<<B>B>`), so this works until none is left, in one pass.
QString stripFieldTags(const QString &value);

/// A nick fit for the presence record: no "<" or ">" (which would let it carry
/// fields of its own), no control characters or line breaks, no "||" (a line
/// break on the wire), blanks trimmed, at most 20 characters.
QString cleanNick(const QString &nick);

} // namespace hchat
